#pragma once

// A catalogue named by a plain local path is opened by the Firebird engine
// inside this process. The engine reads its settings once, from firebird.conf
// in its root folder, when the client library first needs them; among them
// the memory it keeps for sorting (TempCacheLimit, 64 MB by default, for the
// whole engine). The catalogue's music select sorts every row it returns with
// all its columns, so at 100,000 rows the sort takes all of that memory.
//
// TEngineSettings gives the engine of this process a root folder of its own
// before the first call into the client library: the system's root seen
// through links, except firebird.conf, which is the system's text with some
// lines added at its end (a later line wins), and the character set folder
// intl, copied (the engine does not load its module through a link). The folder goes when the object
// goes. An administrator's choice always wins: nothing is done when FIREBIRD
// already names a root, or when the system's firebird.conf sets one of the
// names itself.

#include <string>
#include <vector>

// True when the client library opens this database name with the engine in
// this process: a path or an alias without a server part ("server:path",
// "inet://…", "xnet://…", "\\server\path" go to a server).
bool OpensInThisProcess(const std::string& databaseName);

// The root folder the client library would use without FIREBIRD: the folder
// firebird/3.0 beside the library file, when it holds firebird.conf; empty
// when it is not found.
std::string ClientLibraryRoot();

class TEngineSettings {
public:
  TEngineSettings() = default;
  ~TEngineSettings();
  TEngineSettings(TEngineSettings&& other) noexcept;
  TEngineSettings& operator=(TEngineSettings&& other) noexcept;
  TEngineSettings(const TEngineSettings&) = delete;
  TEngineSettings& operator=(const TEngineSettings&) = delete;

  // Makes the folder under temporaryFolder from systemRoot, named with this
  // process's id, and points FIREBIRD at it (after RemoveLeftEngineFolders). lines: "Name = value" lines for firebird.conf. Throws nothing: when
  // it does nothing, Reason() says why.
  static TEngineSettings Apply(const std::vector<std::string>& lines, const std::string& systemRoot,
                               const std::string& temporaryFolder);

  bool Applied() const { return !folder_.empty(); }
  // The private root folder when applied.
  const std::string& Folder() const { return folder_; }
  // Why nothing was done (empty when applied).
  const std::string& Reason() const { return reason_; }

private:
  std::string folder_;
  std::string reason_;
};

// The private folders under temporaryFolder of this user's processes that no
// longer run (a run killed with SIGKILL leaves its folder behind) are
// removed, links and all but never what the links name. Only real folders
// named "derozavizirizid-firebird.PID.XXXXXX" and owned by this user are
// touched, and only when no process PID runs. Apply does this first.
void RemoveLeftEngineFolders(const std::string& temporaryFolder);

// Makes a new folder a root of the engine that lasts (the folder must not be
// there yet): as Apply makes its own, the system root's entries linked, the
// character set folder copied and firebird.conf the system's text with the
// lines added. Empty when made, else why not (nothing is left then). The
// tests give every process such a root (FIREBIRD).
std::string MakeEngineRoot(const std::vector<std::string>& lines, const std::string& systemRoot,
                           const std::string& folder);

// The lines both programs add: the sort memory of Firebird's Classic mode,
// 8 MB; a larger sort goes on in temporary files.
std::vector<std::string> CatalogueEngineLines();

// TEngineSettings::Apply of CatalogueEngineLines, ClientLibraryRoot and the
// temporary folder (TMPDIR, else /tmp): what a program calls first thing.
TEngineSettings ApplyCatalogueEngineSettings();
