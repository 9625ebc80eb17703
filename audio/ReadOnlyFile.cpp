#include "ReadOnlyFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

TReadOnlyFile::TReadOnlyFile(TReadOnlyFile&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

TReadOnlyFile& TReadOnlyFile::operator=(TReadOnlyFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

bool TReadOnlyFile::Open(const std::string& fileName) {
  Close();
  if (fileName.empty() || fileName.find('\0') != std::string::npos) return false;
  // O_NONBLOCK keeps a named pipe from blocking the open; it is dropped again
  // for regular files, which are the only ones accepted.
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
  const int flags = ::fcntl(handle, F_GETFL);
  if (flags >= 0) ::fcntl(handle, F_SETFL, flags & ~O_NONBLOCK);
  handle_ = handle;
  return true;
}

void TReadOnlyFile::Close() {
  if (handle_ >= 0) {
    ::close(handle_);
    handle_ = -1;
  }
}

std::int64_t TReadOnlyFile::Size() const {
  if (handle_ < 0) return -1;
  struct stat info {};
  if (::fstat(handle_, &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

bool TReadOnlyFile::Seek(std::int64_t position) {
  if (handle_ < 0 || position < 0) return false;
  return ::lseek(handle_, static_cast<off_t>(position), SEEK_SET) == static_cast<off_t>(position);
}

std::size_t TReadOnlyFile::Read(void* buffer, std::size_t count) {
  if (handle_ < 0 || buffer == nullptr) return 0;
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(handle_, out + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    if (n == 0) break;  // end of file
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool FileExists(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}
