#include "fuzz/FuzzFile.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string ScratchPath() {
  const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(folder) + "/dz-fuzz-" + std::to_string(getpid()) + ".bin";
}

}  // namespace

const std::string& FuzzFile(const std::uint8_t* data, std::size_t size) {
  static const std::string path = [] {
    std::string p = ScratchPath();
    std::atexit([] { unlink(ScratchPath().c_str()); });
    return p;
  }();
  const int handle = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (handle < 0) std::abort();
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = write(handle, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  close(handle);
  return path;
}
