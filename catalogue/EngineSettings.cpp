#include "catalogue/EngineSettings.h"

#include "catalogue/AsciiText.h"

#include <ibase.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr const char* RootVariable = "FIREBIRD";
constexpr const char* ConfigFile = "firebird.conf";
// The character set module and its list. The engine loads the module only
// from a real file under its root: through a link (the folder's or the
// file's) every character set but NONE, OCTETS, ASCII and the Unicode ones is
// "not installed", a WIN1252 catalogue among them. So this folder is copied
// (about 1 MB), its links followed.
constexpr const char* IntlFolder = "intl";

void CopyFolder(const fs::path& from, const fs::path& to, std::error_code& error) {
  if (!fs::create_directory(to, error) || error) return;
  for (const fs::directory_entry& entry : fs::directory_iterator(from, error)) {
    if (!entry.is_regular_file(error)) continue;  // follows links; nothing else is there
    fs::copy_file(entry.path(), to / entry.path().filename(), error);
    if (error) return;
  }
}

// A private folder is FolderPrefix, the process id, "." and mkdtemp's 6 characters.
const std::string FolderPrefix = "derozavizirizid-firebird.";

// The process id in a private folder's name; nothing for any other name.
std::optional<pid_t> OwnerOfFolderName(const std::string& name) {
  if (name.size() <= FolderPrefix.size() + 7 || name.compare(0, FolderPrefix.size(), FolderPrefix) != 0)
    return std::nullopt;
  const std::size_t dot = name.size() - 7;
  if (name[dot] != '.') return std::nullopt;
  const std::string_view digits = std::string_view(name).substr(FolderPrefix.size(), dot - FolderPrefix.size());
  if (digits.front() == '0') return std::nullopt;
  pid_t pid = 0;
  const auto [last, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (failure != std::errc() || last != digits.data() + digits.size() || pid <= 0) return std::nullopt;
  return pid;
}

// The name a firebird.conf line sets, or empty for a comment or a blank line.
std::string NameSetBy(const std::string& line) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos || line[start] == '#') return {};
  const std::size_t equals = line.find('=', start);
  if (equals == std::string::npos) return {};
  const std::size_t end = line.find_last_not_of(" \t", equals == start ? start : equals - 1);
  return end == std::string::npos || end < start ? std::string() : line.substr(start, end - start + 1);
}

bool ReadWhole(const fs::path& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream whole;
  whole << in.rdbuf();
  text = whole.str();
  return !in.bad();
}

// Fills an empty folder as a root of the engine: the system root's entries
// linked, its character set folder copied, its firebird.conf text with the
// lines added at the end.
void FillEngineRoot(const fs::path& systemRoot, const std::string& systemText, const std::vector<std::string>& lines,
                    const fs::path& folder, std::error_code& error) {
  for (const fs::directory_entry& entry : fs::directory_iterator(systemRoot, error)) {
    if (entry.path().filename() == ConfigFile) continue;
    if (entry.path().filename() == IntlFolder) {
      CopyFolder(entry.path(), folder / IntlFolder, error);
    } else {
      fs::create_symlink(entry.path(), folder / entry.path().filename(), error);
    }
    if (error) return;
  }
  if (error) return;
  std::ofstream out(folder / ConfigFile, std::ios::binary);
  out << systemText;
  if (!systemText.empty() && systemText.back() != '\n') out << '\n';
  out << "\n# Added for this program's run only\n";
  for (const std::string& line : lines) out << line << '\n';
  out.close();
  if (!out) error = std::make_error_code(std::errc::io_error);
}

}  // namespace

std::string MakeEngineRoot(const std::vector<std::string>& lines, const std::string& systemRoot,
                           const std::string& folder) {
  std::string systemText;
  if (systemRoot.empty() || !ReadWhole(fs::path(systemRoot) / ConfigFile, systemText))
    return "não foi possível ler " + (fs::path(systemRoot) / ConfigFile).string();
  std::error_code error;
  if (!fs::create_directory(folder, error) || error) return "não foi possível criar a pasta " + folder;
  FillEngineRoot(systemRoot, systemText, lines, folder, error);
  if (!error) return {};
  fs::remove_all(folder, error);
  return "não foi possível preparar a configuração em " + folder;
}

bool OpensInThisProcess(const std::string& databaseName) {
  if (databaseName.empty() || databaseName.find(':') != std::string::npos) return false;
  return !databaseName.starts_with("\\\\") && !databaseName.starts_with("//");
}

std::string ClientLibraryRoot() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&isc_attach_database), &info) == 0 || info.dli_fname == nullptr) return {};
  std::error_code error;
  const fs::path library = fs::canonical(info.dli_fname, error);
  if (error) return {};
  const fs::path root = library.parent_path() / "firebird" / "3.0";
  return fs::is_regular_file(root / ConfigFile, error) ? root.string() : std::string();
}

std::vector<std::string> CatalogueEngineLines() { return {"TempCacheLimit = 8M"}; }

TEngineSettings ApplyCatalogueEngineSettings() {
  std::error_code error;
  const fs::path temporary = fs::temp_directory_path(error);
  return TEngineSettings::Apply(CatalogueEngineLines(), ClientLibraryRoot(), error ? "/tmp" : temporary.string());
}

TEngineSettings::~TEngineSettings() {
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);  // the links, not what they name
  }
}

TEngineSettings::TEngineSettings(TEngineSettings&& other) noexcept
    : folder_(std::exchange(other.folder_, {})), reason_(std::move(other.reason_)) {}

TEngineSettings& TEngineSettings::operator=(TEngineSettings&& other) noexcept {
  if (this != &other) {
    TEngineSettings old(std::move(*this));
    folder_ = std::exchange(other.folder_, {});
    reason_ = std::move(other.reason_);
  }
  return *this;
}

void RemoveLeftEngineFolders(const std::string& temporaryFolder) {
  std::error_code error;
  for (fs::directory_iterator entries(temporaryFolder, error), end; !error && entries != end;
       entries.increment(error)) {
    const std::string name = entries->path().filename().string();
    const std::optional<pid_t> pid = OwnerOfFolderName(name);
    if (!pid || *pid == ::getpid()) continue;
    // A real folder of this user, not a link to one.
    struct stat info {};
    if (::lstat(entries->path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
      continue;
    // A process that runs, even one this user may not signal, keeps its folder.
    if (::kill(*pid, 0) == 0 || errno != ESRCH) continue;
    std::error_code ignored;
    fs::remove_all(entries->path(), ignored);  // the links, not what they name
  }
}

TEngineSettings TEngineSettings::Apply(const std::vector<std::string>& lines, const std::string& systemRoot,
                                       const std::string& temporaryFolder) {
  RemoveLeftEngineFolders(temporaryFolder);
  TEngineSettings settings;
  if (const char* root = std::getenv(RootVariable); root != nullptr && *root != '\0') {
    settings.reason_ = std::string(RootVariable) + " já indica a configuração do Firebird: " + root;
    return settings;
  }
  if (systemRoot.empty()) {
    settings.reason_ = "a pasta de configuração do Firebird não foi encontrada";
    return settings;
  }
  std::string systemText;
  if (!ReadWhole(fs::path(systemRoot) / ConfigFile, systemText)) {
    settings.reason_ = "não foi possível ler " + (fs::path(systemRoot) / ConfigFile).string();
    return settings;
  }
  std::istringstream systemLines(systemText);
  for (std::string line; std::getline(systemLines, line);) {
    const std::string name = NameSetBy(line);
    for (const std::string& added : lines) {
      if (!name.empty() && SameAsciiText(name, NameSetBy(added))) {
        settings.reason_ = (fs::path(systemRoot) / ConfigFile).string() + " já define " + name;
        return settings;
      }
    }
  }

  std::string pattern =
      (fs::path(temporaryFolder) / (FolderPrefix + std::to_string(::getpid()) + ".XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    settings.reason_ = "não foi possível criar uma pasta em " + temporaryFolder;
    return settings;
  }
  settings.folder_ = pattern;
  std::error_code error;
  FillEngineRoot(systemRoot, systemText, lines, settings.folder_, error);
  if (error || ::setenv(RootVariable, settings.folder_.c_str(), 1) != 0) {
    const std::string folder = std::exchange(settings.folder_, {});
    fs::remove_all(folder, error);
    settings.reason_ = "não foi possível preparar a configuração em " + folder;
  }
  return settings;
}
