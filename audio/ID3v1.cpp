#include "audio/ID3v1.h"

#include "audio/ReadOnlyFile.h"

#include <cstring>

const std::array<const char*, 148> ID3v1GenreNames = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop",
    "Jazz", "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap",
    "Reggae", "Rock", "Techno", "Industrial", "Alternative", "Ska", "Death Metal", "Pranks",
    "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance",
    "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise",
    "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock",
    "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle",
    "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi",
    "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    // Extensions beyond the 80 names of the format.
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progessive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock",
    "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera",
    "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam",
    "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle",
    "Duet", "Punk Rock", "Drum Solo", "A capella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass",
    "Club-House", "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat",
    "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Trash Metal", "Anime", "JPop", "Synthpop",
};

namespace {

// A text field of the tag: its offset in the 128 bytes and its width.
struct TFieldSpan {
  std::size_t offset;
  std::size_t width;
};

constexpr char Marker[] = "TAG";  // the first 3 bytes of a tag
constexpr std::size_t MarkerLength = 3;
constexpr TFieldSpan TitleField{3, 30};
constexpr TFieldSpan ArtistField{33, 30};
constexpr TFieldSpan AlbumField{63, 30};
constexpr TFieldSpan YearField{93, 4};
constexpr TFieldSpan CommentField{97, 30};
constexpr TFieldSpan CommentV11Field{97, 28};
constexpr std::size_t VersionMarkOffset = 125;  // 0 or a space before the track byte in ID3v1.1
constexpr std::size_t TrackOffset = 126;
constexpr std::size_t GenreOffset = 127;
constexpr unsigned char Space = 0x20;

// The field's bytes with trailing bytes of 0x20 or below removed; zero bytes
// and spaces inside or before the text stay.
std::string TrimmedField(const unsigned char* tag, TFieldSpan field) {
  std::size_t length = field.width;
  while (length > 0 && tag[field.offset + length - 1] <= 0x20) --length;
  return std::string(reinterpret_cast<const char*>(tag + field.offset), length);
}

}  // namespace

void TID3v1::Clear() {
  Present = false;
  TagVersion = ID3v1Version10;
  Title.clear();
  Artist.clear();
  Album.clear();
  Year.clear();
  Comment.clear();
  Track = 0;
  GenreIndex = ID3v1NoGenre;
}

bool TID3v1::LoadFromFile(const std::string& fileName) {
  TReadOnlyFile file(fileName);
  return LoadFromFile(file);
}

bool TID3v1::LoadFromFile(TReadOnlyFile& file) {
  Clear();
  unsigned char tag[ID3v1TagLength];
  const std::int64_t size = file.Size();
  if (size < static_cast<std::int64_t>(ID3v1TagLength)) return false;
  if (!file.Seek(size - static_cast<std::int64_t>(ID3v1TagLength)) || !file.ReadExact(tag, ID3v1TagLength))
    return false;
  if (std::memcmp(tag, Marker, MarkerLength) != 0) return true;

  Present = true;
  const unsigned char mark = tag[VersionMarkOffset];
  const unsigned char track = tag[TrackOffset];
  // A space before a non-space counts as the ID3v1.1 mark too, so a comment
  // ending in a space and a character loses that character to the track.
  const bool isV11 = (mark == 0 && track != 0) || (mark == Space && track != Space);
  TagVersion = isV11 ? ID3v1Version11 : ID3v1Version10;
  Title = TrimmedField(tag, TitleField);
  Artist = TrimmedField(tag, ArtistField);
  Album = TrimmedField(tag, AlbumField);
  Year = TrimmedField(tag, YearField);
  if (isV11) {
    Comment = TrimmedField(tag, CommentV11Field);
    Track = track;
  } else {
    Comment = TrimmedField(tag, CommentField);
  }
  GenreIndex = tag[GenreOffset];
  return true;
}

std::string TID3v1::GenreName() const {
  return GenreIndex < ID3v1GenreNames.size() ? ID3v1GenreNames[GenreIndex] : std::string();
}
