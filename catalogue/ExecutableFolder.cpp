#include "catalogue/Config.h"

#include <climits>
#include <unistd.h>

// Linux: the executable's full path is the target of /proc/self/exe.
std::string ExecutableFolder() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return {};
  const std::string fullPath(path, static_cast<std::size_t>(length));
  const std::size_t separator = fullPath.rfind('/');
  return separator == std::string::npos ? std::string() : fullPath.substr(0, separator + 1);
}
