#include "tests/support/SampleFiles.h"

#include "tests/support/TestSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace dztest {

namespace {

namespace fs = std::filesystem;

// ---- The recipes. Every command runs in the set's folder, so it names its
// files without a path. ----

// A 440 Hz sine of 16 bits by sox.
std::string Sine(std::string_view file, int rate, int channels, std::string_view seconds) {
  return "sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 " + std::string(file) +
         " synth " + std::string(seconds) + " sine 440";
}

const char* const WavCommands[] = {
    "sox -n -r 44100 -c 2 -b 16 sox16stereo.wav synth 2.5 sine 440",
    "sox -n -r 8000 -c 1 -b 16 sox16mono.wav synth 3 sine 440",
    "sox -n -r 22050 -c 1 -b 8 sox8mono.wav synth 1.5 sine 440",
    "sox -n -r 48000 -c 2 -b 24 sox24stereo.wav synth 2 sine 440",
    "sox -n -r 44100 -c 1 -e floating-point -b 32 soxfloat.wav synth 2 sine 440",
    "sox -n -r 8000 -c 1 soxdefault.wav synth 3 sine 440",
    "sox -n -r 44100 -c 6 -b 16 sox6ch.wav synth 1 sine 440",
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=6 -rf64 never ffsine6.wav",
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -ac 2 -c:a pcm_s24le ff24stereo.wav",
    "ffmpeg -v error -y -f lavfi -i 'aevalsrc=0.25|0.25:d=2' -c:a pcm_s24le -bitexact ff24bitexact.wav",
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -ac 6 ff6ch.wav",
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -write_bext 1 -metadata description=hi ffbext.wav",
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -c:a pcm_f32le fffloat.wav",
};

// lame streams, each from a 7.3 s sine of its rate and channels ("<file>.wav").
struct TLameStream {
  const char* file;
  int rate;
  int channels;
  const char* lameOptions;
};

constexpr TLameStream LameStreams[] = {
    {"mpeg1-joint-128.mp3", 44100, 2, "-b 128 -m j"},
    {"mpeg1-mono-crc-64.mp3", 32000, 1, "-p -b 64 -m m"},
    {"mpeg2-mono-crc-64.mp3", 22050, 1, "-p -b 64 -m m"},
    {"mpeg2-stereo-32.mp3", 16000, 2, "-b 32 -m s"},
    {"mpeg25-stereo-32.mp3", 11025, 2, "-b 32 -m s"},
    {"mpeg25-mono-crc-16.mp3", 8000, 1, "-p -b 16 -m m"},
    {"mpeg1-no-lame-tag.mp3", 44100, 2, "-t -b 128 -m j"},
    {"vbr-V2.mp3", 44100, 2, "-V 2"},
    {"vbr-V5-mpeg2-mono.mp3", 22050, 1, "-V 5"},
    {"abr-96.mp3", 44100, 2, "--abr 96 --resample 44.1"},
};

std::vector<std::string> Mp3Commands() {
  std::vector<std::string> commands = {"lame --version > lame-version.txt"};
  for (const TLameStream& s : LameStreams) {
    const std::string source = std::string(s.file) + ".wav";
    commands.push_back(Sine(source, s.rate, s.channels, "7.3") + " && lame --quiet " + s.lameOptions + " " + source +
                       " " + s.file);
  }
  commands.push_back(Sine("tone.wav", 44100, 2, "5") + " && lame --quiet -b 128 tone.wav tone.mp3");
  // Raw 16-bit mono samples in, lame's own ID3v2.3 tag out.
  commands.push_back(
      "head -c 44100 /dev/zero > silence.raw && "
      "lame --quiet -r -s 44.1 --bitwidth 16 -m m --id3v2-only --tt 'Noite Fria' --ta 'Os Lame' --tl 'Ao Vivo' "
      "--ty 1998 --tn 5/9 --tg Samba --tc 'Gravado em casa' silence.raw lame.mp3");
  return commands;
}

std::vector<std::string> CatalogueCommands() {
  return {
      Sine("tres.wav", 8000, 1, "3"),
      Sine("dois.wav", 8000, 1, "2"),
      Sine("curto.wav", 8000, 1, "0.4"),
      Sine("subfaixa.wav", 8000, 1, "1"),
      "mkdir sub && " + Sine("sub/faixa.wav", 8000, 1, "4"),
      Sine("cinco.wav", 44100, 2, "5") + " && lame --quiet cinco.wav cinco.mp3",
      // No "RIFF", and no 0xFF byte that could start an MPEG frame.
      "head -c 4096 /dev/zero | tr '\\0' x > texto.wav && cp texto.wav texto.mp3",
  };
}

struct TRecipe {
  const char* name;
  std::vector<std::string> commands;
};

TRecipe Recipe(TSampleSet set) {
  switch (set) {
    case TSampleSet::Wav: return {"wav", {std::begin(WavCommands), std::end(WavCommands)}};
    case TSampleSet::Mp3: return {"mp3", Mp3Commands()};
    case TSampleSet::Catalogue: return {"catalogue", CatalogueCommands()};
  }
  throw std::logic_error("unknown sample set");
}

// ---- Making a set once ----

// FNV-1a of the commands: a changed recipe gets a folder of its own, so no
// build uses files made by an older recipe.
std::string RecipeKey(const TRecipe& recipe) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const std::string& command : recipe.commands) {
    for (const char c : command + "\n") {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ULL;
    }
  }
  char key[17];
  std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(hash));
  return std::string(recipe.name) + "-" + key;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// An exclusive lock on a file, held for the object's life; the system lets it
// go when the process ends, however it ends.
class TFileLock {
public:
  explicit TFileLock(const fs::path& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + path.string());
  }
  ~TFileLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

private:
  int fd_;
};

// Makes the set in a fresh folder beside its place and renames it into place
// only when every command has worked: the set's folder, once it exists, is
// complete. The lock keeps a second process from making the same set meanwhile.
fs::path MakeOnce(const TRecipe& recipe) {
  const fs::path root = DZ_SAMPLES_DIR;
  fs::create_directories(root);
  const std::string key = RecipeKey(recipe);
  const fs::path folder = root / key;
  const TFileLock lock(root / (key + ".lock"));
  if (fs::is_directory(folder)) return folder;

  // What a maker that was stopped halfway left behind.
  for (const auto& entry : fs::directory_iterator(root)) {
    if (entry.path().filename().string().starts_with("." + key + "-")) fs::remove_all(entry.path());
  }
  std::string pattern = (root / ("." + key + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder in " + root.string());
  const fs::path making = pattern;
  const fs::path log = making.string() + ".log";
  for (const std::string& command : recipe.commands) {
    const int status = RunCommand("cd " + ShellQuote(making.string()) + " && (" + command + ") > " +
                                  ShellQuote(log.string()) + " 2>&1");
    if (status != 0) {
      const std::string output = ReadText(log);
      fs::remove_all(making);
      fs::remove(log);
      throw std::runtime_error("could not make the sample files \"" + std::string(recipe.name) +
                               "\" (exit status " + std::to_string(status) + "): " + command + "\n" + output);
    }
  }
  fs::remove(log);
  fs::rename(making, folder);
  return folder;
}

}  // namespace

fs::path SampleFolder(TSampleSet set) {
  static std::map<TSampleSet, fs::path> made;
  auto found = made.find(set);
  if (found == made.end()) found = made.emplace(set, MakeOnce(Recipe(set))).first;
  return found->second;
}

}  // namespace dztest
