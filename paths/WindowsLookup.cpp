#include "paths/WindowsLookup.h"

#include "text/CodePage.h"
#include "audio/ReadOnlyFile.h"

#include <dirent.h>
#include <utf8proc.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>

namespace {

constexpr char Separator = '/';

bool IsTrailingIgnored(char32_t character) { return character == ' ' || character == '.'; }

struct TDirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// The characters in Unicode's composed form (NFC), the form Windows writes:
// a name copied from a Mac, decomposed (NFD), then meets the same name
// composed. Characters that cannot be normalised are left as they are.
std::u32string Composed(const std::u32string& characters) {
  std::string text;
  for (const char32_t character : characters) {
    if (character < 0x80) continue;
    for (const char32_t each : characters) AppendUtf8(text, each);
    break;
  }
  if (text.empty()) return characters;  // ASCII is its own composed form
  utf8proc_uint8_t* mapped = nullptr;
  const utf8proc_ssize_t length = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                                               static_cast<utf8proc_ssize_t>(text.size()), &mapped,
                                               static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  if (length < 0) return characters;
  const std::string_view composedText(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(length));
  std::u32string composed;
  bool whole = true;
  for (std::size_t pos = 0; pos < composedText.size();) {
    char32_t character = 0;
    if (!NextUtf8Character(composedText, pos, character)) {
      whole = false;
      break;
    }
    composed += character;
  }
  std::free(mapped);
  return whole ? composed : characters;
}

}  // namespace

std::string NameKey(std::string_view name, bool text8Bit) {
  const bool isUtf8 = !text8Bit && IsUtf8(name);
  std::u32string characters;
  for (std::size_t pos = 0; pos < name.size();) {
    char32_t character = 0;
    if (!isUtf8 || !NextUtf8Character(name, pos, character))
      character = Char8BitToUnicode(static_cast<unsigned char>(name[pos++]));
    characters += character;
  }
  characters = Composed(characters);
  while (!characters.empty() && IsTrailingIgnored(characters.back())) characters.pop_back();
  std::string key;
  for (const char32_t character : characters) AppendUtf8(key, FoldCase1252(character));
  return key;
}

TLookup TWindowsLookup::Find(const TPathMapping& mapping, std::string_view cataloguePath) {
  const TTranslatedPath translated = mapping.Translate(cataloguePath);
  if (translated.Outside) return {TLookupResult::Outside, translated.Path};
  return FindPath(translated.Path, translated.LocalLength);
}

TLookup TWindowsLookup::FindPath(std::string_view pathText, std::size_t localLength) {
  // A file is anything but a folder, as for the duration facade's existence test.
  if (const std::string path(pathText); PathKindOf(path) == TPathKind::File) return {TLookupResult::Exact, path};
  return FindElsewhere(pathText, localLength);
}

TLookup TWindowsLookup::FindElsewhere(std::string_view pathText, std::size_t localLength) {
  const std::string path(pathText);
  if (path.find('\0') != std::string::npos) return {TLookupResult::Missing, path};
  localLength = std::min(localLength, path.size());
  const std::string_view fromCatalogue = std::string_view(path).substr(localLength);
  const bool text8Bit = !IsUtf8(fromCatalogue);
  if (text8Bit) {
    const std::string converted = path.substr(0, localLength) + Text8BitToUtf8(fromCatalogue);
    if (PathKindOf(converted) == TPathKind::File) return {TLookupResult::Found, converted};
  }
  // A relative path would be looked up from wherever the program runs.
  if (path.front() != Separator) return {TLookupResult::Missing, path};

  const std::size_t lastSeparator = path.rfind(Separator);
  const std::string_view name = std::string_view(path).substr(lastSeparator + 1);
  if (name.empty()) return {TLookupResult::Missing, path};
  const TResolved folder = ResolveFolder(std::string_view(path).substr(0, lastSeparator), localLength, text8Bit);
  if (folder.result != TLookupResult::Found) return {folder.result, path};
  // With the folder as given, the name as given is the path that was found to hold no file.
  const bool nameTried = folder.path == std::string_view(path).substr(0, lastSeparator);
  const TResolved file =
      Match(folder.path, name, lastSeparator + 1 >= localLength, text8Bit, TKind::File, nameTried);
  if (file.result != TLookupResult::Found) return {file.result, path};
  return {file.path == path ? TLookupResult::Exact : TLookupResult::Found, file.path};
}

TWindowsLookup::TResolved TWindowsLookup::ResolveFolder(std::string_view folder, std::size_t localLength,
                                                        bool text8Bit) {
  // The same spelling resolves alike only with the same split between local
  // folder and catalogue text, and the same reading of that text.
  const std::string keyPrefix = (text8Bit ? "8:" : "u:") + std::to_string(localLength) + ":";
  const auto cached = [&](std::size_t length) -> const TResolved* {
    const auto found = resolved_.find(keyPrefix + std::string(folder.substr(0, length)));
    return found == resolved_.end() ? nullptr : &found->second;
  };

  // The longest part of the folder resolved before, then one name after the other.
  std::size_t done = folder.size();
  const TResolved* start = cached(done);
  while (start == nullptr && done > 0) {
    done = folder.rfind(Separator, done - 1);
    if (done == std::string_view::npos || done == 0) {
      done = 0;
      break;
    }
    start = cached(done);
  }
  TResolved current = start != nullptr ? *start : TResolved{TLookupResult::Found, ""};
  while (done < folder.size() && current.result == TLookupResult::Found) {
    const std::size_t nameStart = done + 1;  // folder[done] is a separator
    std::size_t nameEnd = folder.find(Separator, nameStart);
    if (nameEnd == std::string_view::npos) nameEnd = folder.size();
    const std::string_view name = folder.substr(nameStart, nameEnd - nameStart);
    if (name == "..") {
      current.path += "/..";  // the system resolves it; no name to find
    } else if (!name.empty() && name != ".") {
      current = Match(current.path, name, nameStart >= localLength, text8Bit, TKind::Directory);
    }
    done = nameEnd;
    resolved_.emplace(keyPrefix + std::string(folder.substr(0, done)), current);
  }
  return current;
}

TWindowsLookup::TResolved TWindowsLookup::Match(const std::string& parent, std::string_view name,
                                                bool fromCatalogue, bool text8Bit, TKind wanted,
                                                bool nameTried) {
  const TPathKind wantedKind = wanted == TKind::Directory ? TPathKind::Directory : TPathKind::File;
  const std::string prefix = parent + Separator;
  std::string candidate = prefix + std::string(name);
  if (!nameTried && PathKindOf(candidate) == wantedKind) return {TLookupResult::Found, candidate};
  const bool readAs8Bit = fromCatalogue && text8Bit;
  if (readAs8Bit) {
    candidate = prefix + Text8BitToUtf8(name);
    if (PathKindOf(candidate) == wantedKind) return {TLookupResult::Found, candidate};
  }

  const std::string key = NameKey(name, readAs8Bit);
  if (key.empty()) return {TLookupResult::Missing, {}};
  const TFolderCache::TFolder& folder = folders_->Folder(parent.empty() ? std::string(1, Separator) : parent);
  const auto [first, last] = folder.byKey.equal_range(key);
  const auto count = std::distance(first, last);
  if (count == 0) return {TLookupResult::Missing, {}};
  if (count > 1) return {TLookupResult::Ambiguous, {}};
  const TFolderCache::TEntry& entry = folder.entries[first->second];
  if (TFolderCache::KindOf(parent, entry) != wanted) return {TLookupResult::Missing, {}};
  return {TLookupResult::Found, prefix + entry.name};
}

std::size_t TFolderCache::DirectoryReads() const {
  const std::lock_guard lock(mutex_);
  return directoryReads_;
}

const TFolderCache::TFolder& TFolderCache::Folder(const std::string& path) {
  std::unique_lock lock(mutex_);
  for (;;) {
    const auto [place, added] = folders_.try_emplace(path);
    if (!added) {
      if (place->second) return *place->second;
      folderRead_.wait(lock);  // another thread reads it; then look again
      continue;
    }
    ++directoryReads_;
    // Read without the lock, so that other threads meanwhile find and read other folders.
    lock.unlock();
    std::unique_ptr<const TFolder> folder;
    try {
      folder = Read(path);
    } catch (...) {
      // Out of memory: the folder is not remembered, and a thread waiting for it reads it itself.
      lock.lock();
      folders_.erase(path);
      lock.unlock();
      folderRead_.notify_all();
      throw;
    }
    lock.lock();
    // References to the map's values stay valid whatever was added meanwhile.
    std::unique_ptr<const TFolder>& slot = folders_.at(path);
    slot = std::move(folder);
    const TFolder& result = *slot;
    lock.unlock();
    folderRead_.notify_all();
    return result;
  }
}

std::unique_ptr<const TFolderCache::TFolder> TFolderCache::Read(const std::string& path) {
  auto folder = std::make_unique<TFolder>();
  // A folder that cannot be read stays empty: nothing in it can be found.
  const std::unique_ptr<DIR, TDirCloser> dir(::opendir(path.c_str()));
  if (!dir) return folder;
  while (const dirent* item = ::readdir(dir.get())) {
    const std::string_view name = item->d_name;
    if (name == "." || name == "..") continue;
    TKind kind = TKind::Unknown;
    if (item->d_type == DT_DIR) {
      kind = TKind::Directory;
    } else if (item->d_type != DT_UNKNOWN && item->d_type != DT_LNK) {
      kind = TKind::File;
    }
    folder->entries.emplace_back(std::string(name), kind);
    if (std::string key = NameKey(name, false); !key.empty())
      folder->byKey.emplace(std::move(key), folder->entries.size() - 1);
  }
  return folder;
}

TFolderCache::TKind TFolderCache::KindOf(const std::string& parent, const TEntry& entry) {
  TKind kind = entry.kind.load(std::memory_order_relaxed);
  if (kind == TKind::Unknown) {
    switch (PathKindOf(parent + Separator + entry.name)) {
      case TPathKind::Directory: kind = TKind::Directory; break;
      case TPathKind::File: kind = TKind::File; break;
      case TPathKind::Missing: kind = TKind::Missing; break;
    }
    entry.kind.store(kind, std::memory_order_relaxed);
  }
  return kind;
}
