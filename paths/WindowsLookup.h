#pragma once

// Finds a catalogue's file the way the station's Windows machines do, on a
// file system that tells letter case apart: the one place besides the file
// layer that reads folders.
//
// The exact bytes of a path are always tried first, and a path that names a
// file as it is costs no folder read. Otherwise the path is followed folder
// by folder from the root, as Wine and Samba do; for each name:
//   1. the name exactly as it is;
//   2. when the catalogue's part of the path is not UTF-8 (a catalogue in
//      character set NONE written by a Windows program), the name's
//      Windows-1252 bytes as UTF-8, the name a Linux share shows;
//   3. the one name of the folder that is equal without regard to letter
//      case (ASCII and the Windows-1252 letters) and to trailing blanks and
//      dots, which Windows ignores. Names compare as characters in Unicode's
//      composed form (NFC), so a name written in Windows-1252 finds the same
//      name in UTF-8, and a composed name (as Windows writes it) the same
//      name decomposed (NFD, as files copied from a Mac are named), and the
//      reverse. Two such names (differing only in case or in composition)
//      are ambiguous: no file.
// Folders are read once per folder cache (one update run) and remembered;
// every lookup object remembers besides the folders it resolved so far. The
// lookups of the threads that measure a run's files share the run's cache,
// so that a folder is read and held once whatever the number of threads.
// Paths that are not absolute are only tried exactly as they are.

#include "paths/PathMapping.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

enum class TLookupResult {
  Exact,      // a file at the path as given
  Found,      // a file at another path (Path says which)
  Missing,    // no file
  Ambiguous,  // names that differ only in letter case stand in the way
  Outside,    // the path's ".." lead out of the folder its rule maps: nothing was looked up
};

struct TLookup {
  TLookupResult Result = TLookupResult::Missing;
  // The file to open; for Missing and Ambiguous the path that was looked for.
  std::string Path;
};

// The folders read for the lookups of one update run, each read once and
// then only read. Lookups on several threads may share one: a thread that
// needs a folder another thread is reading waits for that reading.
class TFolderCache {
public:
  TFolderCache() = default;
  TFolderCache(const TFolderCache&) = delete;
  TFolderCache& operator=(const TFolderCache&) = delete;

  // How many times a folder was read (for tests and measurements).
  std::size_t DirectoryReads() const;

private:
  friend class TWindowsLookup;

  enum class TKind : unsigned char { Unknown, Missing, Directory, File };
  struct TEntry {
    TEntry(std::string entryName, TKind entryKind) : name(std::move(entryName)), kind(entryKind) {}
    // Moved only while its folder is being read, before any other thread sees it.
    TEntry(TEntry&& other) noexcept : name(std::move(other.name)), kind(other.kind.load(std::memory_order_relaxed)) {}
    std::string name;
    // Unknown until asked (links and file systems that do not say); then set
    // once by whichever thread asks first, to the same answer for all.
    mutable std::atomic<TKind> kind;
  };
  struct TFolder {
    std::vector<TEntry> entries;
    std::unordered_multimap<std::string, std::size_t> byKey;  // NameKey of each entry
  };

  // The folder at path as it was read first in this cache.
  const TFolder& Folder(const std::string& path);
  static std::unique_ptr<const TFolder> Read(const std::string& path);
  static TKind KindOf(const std::string& parent, const TEntry& entry);

  mutable std::mutex mutex_;  // guards folders_ and directoryReads_
  std::condition_variable folderRead_;
  // By the folder's real path; empty while a thread reads it.
  std::unordered_map<std::string, std::unique_ptr<const TFolder>> folders_;
  std::size_t directoryReads_ = 0;
};

class TWindowsLookup {
public:
  // A lookup with a folder cache of its own.
  TWindowsLookup() = default;
  // A lookup that reads folders into folders, which other lookups share.
  explicit TWindowsLookup(std::shared_ptr<TFolderCache> folders) : folders_(std::move(folders)) {}

  // The catalogue's path translated by the rules, then looked up.
  TLookup Find(const TPathMapping& mapping, std::string_view cataloguePath);
  // A path already translated, whose first localLength bytes are a local
  // folder of the configuration and the rest the catalogue's text.
  TLookup FindPath(std::string_view path, std::size_t localLength = 0);
  // FindPath without its first try, for a caller whose own open of the path
  // found no file there: the open was the test of the exact bytes, and a
  // stat before it would only have asked the same.
  TLookup FindElsewhere(std::string_view path, std::size_t localLength = 0);

  // The folder cache, for other lookups to share.
  const std::shared_ptr<TFolderCache>& Folders() const { return folders_; }
  // How many times a folder was read into this lookup's cache, by this
  // lookup or by the others that share the cache.
  std::size_t DirectoryReads() const { return folders_->DirectoryReads(); }

private:
  using TKind = TFolderCache::TKind;
  struct TResolved {
    TLookupResult result;
    std::string path;  // the folder as it exists, without its trailing "/" ("" for the root)
  };

  // The folder (catalogue's spelling, without its trailing "/") as it exists.
  TResolved ResolveFolder(std::string_view folder, std::size_t localLength, bool text8Bit);
  // One name inside a folder that exists. nameTried: the name exactly as it
  // is is already known to be none of the kind wanted, so it is not asked again.
  TResolved Match(const std::string& parent, std::string_view name, bool fromCatalogue, bool text8Bit,
                  TKind wanted, bool nameTried = false);

  std::shared_ptr<TFolderCache> folders_ = std::make_shared<TFolderCache>();
  std::unordered_map<std::string, TResolved> resolved_;  // by the catalogue's spelling
};

// The key under which names are equal for a Windows machine: the name without
// its trailing blanks and dots, each character in lower case (FoldCase1252),
// as UTF-8. The name is read as UTF-8 when it is valid UTF-8 and text8Bit is
// false, else as Windows-1252. A name of only blanks and dots has the key "".
std::string NameKey(std::string_view name, bool text8Bit);
