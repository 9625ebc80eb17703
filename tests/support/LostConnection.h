#pragma once

// Ways for the tests to take a connection away from the program under test:
// the Firebird server on private server of scripts/fbserver killed, stopped
// or restarted, and attachments ended by an administrator.

#include "tests/support/CatalogueDb.h"

#include <cstdint>
#include <string>

namespace dztest {

// Runs scripts/fbserver with a command (start, stop, kill, restart,
// status); its exit status.
inline int FbServer(const std::string& command) {
  return RunCommand(ShellQuote(SourceDir() + "/scripts/fbserver") + " " + command + " >/dev/null");
}

// Starts the server again when a case that stopped it ends, however it ends.
struct TRestartServer {
  TRestartServer() = default;
  TRestartServer(const TRestartServer&) = delete;
  TRestartServer& operator=(const TRestartServer&) = delete;
  ~TRestartServer() { FbServer("start"); }
};

// Ends every user attachment to the database but the one that asks, as an
// administrator does by deleting their rows of MON$ATTACHMENTS; how many.
inline std::int64_t EndOtherAttachments(const std::string& databaseName) {
  TSession admin(databaseName);
  const std::int64_t ended =
      admin.Exec("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0");
  admin.Commit();
  return ended;
}

}  // namespace dztest
