// Makes the Firebird root that every test process is given (FIREBIRD, set by
// CTest): the system's configuration with the lines both programs add, and
// providers without Loopback. Without that, a local database name that the
// engine in the process cannot open (a missing file, one it may not open) is
// tried again on the server at 127.0.0.1:3050 with the same user and
// password: a login attempt on the machine's own server, which a test never
// makes.
//
//   dz_firebird_test_root FOLDER    (FOLDER is made afresh)

#include "catalogue/EngineSettings.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

// The embedded engine, and a server only where a name has a server part.
constexpr const char* ProvidersWithoutLoopback = "Providers = Remote,Engine12";

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  std::vector<std::string> lines = CatalogueEngineLines();
  lines.emplace_back(ProvidersWithoutLoopback);
  const std::string reason = MakeEngineRoot(lines, ClientLibraryRoot(), folder);
  if (!reason.empty()) {
    std::fprintf(stderr, "dz_firebird_test_root: %s\n", reason.c_str());
    return 1;
  }
  return 0;
}
