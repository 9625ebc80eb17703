#include "audio/ReadOnlyFile.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

static_assert(sizeof(off_t) == 8, "offsets beyond 2 GB need a 64-bit off_t");

TReadOnlyFile::TReadOnlyFile(TReadOnlyFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      size_(std::exchange(other.size_, -1)),
      position_(std::exchange(other.position_, 0)) {}

TReadOnlyFile& TReadOnlyFile::operator=(TReadOnlyFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
    size_ = std::exchange(other.size_, -1);
    position_ = std::exchange(other.position_, 0);
  }
  return *this;
}

bool TReadOnlyFile::Open(const std::string& fileName) {
  Close();
  if (fileName.empty() || fileName.find('\0') != std::string::npos) return false;
  // O_NONBLOCK keeps a named pipe from blocking the open. It stays set: it
  // changes nothing for regular files, the only ones accepted.
  int handle;
  do {
    handle = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (handle < 0 && errno == EINTR);
  if (handle < 0) return false;
  struct stat info {};
  if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(handle);
    return false;
  }
  handle_ = handle;
  size_ = static_cast<std::int64_t>(info.st_size);
  position_ = 0;
  return true;
}

void TReadOnlyFile::Close() {
  if (handle_ >= 0) {
    ::close(handle_);
    handle_ = -1;
  }
  size_ = -1;
  position_ = 0;
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
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n =
        ::pread(handle_, out + done, count - done, static_cast<off_t>(position_ + static_cast<std::int64_t>(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    if (n == 0) break;  // end of file
    done += static_cast<std::size_t>(n);
  }
  position_ += static_cast<std::int64_t>(done);
  return done;
}

bool FileExists(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}
