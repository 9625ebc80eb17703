#pragma once

// Small helpers shared by the tests: a temporary folder that removes itself,
// file writing, running a command-line tool, and a builder of exact bytes.

#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace dztest {

// An environment variable set to a value, or removed (nullptr), for the
// object's life; what it was is put back when the object goes.
class TEnvironmentVariable {
public:
  TEnvironmentVariable(const char* name, const char* value);
  ~TEnvironmentVariable();
  TEnvironmentVariable(const TEnvironmentVariable&) = delete;
  TEnvironmentVariable& operator=(const TEnvironmentVariable&) = delete;

private:
  std::string name_;
  bool was_ = false;
  std::string before_;
};

// A fresh folder under the system's temporary folder, removed with its contents.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Full path of a name inside the folder, as text.
  std::string File(std::string_view name) const;

private:
  std::filesystem::path path_;
};

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteFile(const std::string& path, std::string_view bytes);
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
// The whole file as text; empty when it cannot be read (an output not written).
std::string ReadFileText(const std::string& path);

// Runs a shell command line; returns its exit status (-1 when it could not run).
int RunCommand(const std::string& commandLine);
// Runs a shell command line; returns what it wrote to its standard output.
std::string CommandOutput(const std::string& commandLine);
// Quotes a text for the shell.
std::string ShellQuote(std::string_view text);
// Whether a text is well-formed UTF-8 (no stray or missing continuation byte,
// no overlong form, no surrogate, nothing beyond U+10FFFF).
bool WellFormedUtf8(std::string_view text);

// The project's source and build folders, as CTest passes them.
std::string SourceDir();
std::string BinaryDir();

// The private Firebird server of scripts/fbserver (the CTest fixture
// "fbserver" starts it): its port, as the script reports it for this checkout
// (read once), and database names that reach it.
int FbServerPort();
// "localhost/PORT:path"
std::string OnServer(const std::string& path);
// "inet://127.0.0.1:PORT/path"
std::string OnServerInet(const std::string& path);

// Sets the floating-point rounding mode (FE_UPWARD, ...) for its lifetime and
// puts the earlier one back, so a test can show a result does not depend on it.
class TRoundingModeGuard {
public:
  explicit TRoundingModeGuard(int mode);
  ~TRoundingModeGuard();
  TRoundingModeGuard(const TRoundingModeGuard&) = delete;
  TRoundingModeGuard& operator=(const TRoundingModeGuard&) = delete;

  // False when the mode could not be set.
  bool Set() const { return set_; }

private:
  int earlier_;
  bool set_;
};

struct TRoundingMode {
  const char* name;
  int mode;
};
// Every rounding mode of <cfenv>, the default (to nearest) first.
extern const std::array<TRoundingMode, 4> RoundingModes;

// The value whose four big-endian bytes hold value 7 bits each, as an ID3v2
// size does (bits above the 28th are dropped): 300 gives 0x0000022C.
std::uint32_t Syncsafe(std::uint32_t value);

// Builder of exact byte sequences: TBytes().Str("RIFF").LE32(36).Zeros(4)...
class TBytes {
public:
  TBytes& Str(std::string_view text);
  TBytes& U8(std::uint8_t value);
  TBytes& U8s(std::initializer_list<std::uint8_t> values);
  TBytes& BE16(std::uint16_t value);
  TBytes& BE24(std::uint32_t value);
  TBytes& BE32(std::uint32_t value);
  TBytes& LE16(std::uint16_t value);
  TBytes& LE32(std::uint32_t value);
  // An ID3v2 size: four bytes of 7 bits each, most significant first.
  TBytes& Syncsafe32(std::uint32_t value);
  TBytes& Fill(std::size_t count, std::uint8_t value);
  TBytes& Zeros(std::size_t count) { return Fill(count, 0); }
  TBytes& Append(const std::vector<std::uint8_t>& bytes);
  // Pads with value up to a total size (does nothing when already as long).
  TBytes& PadTo(std::size_t size, std::uint8_t value = 0);

  std::size_t Size() const { return data_.size(); }
  const std::vector<std::uint8_t>& Data() const { return data_; }
  operator const std::vector<std::uint8_t>&() const { return data_; }

private:
  std::vector<std::uint8_t> data_;
};

// A WAV file of the plain layout (a 44-byte header: PCM, 8000 Hz, 16 bits)
// and audioBytes of silence, so that the byte-based duration is exactly
// audioBytes / bytesPerSecond.
std::vector<std::uint8_t> PlainWav(std::uint32_t audioBytes, std::uint32_t bytesPerSecond, std::uint16_t channels = 1);

// An ID3v2.3 tag that holds one popularimeter frame ("POPM") with this
// content: e-mail address, its zero byte, rating byte, play counter. With an
// address, the ID3v2 reader leaves the frame to TagLib's complete parser.
std::vector<std::uint8_t> Id3v2TagWithPopularimeter(std::string_view content);

}  // namespace dztest
