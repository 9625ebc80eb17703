#pragma once

// Ways for the tests to take a connection away from the program under test:
// the private Firebird server of scripts/fbserver killed, stopped, paused
// or restarted, and attachments ended by an administrator.

#include "tests/support/CatalogueDb.h"
#include "tests/support/TestSupport.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <sys/types.h>

namespace dztest {

// Runs scripts/fbserver with a command (start, stop, kill, restart,
// status); its exit status.
inline int FbServer(const std::string& command) {
  return RunCommand(ShellQuote(SourceDir() + "/scripts/fbserver") + " " + command + " >/dev/null");
}

// The PID of the private server, as "scripts/fbserver status" reports it; 0 when stopped.
inline pid_t FbServerPid() {
  const std::string status = CommandOutput(ShellQuote(SourceDir() + "/scripts/fbserver") + " status");
  const auto at = status.find("(PID ");
  return at == std::string::npos ? 0 : static_cast<pid_t>(std::atoi(status.c_str() + at + 5));
}

// The private server paused (SIGSTOP) while this object lives, or until
// Resume: it keeps its connections and its port, and answers nothing, as a
// stalled server does.
class TServerPaused {
public:
  TServerPaused() : pid_(FbServerPid()) {
    if (pid_ > 0) ::kill(pid_, SIGSTOP);
  }
  ~TServerPaused() { Resume(); }
  TServerPaused(const TServerPaused&) = delete;
  TServerPaused& operator=(const TServerPaused&) = delete;
  bool Paused() const { return pid_ > 0; }
  void Resume() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
    pid_ = 0;
  }

private:
  pid_t pid_;
};

// Starts the server again when a case that stopped it ends, however it ends
// (a paused server goes on first).
struct TRestartServer {
  TRestartServer() = default;
  TRestartServer(const TRestartServer&) = delete;
  TRestartServer& operator=(const TRestartServer&) = delete;
  ~TRestartServer() {
    if (const pid_t pid = FbServerPid(); pid > 0) ::kill(pid, SIGCONT);
    FbServer("start");
  }
};

// Whether the process holds an established TCP connection to the private
// server's port. The system accepts a connection on the server's behalf even
// while the server is paused, and the programs connect only inside an attach:
// with the server paused before they start, such a connection tells that the
// program is in its attach, waiting for the server's answer.
inline bool ConnectedToServer(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  // The process's sockets, by inode ("socket:[INODE]").
  std::set<std::string> sockets;
  std::error_code error;
  for (std::filesystem::directory_iterator fd(proc + "/fd", error);
       !error && fd != std::filesystem::directory_iterator(); fd.increment(error)) {
    std::error_code ignored;
    const std::string target = std::filesystem::read_symlink(fd->path(), ignored).string();
    if (target.starts_with("socket:[") && target.ends_with("]")) sockets.insert(target.substr(8, target.size() - 9));
  }
  // net/tcp: a header, then "slot local remote state tx:rx timer retransmits
  // uid timeout inode ..." per socket, addresses as HEXIP:HEXPORT.
  constexpr const char* Established = "01";
  char port[8];
  std::snprintf(port, sizeof port, ":%04X", static_cast<unsigned>(FbServerPort()));
  std::ifstream table(proc + "/net/tcp");
  std::string line;
  std::getline(table, line);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
    if (remote.ends_with(port) && state == Established && sockets.contains(inode)) return true;
  }
  return false;
}

// "gfix -v -full" of a database on the server: its report ("" when the
// database is consistent), and its exit status after a line of its own.
inline std::string FullValidation(const std::string& databaseName) {
  return CommandOutput("gfix -v -full -user SYSDBA -password bluecrane " + ShellQuote(databaseName) +
                       " 2>&1; echo \"exit $?\"");
}

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
