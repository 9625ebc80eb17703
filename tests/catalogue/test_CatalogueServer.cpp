// The catalogue through a Firebird server on 127.0.0.1:3050, which the CTest
// fixture "fbserver" starts (scripts/fbserver start) before and stops after.
// Some cases stop or kill the server themselves and start it again.

#include "catalogue/Catalogue.h"

#include "tests/support/CatalogueDb.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace {

using dztest::Show;
using dztest::TSession;
using dztest::ErrorText;
using dztest::TTestDatabase;

int Server(const std::string& command) {
  return dztest::RunCommand(dztest::ShellQuote(dztest::SourceDir() + "/scripts/fbserver") + " " + command + " >/dev/null");
}

std::string ServerPid() {
  std::ifstream file("/run/firebird3.0/dz-fbserver.pid");
  std::string pid;
  file >> pid;
  return pid;
}

// Starts the server again when a case that stopped it ends, however it ends.
struct TRestartServer {
  ~TRestartServer() { Server("start"); }
};

// A server-owned database with music rows 1..3 still without a length.
class CatalogueServer : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(Server("start"), 0);  // already running: does nothing
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

private:
  TTestDatabase db_{{}, true};
};

TEST_F(CatalogueServer, AttachThroughTheServerAndWrite) {
  const std::string names[] = {"localhost:" + Path(), "inet://127.0.0.1/" + Path()};
  int seconds = 0;
  for (const auto& name : names) {
    ++seconds;
    TCatalogo c;
    c.DB_Velmar.SetDatabaseName(name);
    c.Q_Musicas.Open();
    c.Q_Musicas.FetchAll();
    c.Q_Musicas.First();
    ASSERT_EQ(c.Q_Musicas.RecordCount(), 4 - seconds) << name;  // the rows written before are no longer "00:00"
    c.Q_Musicas.Edit();
    c.Q_Musicas.SetInteger("MUS_SEGUNDOS", seconds);
    c.Q_Musicas.SetString("MUS_TEMPO", "00:0" + std::to_string(seconds));
    c.Q_Musicas.ApplyUpdates();
    c.Trans_Velmar.CommitRetaining();

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
    EXPECT_EQ(ErrorText([&] { TFbAttachment::Attach("localhost:" + Path(), FbBlocks::AttachBlock(c.user, c.password)); }),
              refused)
        << c.what;
  }
  // The user name is not case-sensitive.
  EXPECT_TRUE(TFbAttachment::Attach("localhost:" + Path(), FbBlocks::AttachBlock("sysdba", "bluecrane")).Attached());
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
      {"server stopped, localhost", "localhost:" + Path(),
       "Unable to complete network request to host \"localhost\".\nFailed to establish a connection"},
      {"server stopped, inet", "inet://127.0.0.1/" + Path(),
       "Unable to complete network request to host \"127.0.0.1\".\nFailed to establish a connection"},
  };
  for (const auto& c : closedPort) {
    TCatalogo catalogo;
    catalogo.DB_Velmar.SetDatabaseName(c.name);
    EXPECT_EQ(ErrorText([&] { catalogo.Q_Musicas.Open(); }), c.text) << c.what;
  }
  {
    TRestartServer restart;
    ASSERT_EQ(Server("stop"), 0);
    EXPECT_EQ(Server("status"), 3);
    for (const auto& c : stopped) {
      TCatalogo catalogo;
      catalogo.DB_Velmar.SetDatabaseName(c.name);
      EXPECT_EQ(ErrorText([&] { catalogo.DB_Velmar.Connect(); }), c.text) << c.what;
      EXPECT_FALSE(catalogo.DB_Velmar.Connected()) << c.what;
    }
  }
  EXPECT_EQ(Server("status"), 0);
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName("localhost:" + Path());
  catalogo.DB_Velmar.Connect();
  EXPECT_TRUE(catalogo.DB_Velmar.Connected());
}

TEST_F(CatalogueServer, ServerKilledMidRun) {
  {
    TRestartServer restart;
    TCatalogo c;
    c.DB_Velmar.SetDatabaseName("localhost:" + Path());
    c.Q_Musicas.Open();
    c.Q_Musicas.FetchAll();
    c.Q_Musicas.First();
    c.Q_Musicas.Edit();
    c.Q_Musicas.SetInteger("MUS_SEGUNDOS", 1);
    c.Q_Musicas.SetString("MUS_TEMPO", "00:01");
    c.Q_Musicas.ApplyUpdates();
    c.Trans_Velmar.CommitRetaining();
    c.Q_Musicas.Next();

    ASSERT_EQ(Server("kill"), 0);
    c.Q_Musicas.Edit();
    c.Q_Musicas.SetInteger("MUS_SEGUNDOS", 2);
    c.Q_Musicas.SetString("MUS_TEMPO", "00:02");
    EXPECT_EQ(ErrorText([&] { c.Q_Musicas.ApplyUpdates(); }), "Error reading data from the connection");
    EXPECT_TRUE(c.Q_Musicas.RowChanged(1));
  }  // the catalogue goes without throwing; the server starts again
  TSession check("localhost:" + Path());
  EXPECT_EQ(Show(check.Scalar("select MUS_TEMPO from TB_MUSICAS where MUS_CODIGO = 3")), "00:01");
  EXPECT_EQ(Show(check.Scalar("select MUS_TEMPO from TB_MUSICAS where MUS_CODIGO = 2")), "00:00");
}

}  // namespace
