#include "catalogue/CharacterSets.h"

#include <algorithm>
#include <array>

namespace {

struct TMultiByteSet {
  int id;
  int bytesPerCharacter;
};

// The sets whose characters may take more than one byte (Firebird 3's
// RDB$CHARACTER_SETS); every other set has one byte per character.
constexpr std::array<TMultiByteSet, 10> MultiByteSets = {{
    {CharacterSetUnicodeFss, 3},
    {CharacterSetUtf8, 4},
    {5, 2},   // SJIS_0208
    {6, 2},   // EUCJ_0208
    {44, 2},  // KSC_5601
    {56, 2},  // BIG_5
    {57, 2},  // GB_2312
    {67, 2},  // GBK
    {68, 2},  // CP943C
    {69, 4},  // GB18030
}};

static_assert(std::ranges::all_of(MultiByteSets,
                                  [](const TMultiByteSet& set) { return set.bytesPerCharacter <= MostBytesPerCharacter; }));

bool IsContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

int CharacterSetOf(short subType) { return static_cast<unsigned short>(subType) & 0xFF; }

int BytesPerCharacter(int characterSet) {
  for (const TMultiByteSet& set : MultiByteSets) {
    if (set.id == characterSet) return set.bytesPerCharacter;
  }
  return 1;
}

int LengthInCharacters(int lengthInBytes, int characterSet) { return lengthInBytes / BytesPerCharacter(characterSet); }

std::string_view FirstCharacters(std::string_view text, std::size_t count, int characterSet) {
  if (characterSet != CharacterSetUtf8 && characterSet != CharacterSetUnicodeFss) return text.substr(0, count);
  // A character is its lead byte and the continuation bytes after it.
  std::size_t characters = 0;
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    if (!IsContinuationByte(text[pos]) && characters++ == count) return text.substr(0, pos);
  }
  return text;
}
