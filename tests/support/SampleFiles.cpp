#include "tests/support/SampleFiles.h"

#include "tests/support/TestSupport.h"

#include "audio/MPEGaudio.h"
#include "audio/U_Funcoes.h"

#include <taglib/apetag.h>
#include <taglib/id3v1tag.h>
#include <taglib/mpegfile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dztest {

namespace {

namespace fs = std::filesystem;

// ---- The recipes. Every step works in the set's folder, so it names its
// files without a path. ----

// A step of a recipe: a shell command, or an edit in C++ of files that earlier
// steps made, for what no tool at hand does (a cut at a frame boundary, tags
// written by TagLib). The text is the command, or says what the edit does; it
// is part of the recipe's key, so an edit that changes says so in its text.
struct TStep {
  TStep(const char* command) : text(command) {}
  TStep(std::string command) : text(std::move(command)) {}
  TStep(std::string what, std::function<bool(const fs::path& folder)> edit)
      : text(std::move(what)), edit(std::move(edit)) {}

  std::string text;
  std::function<bool(const fs::path& folder)> edit;  // empty for a command
};

// 16-bit sound by sox from its effects ("synth 2 sine 440"). Its noise and
// its dither come from a fixed seed (-R): every build makes the same bytes.
std::string Sox(std::string_view file, int rate, int channels, std::string_view effects) {
  return "sox -R -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 " + std::string(file) +
         " " + std::string(effects);
}

// A 440 Hz sine of 16 bits by sox.
std::string Sine(std::string_view file, int rate, int channels, std::string_view seconds) {
  return Sox(file, rate, channels, "synth " + std::string(seconds) + " sine 440");
}

// An interrupted copy: the first half of a file, rounded down to a byte.
std::string FirstHalf(std::string_view from, std::string_view to) {
  const std::string source = ShellQuote(from);
  return "head -c $(( $(stat -c %s " + source + ") / 2 )) " + source + " > " + ShellQuote(to);
}

// A cut that lost the first frame of a stream that starts with one: lame's
// Xing or Info frame, as lame writes no ID3v2 tag unless asked to.
TStep CutFirstFrame(const std::string& from, const std::string& to) {
  return {to + ": " + from + " without its first frame", [from, to](const fs::path& folder) {
            const std::vector<std::uint8_t> bytes = ReadFileBytes((folder / from).string());
            if (!MPEGFrame::IsFrameAt(bytes, 0)) return false;
            FrameData first{};
            MPEGFrame::DecodeHeader({bytes[0], bytes[1], bytes[2], bytes[3]}, first);
            const std::size_t length = MPEGFrame::FrameLength(first);
            if (length == 0 || length > bytes.size()) return false;
            WriteFile((folder / to).string(), std::vector<std::uint8_t>(bytes.begin() + length, bytes.end()));
            return true;
          }};
}

// Tags behind the audio as taggers leave them: an APE tag with a long item
// and an ID3v1 tag written by TagLib, then the extended ID3v1 block that some
// taggers put in front of the ID3v1 tag.
TStep TagsAtTheEnd(const std::string& from, const std::string& to) {
  return {to + ": " + from + " with an APE tag (title, 5000-character comment), an ID3v1 tag (title) and "
               "\"TAG+\" in front of it",
          [from, to](const fs::path& folder) {
            const fs::path path = folder / to;
            fs::copy_file(folder / from, path);
            {
              TagLib::MPEG::File file(path.c_str());
              if (!file.isOpen()) return false;
              file.APETag(true)->setTitle("Faixa com APE");
              file.APETag(true)->setComment(TagLib::String(std::string(5000, 'c')));
              file.ID3v1Tag(true)->setTitle("Faixa com ID3v1");
              if (!file.save(TagLib::MPEG::File::APE | TagLib::MPEG::File::ID3v1)) return false;
            }
            std::vector<std::uint8_t> bytes = ReadFileBytes(path.string());
            if (bytes.size() < 128) return false;
            const std::vector<std::uint8_t> extended = TBytes().Str("TAG+").Str("Faixa com ID3v1 estendido").PadTo(227);
            bytes.insert(bytes.end() - 128, extended.begin(), extended.end());
            WriteFile(path.string(), bytes);
            return true;
          }};
}

const char* const WavCommands[] = {
    "sox -R -n -r 44100 -c 2 -b 16 sox16stereo.wav synth 2.5 sine 440",
    "sox -R -n -r 8000 -c 1 -b 16 sox16mono.wav synth 3 sine 440",
    "sox -R -n -r 22050 -c 1 -b 8 sox8mono.wav synth 1.5 sine 440",
    "sox -R -n -r 48000 -c 2 -b 24 sox24stereo.wav synth 2 sine 440",
    "sox -R -n -r 44100 -c 1 -e floating-point -b 32 soxfloat.wav synth 2 sine 440",
    "sox -R -n -r 8000 -c 1 soxdefault.wav synth 3 sine 440",
    "sox -R -n -r 44100 -c 6 -b 16 sox6ch.wav synth 1 sine 440",
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=6 -rf64 never ffsine6.wav",
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -ac 2 -c:a pcm_s24le ff24stereo.wav",
    "ffmpeg -v error -y -f lavfi -i 'aevalsrc=0.25|0.25:d=2' -c:a pcm_s24le -bitexact ff24bitexact.wav",
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -ac 6 ff6ch.wav",
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -write_bext 1 -metadata description=hi ffbext.wav",
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -c:a pcm_f32le fffloat.wav",
    // A JUNK chunk in front of the fmt chunk, kept for a later change to RF64.
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -rf64 auto ffjunk.wav",
    // Written to a pipe, so never sought back to: ffmpeg leaves 0xFFFFFFFF as
    // its RIFF and data sizes, sox sizes near 2^31 and a fact count to match.
    "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=3 -f wav pipe:1 > ffpipe.wav",
    "sox -R -n -t wav - synth 3 sine 440 2>/dev/null | cat > soxpipe.wav",
    // Interrupted copies: the first half of 30 s, without and with a fact chunk.
    "sox -R -n -r 8000 -c 1 -b 16 sox30.wav synth 30 sine 440 && "
    "head -c $(( $(stat -c %s sox30.wav) / 2 )) sox30.wav > sox30-half.wav",
    "sox -R -n -r 8000 -c 1 -e floating-point -b 32 sox30float.wav synth 30 sine 440 && "
    "head -c $(( $(stat -c %s sox30float.wav) / 2 )) sox30float.wav > sox30float-half.wav",
};

// A lame stream, encoded from sox's sound at its rate and channels ("<file>.wav").
struct TLameStream {
  const char* file;
  int rate;
  int channels;
  const char* lameOptions;
};

// Each from a 7.3 s sine.
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

// The sound of the sox effects, then lame's stream of it.
std::string Lame(const TLameStream& s, std::string_view effects) {
  const std::string source = std::string(s.file) + ".wav";
  return Sox(source, s.rate, s.channels, effects) + " && lame --quiet " + s.lameOptions + " " + source + " " + s.file;
}

std::vector<TStep> Mp3Steps() {
  std::vector<TStep> commands = {"lame --version > lame-version.txt"};
  for (const TLameStream& s : LameStreams) commands.push_back(Lame(s, "synth 7.3 sine 440"));
  commands.push_back(Sine("tone.wav", 44100, 2, "5") + " && lame --quiet -b 128 tone.wav tone.mp3");
  // ffmpeg's constant-rate streams: its Info frame at 16 kbit/s and 8000 Hz
  // is written at 24 kbit/s, the smallest rate whose frame holds it.
  commands.push_back(
      "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=6 -ar 8000 -ac 1 -c:a libmp3lame -b:a 16k "
      "ffmpeg-16k.mp3");
  commands.push_back(
      "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=5 -ac 2 -c:a libmp3lame -b:a 128k ffmpeg-128k.mp3");
  // Raw 16-bit mono samples in, lame's own ID3v2.3 tag out.
  commands.push_back(
      "head -c 44100 /dev/zero > silence.raw && "
      "lame --quiet -r -s 44.1 --bitwidth 16 -m m --id3v2-only --tt 'Noite Fria' --ta 'Os Lame' --tl 'Ao Vivo' "
      "--ty 1998 --tn 5/9 --tg Samba --tc 'Gravado em casa' silence.raw lame.mp3");
  return commands;
}

std::vector<TStep> CatalogueSteps() {
  return {
      Sine("tres.wav", 8000, 1, "3"),
      Sine("dois.wav", 8000, 1, "2"),
      Sine("curto.wav", 8000, 1, "0.4"),
      Sine("subfaixa.wav", 8000, 1, "1"),
      "mkdir sub && " + Sine("sub/faixa.wav", 8000, 1, "4"),
      // Named by a row whose own folder lacks it, until its folder's path becomes "sub/".
      Sine("sub/falta.wav", 8000, 1, "6"),
      Sine("cinco.wav", 44100, 2, "5") + " && lame --quiet cinco.wav cinco.mp3",
      // No "RIFF", and no 0xFF byte that could start an MPEG frame.
      "head -c 4096 /dev/zero | tr '\\0' x > texto.wav && cp texto.wav texto.mp3",
  };
}

// Each from 7.3 s of noise, so that a VBR encoder varies its bit rate.
constexpr TLameStream WalkStreams[] = {
    {"cbr-128.mp3", 44100, 2, "-b 128"},
    {"vbr-V2.mp3", 44100, 2, "-V 2"},
    {"abr-96.mp3", 44100, 2, "--abr 96 --resample 44.1"},
    {"mpeg2-vbr-mono.mp3", 22050, 1, "-V 5"},
    {"mpeg25-cbr-32.mp3", 11025, 2, "-b 32"},
    {"mpeg25-mono-crc-8.mp3", 8000, 1, "-p -b 8 -m m"},
    {"free-format.mp3", 44100, 2, "--freeformat -b 400"},
};

std::vector<TStep> WalkSteps() {
  std::vector<TStep> steps;
  for (const TLameStream& s : WalkStreams) steps.push_back(Lame(s, "synth 7.3 pinknoise vol 0.3"));
  steps.insert(steps.end(), {FirstHalf("vbr-V2.mp3", "vbr-half.mp3"), FirstHalf("cbr-128.mp3", "cbr-half.mp3"),
                             CutFirstFrame("vbr-V2.mp3", "vbr-no-xing.mp3"),
                             TagsAtTheEnd("cbr-128.mp3", "tags-at-end.mp3")});
  // Junk in front of the audio: more than the 1,729 bytes the reader's first
  // search covers, so that it finds its frame only in the middle of the file.
  for (const char* stream : {"cbr", "vbr"}) {
    const std::string source = std::string(stream) == "cbr" ? "cbr-128.mp3" : "vbr-V2.mp3";
    for (const char* junk : {"1730", "2500"}) {
      const std::string target = std::string("junk-") + junk + "-" + stream + ".mp3";
      steps.push_back("{ head -c " + std::string(junk) + " /dev/zero | tr '\\0' j; cat " + source + "; } > " + target);
    }
  }
  // A join of two constant-rate streams without Info frames (lame -t), 6 s at
  // 32 kbit/s and 4 s at 320, and junk in front: the reader finds its frame
  // in the middle, at 320 kbit/s, and estimates the whole file at that rate.
  steps.push_back(Sox("lento.wav", 44100, 2, "synth 6 pinknoise vol 0.3") + " && " +
                  Sox("rapido.wav", 44100, 2, "synth 4 pinknoise vol 0.3") +
                  " && lame --quiet -t -b 32 --resample 44.1 lento.wav lento.mp3"
                  " && lame --quiet -t -b 320 rapido.wav rapido.mp3"
                  " && { head -c 2500 /dev/zero | tr '\\0' j; cat lento.mp3 rapido.mp3; } > junk-2500-join.mp3");
  // The same with a frame sync and header (128 kbit/s, 44.1 kHz) inside the junk.
  steps.push_back("{ head -c 1000 /dev/zero | tr '\\0' j; printf '\\377\\373\\220\\144'; "
                  "head -c 1496 /dev/zero | tr '\\0' j; cat vbr-V2.mp3; } > junk-sync-vbr.mp3");
  return steps;
}

std::vector<TStep> ConferenciaSteps() {
  return {
      Sine("bom.wav", 44100, 2, "3"),
      Sine("fonte.wav", 44100, 2, "5") + " && lame --quiet -b 128 fonte.wav bom.mp3",
      Sox("cheio.wav", 44100, 2, "synth 20 pinknoise vol 0.3") + " && lame --quiet -V 2 cheio.wav cheio.mp3",
      FirstHalf("cheio.mp3", "truncado.mp3"),
      // Two seconds of silence in front: lame's first audio frames are at its lowest rate.
      Sox("silencio.wav", 44100, 2, "synth 6 pinknoise vol 0.3 pad 2") +
          " && lame --quiet -V 2 silencio.wav silencio.mp3",
      CutFirstFrame("silencio.mp3", "vbr sem xing.mp3"),
      // An upload area that was not filled: zeros behind the audio.
      "cp bom.mp3 'lixo no fim.mp3' && head -c 100000 /dev/zero >> 'lixo no fim.mp3'",
  };
}

struct TRecipe {
  const char* name;
  std::vector<TStep> steps;
};

TRecipe Recipe(TSampleSet set) {
  switch (set) {
    case TSampleSet::Wav: return {"wav", {std::begin(WavCommands), std::end(WavCommands)}};
    case TSampleSet::Mp3: return {"mp3", Mp3Steps()};
    case TSampleSet::Catalogue: return {"catalogue", CatalogueSteps()};
    case TSampleSet::Walk: return {"walk", WalkSteps()};
    case TSampleSet::Conferencia: return {"conferencia", ConferenciaSteps()};
  }
  throw std::logic_error("unknown sample set");
}

// ---- Making a set once ----

// FNV-1a of the steps' texts: a changed recipe gets a folder of its own, so
// no build uses files made by an older recipe.
std::string RecipeKey(const TRecipe& recipe) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const TStep& step : recipe.steps) {
    for (const char c : step.text + "\n") {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ULL;
    }
  }
  char key[17];
  std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(hash));
  return std::string(recipe.name) + "-" + key;
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

// Runs a step in the folder, a command's output going to the log; returns
// why it failed, empty when it worked.
std::string Failure(const TStep& step, const fs::path& folder, const fs::path& log) {
  if (step.edit) {
    try {
      return step.edit(folder) ? "" : "the edit failed";
    } catch (const std::exception& e) {
      return std::string("the edit failed: ") + e.what();
    }
  }
  const int status = RunCommand("cd " + ShellQuote(folder.string()) + " && (" + step.text + ") > " +
                                ShellQuote(log.string()) + " 2>&1");
  return status == 0 ? "" : "exit status " + std::to_string(status) + "\n" + ReadFileText(log.string());
}

// Makes the set in a fresh folder beside its place and renames it into place
// only when every step has worked: the set's folder, once it exists, is
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
  for (const TStep& step : recipe.steps) {
    const std::string failure = Failure(step, making, log);
    if (!failure.empty()) {
      fs::remove_all(making);
      fs::remove(log);
      throw std::runtime_error("could not make the sample files \"" + std::string(recipe.name) + "\": " + step.text +
                               "\n" + failure);
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

std::unique_ptr<TTempDir> TSuiteComMp3::dir_;
std::string TSuiteComMp3::tone_;
std::string TSuiteComMp3::samplesFailure_;
std::vector<std::uint8_t> TSuiteComMp3::mp3Bytes_;

void TSuiteComMp3::SetUpTestSuite() {
  dir_ = std::make_unique<TTempDir>();
  try {
    tone_ = (SampleFolder(TSampleSet::Mp3) / "tone.mp3").string();
    mp3Bytes_ = ReadFileBytes(tone_);
  } catch (const std::exception& error) {
    samplesFailure_ = error.what();
  }
}

void TSuiteComMp3::TearDownTestSuite() { dir_.reset(); }

std::int64_t DecodedSamples(const std::string& file, const TTempDir& scratch, TDecodificacao como) {
  const std::string raw = scratch.File("decoded.raw");
  const std::string command = std::string("ffmpeg -v quiet -y ") + (como.semCorteGapless ? "-flags2 +skip_manual " : "") +
                              "-i " + ShellQuote(file) + " -f s16le -ac 1 " +
                              (como.taxa > 0 ? "-ar " + std::to_string(como.taxa) + " " : "") + ShellQuote(raw);
  if (RunCommand(command) != 0) return -1;
  return static_cast<std::int64_t>(std::filesystem::file_size(raw) / 2);
}

void ExpectNoReader(const std::string& what) {
  EXPECT_EQ(LeitorMPEG, nullptr) << what;
  EXPECT_EQ(LeitorWAV, nullptr) << what;
}

}  // namespace dztest
