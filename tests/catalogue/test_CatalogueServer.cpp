// The catalogue through the private Firebird server of the CTest fixture
// "fbserver" (scripts/fbserver: 127.0.0.1 on a port of its own, never 3050),
// started before and stopped after.
// Some cases stop or kill the server themselves and start it again.

#include "catalogue/Catalogue.h"
#include "catalogue/Tabelas.h"

#include "tests/support/LostConnection.h"
#include "tests/support/CatalogueDb.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace {

using dztest::Show;
using dztest::TSession;
using dztest::ErrorText;
using dztest::TTestDatabase;

using dztest::TRestartServer;
using dztest::FbServer;

// The PID of the private server, as "scripts/fbserver status" reports it.
std::string ServerPid() {
  const std::string status = dztest::CommandOutput(dztest::ShellQuote(dztest::SourceDir() + "/scripts/fbserver") + " status");
  const auto at = status.find("(PID ");
  if (at == std::string::npos) return "";
  return status.substr(at + 5, status.find(')', at) - at - 5);
}

// A server-owned database with music rows 1..3 still without a length.
class CatalogueServer : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(FbServer("start"), 0);  // already running: does nothing
    {
      TSession s(db_.Path());  // embedded, before the server ever opens the file
      s.Exec("insert into TB_PASTAS values (1, '/m/')");
      for (int key = 1; key <= 3; ++key) {
        s.Exec("insert into TB_MUSICAS (MUS_CODIGO, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) values (?, '00:00', 1, 'f.mp3')", {key});
      }
      s.Commit();
    }
  }
  const std::string& Path() const { return db_.Path(); }

  // Opens the music query and goes to its first row, as a run does.
  static void OpenAndFetch(TCatalogo& c) {
    c.Q_Musicas.Open();
    c.Q_Musicas.FetchAll();
    c.Q_Musicas.First();
  }
  // The run's own write of the current music row.
  static void WriteCurrent(TCatalogo& c, std::int32_t seconds, const std::string& time) {
    TabelaCatalogo(TTabela::Musicas).GravaDuracao(c, seconds, time);
  }
  // Seconds and time of rows 3, 2, 1 (the order the run writes them).
  std::string Tempos() const {
    TSession check(dztest::OnServer(Path()));
    std::string tempos;
    for (const auto& row : check.Query("select MUS_SEGUNDOS, MUS_TEMPO from TB_MUSICAS order by MUS_CODIGO desc")) {
      tempos += (tempos.empty() ? "" : "|") + Show(row[0]) + " " + Show(row[1]);
    }
    return tempos;
  }

private:
  TTestDatabase db_{{}, true};
};

TEST_F(CatalogueServer, AttachThroughTheServerAndWrite) {
  const std::string names[] = {dztest::OnServer(Path()), dztest::OnServerInet(Path())};
  int seconds = 0;
  for (const auto& name : names) {
    ++seconds;
    TCatalogo c;
    c.DB_Velmar.SetDatabaseName(name);
    c.Q_Musicas.Open();
    c.Q_Musicas.FetchAll();
    c.Q_Musicas.First();
    ASSERT_EQ(c.Q_Musicas.RecordCount(), 4 - seconds) << name;  // the rows written before are no longer "00:00"
    WriteCurrent(c, seconds, "00:0" + std::to_string(seconds));

    TSession other(name);
    EXPECT_EQ(Show(other.Scalar("select MUS_TEMPO from TB_MUSICAS where MUS_CODIGO = ?", {4 - seconds})),
              "00:0" + std::to_string(seconds))
        << name;
    // Over TCP, to the server this test's fixture started.
    const dztest::TRows me = other.Query(
        "select MON$REMOTE_PROTOCOL, MON$SERVER_PID from MON$ATTACHMENTS where MON$ATTACHMENT_ID = CURRENT_CONNECTION");
    ASSERT_EQ(me.size(), 1u);
    EXPECT_EQ(Show(me[0][0]), "TCPv4") << name;
    EXPECT_EQ(Show(me[0][1]), ServerPid()) << name;
  }
}

TEST_F(CatalogueServer, WrongLoginIsRefused) {
  const std::string refused =
      "Your user name and password are not defined. Ask your database administrator to set up a Firebird login";
  struct TCase {
    const char* what;
    const char* user;
    const char* password;
  } cases[] = {{"wrong password", "SYSDBA", "bluecrane2"}, {"unknown user", "NOBODY", "bluecrane"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorText([&] { TFbAttachment::Attach(dztest::OnServer(Path()), FbBlocks::AttachBlock(c.user, c.password)); }),
              refused)
        << c.what;
  }
  // The user name is not case-sensitive.
  EXPECT_TRUE(TFbAttachment::Attach(dztest::OnServer(Path()), FbBlocks::AttachBlock("sysdba", "bluecrane")).Attached());
}

TEST_F(CatalogueServer, NoServerToAnswer) {
  struct TCase {
    const char* what;
    std::string name;
    std::string text;
  };
  const TCase closedPort[] = {
      {"nothing on the port", "localhost/3051:" + Path(),
       "Unable to complete network request to host \"localhost\".\nFailed to establish a connection"},
  };
  const TCase stopped[] = {
      {"server stopped, localhost", dztest::OnServer(Path()),
       "Unable to complete network request to host \"localhost\".\nFailed to establish a connection"},
      {"server stopped, inet", dztest::OnServerInet(Path()),
       "Unable to complete network request to host \"127.0.0.1\".\nFailed to establish a connection"},
  };
  for (const auto& c : closedPort) {
    TCatalogo catalogo;
    catalogo.DB_Velmar.SetDatabaseName(c.name);
    EXPECT_EQ(ErrorText([&] { catalogo.Q_Musicas.Open(); }), c.text) << c.what;
  }
  {
    TRestartServer restart;
    ASSERT_EQ(FbServer("stop"), 0);
    EXPECT_EQ(FbServer("status"), 3);
    for (const auto& c : stopped) {
      TCatalogo catalogo;
      catalogo.DB_Velmar.SetDatabaseName(c.name);
      EXPECT_EQ(ErrorText([&] { catalogo.DB_Velmar.Connect(); }), c.text) << c.what;
      EXPECT_FALSE(catalogo.DB_Velmar.Connected()) << c.what;
    }
  }
  EXPECT_EQ(FbServer("status"), 0);
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(dztest::OnServer(Path()));
  catalogo.DB_Velmar.Connect();
  EXPECT_TRUE(catalogo.DB_Velmar.Connected());
}

// The server killed mid-run: the write fails with the client's text, and
// everything on the lost connection is dropped at once (releasing it neither
// hangs nor fails). Once the server is back, the same catalogue attaches
// again, selects again and writes the rest.
TEST_F(CatalogueServer, ServerKilledMidRun) {
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(dztest::OnServer(Path()));
  {
    TRestartServer restart;
    OpenAndFetch(c);
    WriteCurrent(c, 1, "00:01");
    c.Q_Musicas.Next();

    ASSERT_EQ(FbServer("kill"), 0);
    EXPECT_EQ(ErrorText([&] { WriteCurrent(c, 2, "00:02"); }), "Error reading data from the connection");
    EXPECT_FALSE(c.DB_Velmar.Connected());
    EXPECT_FALSE(c.Trans_Velmar.Active());
    EXPECT_FALSE(c.Q_Musicas.IsOpen());
    EXPECT_FALSE(c.Up_Musicas.Prepared());
    EXPECT_EQ(c.Q_Musicas.RecordCount(), 0);
    // While the server is down, the next run cannot attach.
    EXPECT_THAT(ErrorText([&] { c.Q_Musicas.Open(); }), ::testing::StartsWith("Unable to complete network request"));
  }  // the server starts again
  {
    TSession check(dztest::OnServer(Path()));
    EXPECT_EQ(Show(check.Scalar("select MUS_TEMPO from TB_MUSICAS where MUS_CODIGO = 3")), "00:01");
    EXPECT_EQ(Show(check.Scalar("select MUS_TEMPO from TB_MUSICAS where MUS_CODIGO = 2")), "00:00");
  }
  OpenAndFetch(c);
  ASSERT_EQ(c.Q_Musicas.RecordCount(), 2);
  WriteCurrent(c, 2, "00:02");
  c.Q_Musicas.Next();
  WriteCurrent(c, 3, "00:03");
  EXPECT_EQ(Tempos(), "1 00:01|2 00:02|3 00:03");
}

// The connection lost while the catalogue sits idle between runs (the server
// restarted, or the attachment ended by an administrator): the next open
// finds out, attaches again and selects again, without an error.
TEST_F(CatalogueServer, ConnectionLostBetweenRuns) {
  struct TCase {
    const char* what;
    std::function<void()> lose;
  };
  const TCase cases[] = {
      {"server restarted", [] { ASSERT_EQ(FbServer("restart"), 0); }},
      {"attachment ended by an administrator", [&] { EXPECT_EQ(dztest::EndOtherAttachments(dztest::OnServer(Path())), 1); }},
  };
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(dztest::OnServer(Path()));
  std::int32_t seconds = 0;
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.what);
    OpenAndFetch(c);
    ++seconds;
    WriteCurrent(c, seconds, "00:0" + std::to_string(seconds));
    tc.lose();
    c.Q_Musicas.Close();
    EXPECT_EQ(ErrorText([&] { OpenAndFetch(c); }), "(no error)");
    EXPECT_EQ(c.Q_Musicas.RecordCount(), 3 - seconds);
  }
  WriteCurrent(c, 3, "00:03");
  EXPECT_EQ(Tempos(), "1 00:01|2 00:02|3 00:03");
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A stop asked for while the attach waits on a paused server (no limit: only
// the stop can end the wait): the connect gives up a moment after the stop,
// and the attach is left waiting. Once the server goes on, the attach left
// behind gets its attachment and detaches it, and the same connection
// attaches as before.
TEST_F(CatalogueServer, StopWhileTheAttachWaits) {
  const double grace = std::chrono::duration<double>(TFbWatchdog::StopGrace).count();
  TDatabase database("DB", dztest::OnServer(Path()));
  database.SetCallLimit(0);
  database.SetStopRequested([] { return true; });
  ASSERT_EQ(TFbWatchdog::AttachesLeftBehind(), 0);
  {
    TRestartServer restart;
    dztest::TServerPaused pause;
    ASSERT_TRUE(pause.Paused());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorText([&] { database.Connect(); }), "operation was cancelled");
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, grace);
    EXPECT_LT(seconds, grace + 5);
    EXPECT_FALSE(database.Connected());
    EXPECT_EQ(TFbWatchdog::AttachesLeftBehind(), 1);
  }  // the server goes on
  const auto start = std::chrono::steady_clock::now();
  while (TFbWatchdog::AttachesLeftBehind() > 0 && SecondsSince(start) < 30) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(TFbWatchdog::AttachesLeftBehind(), 0);
  {
    TSession admin(dztest::OnServer(Path()));
    EXPECT_EQ(Show(admin.Scalar("select count(*) from MON$ATTACHMENTS where MON$ATTACHMENT_ID <> CURRENT_CONNECTION "
                                "and MON$SYSTEM_FLAG = 0")),
              "0");
  }
  database.Connect();
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(database.DatabaseDialect(), 1);
}

}  // namespace
