#include "audio/ReadOnlyFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

static_assert(sizeof(off_t) == 8, "offsets beyond 2 GB need a 64-bit off_t");

namespace {

// Per thread, so that counting needs no lock and a measurement counts only its own calls.
thread_local TFileCalls Calls;

bool IsUsableName(const std::string& path) { return !path.empty() && path.find('\0') == std::string::npos; }

TPathKind KindOfMode(mode_t mode) { return S_ISDIR(mode) ? TPathKind::Directory : TPathKind::File; }

bool IsNoAccess(int error) { return error == EACCES || error == EPERM; }

// Opens for reading the regular file that place (a handle of O_PATH) points
// at, through its entry in /proc, which leads to that very file with no second
// lookup of its name. -1 with errno set when it cannot be read.
int ReopenForReading(int place) {
  const std::string self = "/proc/self/fd/" + std::to_string(place);
  int handle;
  do {
    ++Calls.Reopens;
    // O_NONBLOCK and O_NOCTTY change nothing for a regular file, the only
    // kind that comes here; they stay as a second guard.
    handle = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (handle < 0 && errno == EINTR);
  return handle;
}

// The kind and size of what place (a handle of O_PATH) points at, as the
// lookup of the open that gave it left them: on a network file system (SMB,
// NFS, FUSE) that lookup has just brought the file's attributes back, and
// asking without a sync takes them from there, where a plain fstat may ask
// the server once more, one more round trip a file. On a local disk both
// read the same inode. A kernel without statx gets the plain fstat.
// The modification time comes with them, in the same call (0 when the file
// system gives none).
bool KindAndSize(int place, mode_t& mode, std::int64_t& size, std::int64_t& modified) {
  ++Calls.SizeQueries;
  struct statx extended {};
  constexpr unsigned Wanted = STATX_TYPE | STATX_SIZE;
  if (::statx(place, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, Wanted | STATX_MTIME, &extended) == 0) {
    if ((extended.stx_mask & Wanted) == Wanted) {
      mode = extended.stx_mode;
      size = static_cast<std::int64_t>(extended.stx_size);
      modified = (extended.stx_mask & STATX_MTIME) != 0
                     ? static_cast<std::int64_t>(extended.stx_mtime.tv_sec) * 1'000'000'000 + extended.stx_mtime.tv_nsec
                     : 0;
      return true;
    }
  } else if (errno != ENOSYS && errno != EPERM && errno != EINVAL) {
    return false;
  }
  struct stat info {};
  if (::fstat(place, &info) != 0) return false;
  mode = info.st_mode;
  size = static_cast<std::int64_t>(info.st_size);
  modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  return true;
}

void CloseHandle(int handle) {
  ++Calls.Closes;
  ::close(handle);
}

}  // namespace

TReadOnlyFile::TReadOnlyFile(TReadOnlyFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      size_(std::exchange(other.size_, -1)),
      modified_(std::exchange(other.modified_, 0)),
      position_(std::exchange(other.position_, 0)),
      found_(std::exchange(other.found_, TPathKind::Missing)),
      refusal_(std::exchange(other.refusal_, TOpenRefusal::None)),
      blocks_(std::move(other.blocks_)),
      nextBlock_(std::exchange(other.nextBlock_, 0)) {
  other.DropBlocks();
}

TReadOnlyFile& TReadOnlyFile::operator=(TReadOnlyFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
    size_ = std::exchange(other.size_, -1);
    modified_ = std::exchange(other.modified_, 0);
    position_ = std::exchange(other.position_, 0);
    found_ = std::exchange(other.found_, TPathKind::Missing);
    refusal_ = std::exchange(other.refusal_, TOpenRefusal::None);
    blocks_ = std::move(other.blocks_);
    nextBlock_ = std::exchange(other.nextBlock_, 0);
    other.DropBlocks();
  }
  return *this;
}

bool TReadOnlyFile::Open(const std::string& fileName) {
  Close();
  found_ = TPathKind::Missing;
  refusal_ = TOpenRefusal::None;
  if (!IsUsableName(fileName)) return false;
  // The open by name gives a handle to what is there without opening it:
  // a pipe, a device or a socket is then never opened at all.
  int place;
  do {
    ++Calls.Opens;
    place = ::open(fileName.c_str(), O_PATH | O_CLOEXEC);
  } while (place < 0 && errno == EINTR);
  if (place < 0) {
    if (IsNoAccess(errno)) {
      // A folder on the way may not be searched: something may be there.
      found_ = TPathKind::File;
      refusal_ = TOpenRefusal::NoAccess;
    }
    return false;
  }
  mode_t mode = 0;
  std::int64_t size = 0;
  std::int64_t modified = 0;
  if (!KindAndSize(place, mode, size, modified)) {
    ::close(place);
    found_ = PathKindOf(fileName);
    return false;
  }
  found_ = KindOfMode(mode);
  if (!S_ISREG(mode)) {
    ::close(place);
    if (found_ == TPathKind::File) refusal_ = TOpenRefusal::NotRegular;
    return false;
  }
  const int handle = ReopenForReading(place);
  ::close(place);  // a handle of O_PATH holds nothing open on the file system
  if (handle < 0) {
    if (IsNoAccess(errno)) refusal_ = TOpenRefusal::NoAccess;
    return false;
  }
  handle_ = handle;
  size_ = size;
  modified_ = modified;
  position_ = 0;
  return true;
}

void TReadOnlyFile::Close() {
  if (handle_ >= 0) {
    CloseHandle(handle_);
    handle_ = -1;
  }
  size_ = -1;
  modified_ = 0;
  position_ = 0;
  DropBlocks();
}

void TReadOnlyFile::DropBlocks() {
  for (TBlock& block : blocks_) block.size = 0;
  nextBlock_ = 0;
}

bool TReadOnlyFile::Seek(std::int64_t position) {
  if (handle_ < 0 || position < 0) return false;
  position_ = position;
  return true;
}

std::size_t TReadOnlyFile::Read(void* buffer, std::size_t count) {
  if (handle_ < 0 || buffer == nullptr) return 0;
  // No read may reach beyond the largest offset a file can have.
  const auto room = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() - position_);
  if (count > room) count = static_cast<std::size_t>(room);
  auto* out = static_cast<unsigned char*>(buffer);
  if (count > 0 && count < BlockBytes && position_ < size_ &&
      count <= static_cast<std::uint64_t>(size_ - position_)) {
    if (const TBlock* block = BlockHolding(position_, count)) {
      std::memcpy(out, block->bytes.get() + (position_ - block->start), count);
      position_ += static_cast<std::int64_t>(count);
      return count;
    }
  }
  const std::size_t done = ReadDirect(position_, out, count);
  position_ += static_cast<std::int64_t>(done);
  return done;
}

const TReadOnlyFile::TBlock* TReadOnlyFile::BlockHolding(std::int64_t position, std::size_t count) {
  const auto holds = [&](const TBlock& block) {
    return block.size != 0 && position >= block.start &&
           static_cast<std::uint64_t>(position - block.start) + count <= block.size;
  };
  for (const TBlock& block : blocks_)
    if (holds(block)) return &block;
  // A block from here on; near the end, the block that ends where the file
  // ends, so that what lies before the last bytes (an encoder signature
  // before the ID3v1 tag) comes with them.
  const std::size_t length = static_cast<std::size_t>(std::min<std::int64_t>(size_, BlockBytes));
  TBlock& block = blocks_[nextBlock_];
  nextBlock_ = (nextBlock_ + 1) % blocks_.size();
  if (!block.bytes) block.bytes = std::make_unique_for_overwrite<unsigned char[]>(BlockBytes);
  block.start = std::min(position, size_ - static_cast<std::int64_t>(length));
  block.size = ReadDirect(block.start, block.bytes.get(), length);  // fewer when the file has shrunk
  return holds(block) ? &block : nullptr;
}

// Reads count bytes at an offset, fewer at the end of the file, 0 on an error.
std::size_t TReadOnlyFile::ReadDirect(std::int64_t at, unsigned char* out, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    ++Calls.Reads;
    const ssize_t n =
        ::pread(handle_, out + done, count - done, static_cast<off_t>(at + static_cast<std::int64_t>(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    if (n == 0) break;  // end of file
    done += static_cast<std::size_t>(n);
    // A short read that reaches the size the file had when it was opened is
    // its end: asking again would only be told so, one more round trip.
    if (done < count && at + static_cast<std::int64_t>(done) >= size_) break;
  }
  return done;
}

TPathKind PathKindOf(const std::string& path) {
  if (!IsUsableName(path)) return TPathKind::Missing;
  struct stat info {};
  ++Calls.PathQueries;
  if (::stat(path.c_str(), &info) != 0) return TPathKind::Missing;
  return KindOfMode(info.st_mode);
}

bool FileExists(const std::string& path) { return PathKindOf(path) == TPathKind::File; }

TFileCalls FileCallsOnThisThread() { return Calls; }

TFileCalls operator-(const TFileCalls& later, const TFileCalls& earlier) {
  return {later.Opens - earlier.Opens, later.Reopens - earlier.Reopens, later.SizeQueries - earlier.SizeQueries,
          later.PathQueries - earlier.PathQueries, later.Reads - earlier.Reads, later.Closes - earlier.Closes};
}
