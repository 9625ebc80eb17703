// Any bytes as [CAMINHOS] values, as a --mapear argument and as a catalogue's
// path: the rules are checked or refused, the translation gives the same
// result every time, the name keys are stable, and the update run's entry
// (MedeCaminho), on a path that stays inside a scratch tree, finds what a
// fresh lookup object finds.

#include "text/CodePage.h"
#include "paths/PathMapping.h"
#include "paths/WindowsLookup.h"
#include "run/Medicao.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A small share with the names a Windows catalogue meets: letter case, a
// Windows-1252 name, two names that differ only in case. Removed at exit.
class TScratchTree {
public:
  TScratchTree() {
    const std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    root_ = base + "/dz-fuzz-lookup-" + std::to_string(::getpid());
    for (const char* folder : {"", "/Samba", "/Dupla", "/Win"}) ::mkdir((root_ + folder).c_str(), 0700);
    for (const char* file : {"/Samba/Aquarela.MP3", "/Samba/Cora\xC3\xA7\xC3\xA3o.mp3", "/Dupla/a.wav", "/Dupla/A.wav",
                             "/Win/Cora\xE7\xE3o.mp3"}) {
      std::ofstream(root_ + file) << "x";
    }
  }
  ~TScratchTree() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TScratchTree(const TScratchTree&) = delete;
  TScratchTree& operator=(const TScratchTree&) = delete;
  const std::string& Root() const { return root_; }

private:
  std::string root_;
};

const std::string& ScratchTree() {
  static const TScratchTree tree;
  return tree.Root();
}

std::vector<std::string_view> Split(std::string_view data) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = data.find('\0', start);
    parts.push_back(data.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

bool SameTranslation(const TTranslatedPath& a, const TTranslatedPath& b) {
  return a.Path == b.Path && a.LocalLength == b.LocalLength && a.Translated == b.Translated &&
         a.Outside == b.Outside;
}

}  // namespace

// Input: the catalogue's path, then, each after a zero byte, the --mapear
// argument and the values of DE1, PARA1, DE2, PARA2, ...
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts = Split(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string path(parts[0]);

  TPathMapping mapping;
  (void)mapping.Add("C:\\", ScratchTree(), "DE", "PARA");
  if (parts.size() > 1) (void)AddArgumentRule(mapping, parts[1]);
  TRuleEntries section;
  for (std::size_t i = 2; i < parts.size(); ++i) {
    const std::size_t number = (i - 2) / 2 + 1;
    section.emplace_back(((i - 2) % 2 == 0 ? "DE" : "PARA") + std::to_string(number), std::string(parts[i]));
  }
  (void)AddSectionRules(mapping, section);

  const TTranslatedPath first = mapping.Translate(path);
  if (!SameTranslation(first, mapping.Translate(path))) __builtin_trap();
  if (first.LocalLength > first.Path.size() || first.Translated != (first.LocalLength > 0)) __builtin_trap();
  if (first.Outside && !first.Translated) __builtin_trap();
  if (!first.Translated && first.Path != path) __builtin_trap();

  for (const bool text8Bit : {false, true}) {
    const std::string key = NameKey(path, text8Bit);
    if (!IsUtf8(key) || NameKey(key, false) != key) __builtin_trap();
  }
  if (!IsUtf8(Text8BitToUtf8(path))) __builtin_trap();

  // Lookups only inside the scratch tree: ".." could lead anywhere.
  const std::string& root = ScratchTree();
  if (first.Path.compare(0, root.size() + 1, root + "/") == 0 && first.Path.find("..") == std::string::npos) {
    // The entry the update run calls: its open is the lookup's first try.
    TWindowsLookup lookup;
    const TMedida medida = MedeCaminho(lookup, mapping, path);
    const TLookup& found = medida.arquivo;
    const TLookup again = TWindowsLookup().FindPath(first.Path, first.LocalLength);
    if (found.Result != again.Result || found.Path != again.Path) __builtin_trap();
    if ((found.Result == TLookupResult::Exact || found.Result == TLookupResult::Found) &&
        found.Path.compare(0, root.size(), root) != 0) {
      __builtin_trap();
    }
    // Nothing is measured behind a name that is not there, or not one name.
    if ((found.Result == TLookupResult::Missing || found.Result == TLookupResult::Ambiguous) && medida.segundos != 0)
      __builtin_trap();
  }
  return 0;
}
