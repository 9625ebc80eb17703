#include "tests/support/TestSupport.h"

#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>

namespace dztest {

TEnvironmentVariable::TEnvironmentVariable(const char* name, const char* value) : name_(name) {
  if (const char* now = std::getenv(name)) {
    was_ = true;
    before_ = now;
  }
  if (value != nullptr) ::setenv(name, value, 1);
  else ::unsetenv(name);
}

TEnvironmentVariable::~TEnvironmentVariable() {
  if (was_) ::setenv(name_.c_str(), before_.c_str(), 1);
  else ::unsetenv(name_.c_str());
}

TTempDir::TTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dztest-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TTempDir::File(std::string_view name) const { return (path_ / name).string(); }

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteFile(const std::string& path, std::string_view bytes) {
  WriteFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int RunCommand(const std::string& commandLine) {
  const int status = std::system(commandLine.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string CommandOutput(const std::string& commandLine) {
  std::string text;
  if (FILE* pipe = ::popen(commandLine.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
    ::pclose(pipe);
  }
  return text;
}

bool WellFormedUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t character = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      character = (character << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && character < 0x800) || (length == 4 && character < 0x10000);
    const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
    if (overlong || surrogate || character > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

std::string ShellQuote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

static std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

std::string SourceDir() { return EnvOr("DZ_SOURCE_DIR", "."); }
std::string BinaryDir() { return EnvOr("DZ_BINARY_DIR", "."); }

int FbServerPort() {
  static const int port = [] {
    const std::string text = CommandOutput(ShellQuote(SourceDir() + "/scripts/fbserver") + " address");
    // "127.0.0.1/PORT"
    const auto slash = text.find('/');
    const int found = slash == std::string::npos ? 0 : std::atoi(text.c_str() + slash + 1);
    if (found <= 0) {
      std::fprintf(stderr, "scripts/fbserver address gave no port: \"%s\"\n", text.c_str());
      std::abort();
    }
    return found;
  }();
  return port;
}

std::string OnServer(const std::string& path) { return "localhost/" + std::to_string(FbServerPort()) + ":" + path; }

std::string OnServerInet(const std::string& path) {
  return "inet://127.0.0.1:" + std::to_string(FbServerPort()) + "/" + path;
}

TRoundingModeGuard::TRoundingModeGuard(int mode) : earlier_(std::fegetround()), set_(std::fesetround(mode) == 0) {}
TRoundingModeGuard::~TRoundingModeGuard() { std::fesetround(earlier_); }

const std::array<TRoundingMode, 4> RoundingModes = {{
    {"to nearest", FE_TONEAREST},
    {"upward", FE_UPWARD},
    {"downward", FE_DOWNWARD},
    {"toward zero", FE_TOWARDZERO},
}};

TBytes& TBytes::Str(std::string_view text) {
  data_.insert(data_.end(), text.begin(), text.end());
  return *this;
}
TBytes& TBytes::U8(std::uint8_t value) {
  data_.push_back(value);
  return *this;
}
TBytes& TBytes::U8s(std::initializer_list<std::uint8_t> values) {
  data_.insert(data_.end(), values.begin(), values.end());
  return *this;
}
TBytes& TBytes::BE16(std::uint16_t value) { return U8(value >> 8).U8(value & 0xFF); }
TBytes& TBytes::BE24(std::uint32_t value) { return U8((value >> 16) & 0xFF).U8((value >> 8) & 0xFF).U8(value & 0xFF); }
TBytes& TBytes::BE32(std::uint32_t value) { return U8(value >> 24).BE24(value & 0xFFFFFF); }
TBytes& TBytes::LE16(std::uint16_t value) { return U8(value & 0xFF).U8(value >> 8); }
TBytes& TBytes::LE32(std::uint32_t value) { return LE16(value & 0xFFFF).LE16(value >> 16); }
std::uint32_t Syncsafe(std::uint32_t value) {
  return ((value >> 21) & 0x7F) << 24 | ((value >> 14) & 0x7F) << 16 | ((value >> 7) & 0x7F) << 8 | (value & 0x7F);
}
TBytes& TBytes::Syncsafe32(std::uint32_t value) { return BE32(Syncsafe(value)); }
TBytes& TBytes::Fill(std::size_t count, std::uint8_t value) {
  data_.insert(data_.end(), count, value);
  return *this;
}
TBytes& TBytes::Append(const std::vector<std::uint8_t>& bytes) {
  data_.insert(data_.end(), bytes.begin(), bytes.end());
  return *this;
}
TBytes& TBytes::PadTo(std::size_t size, std::uint8_t value) {
  if (data_.size() < size) data_.resize(size, value);
  return *this;
}

std::vector<std::uint8_t> PlainWav(std::uint32_t audioBytes, std::uint32_t bytesPerSecond, std::uint16_t channels) {
  return TBytes()
      .Str("RIFF").LE32(36 + audioBytes).Str("WAVE")
      .Str("fmt ").LE32(16).LE16(1).LE16(channels).LE32(8000).LE32(bytesPerSecond).LE16(2).LE16(16)
      .Str("data").LE32(audioBytes)
      .Zeros(audioBytes);
}

std::vector<std::uint8_t> Id3v2TagWithPopularimeter(std::string_view content) {
  constexpr std::uint32_t FrameHeaderLength = 10;
  const auto contentLength = static_cast<std::uint32_t>(content.size());
  return TBytes()
      .Str("ID3").U8s({3, 0, 0}).Syncsafe32(FrameHeaderLength + contentLength)
      .Str("POPM").BE32(contentLength).Zeros(2).Str(content);
}

}  // namespace dztest
