#include "catalogue/FbClient.h"

#include "tests/support/CatalogueDb.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using dztest::Show;
using dztest::TSession;
using dztest::ErrorText;
using dztest::TTestDatabase;

std::vector<std::uint8_t> Bytes(const std::string& block) { return {block.begin(), block.end()}; }

TEST(FbClient, ParameterBlocksAreExactBytes) {
  const std::vector<std::uint8_t> attach = {1, 28, 6, 'S', 'Y', 'S', 'D', 'B', 'A', 29, 9,
                                            'b', 'l', 'u', 'e', 'c', 'r', 'a', 'n', 'e'};
  EXPECT_EQ(Bytes(FbBlocks::AttachBlock()), attach);
  EXPECT_EQ(Bytes(FbBlocks::TransactionBlock()), (std::vector<std::uint8_t>{3, 15, 17, 7}));
  EXPECT_EQ(Bytes(FbBlocks::AttachBlock("u", "")), (std::vector<std::uint8_t>{1, 28, 1, 'u', 29, 0}));
  // The connect timeout: isc_dpb_connect_timeout, 4 bytes, least significant first.
  EXPECT_EQ(Bytes(FbBlocks::AttachBlock("u", "", 60)),
            (std::vector<std::uint8_t>{1, 28, 1, 'u', 29, 0, 57, 4, 60, 0, 0, 0}));
  EXPECT_EQ(Bytes(FbBlocks::AttachBlock("u", "", 86400)),
            (std::vector<std::uint8_t>{1, 28, 1, 'u', 29, 0, 57, 4, 0x80, 0x51, 1, 0}));
  EXPECT_EQ(Bytes(FbBlocks::AttachBlock("u", "", 0)), (std::vector<std::uint8_t>{1, 28, 1, 'u', 29, 0}));
}

// Status vectors as the client hands them over, turned into text.
TEST(FbClient, StatusTextOneMessageALineWithoutFinalFullStop) {
  struct TCase {
    const char* what;
    std::vector<ISC_STATUS> status;
    const char* text;
  };
  const char* host = "localhost";
  const TCase cases[] = {
      {"three messages, the last with a number",
       {isc_arg_gds, isc_deadlock, isc_arg_gds, isc_update_conflict, isc_arg_gds, isc_concurrent_transaction,
        isc_arg_number, 21, isc_arg_end},
       "deadlock\nupdate conflicts with concurrent update\nconcurrent transaction number is 21"},
      {"one message: its final full stop goes, the inner one stays",
       {isc_arg_gds, isc_login, isc_arg_end},
       "Your user name and password are not defined. Ask your database administrator to set up a Firebird "
       "login"},
      {"only the last line loses its full stop",
       {isc_arg_gds, isc_network_error, isc_arg_string, reinterpret_cast<ISC_STATUS>(host), isc_arg_gds,
        isc_net_connect_err, isc_arg_end},
       "Unable to complete network request to host \"localhost\".\nFailed to establish a connection"},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusText(c.status.data()), c.text) << c.what;
}

TEST(FbClient, NamedParametersBecomeMarkers) {
  struct TCase {
    const char* what;
    const char* sql;
    const char* translated;
    std::vector<std::string> names;
  };
  const TCase cases[] = {
      {"names in order, as written", "set A = :A,\n  b = :old_B1$ where c=:C", "set A = ?,\n  b = ? where c=?",
       {"A", "old_B1$", "C"}},
      {"a colon in a quoted text stays", "x = ':A' || :B", "x = ':A' || ?", {"B"}},
      {"a colon in a double-quoted text stays (a text in dialect 1)", "x = \":A\" || :B", "x = \":A\" || ?", {"B"}},
      {"comments stay", "-- :A\n/* :B */ :C", "-- :A\n/* :B */ ?", {"C"}},
      {"a colon not before a name stays", "a :1 : b", "a :1 : b", {}},
      {"an unclosed quote runs to the end", "x = ':A", "x = ':A", {}},
  };
  for (const auto& c : cases) {
    const TNamedParameters parsed = ParseNamedParameters(c.sql);
    EXPECT_EQ(parsed.Sql, c.translated) << c.what;
    EXPECT_EQ(parsed.Names, c.names) << c.what;
  }
}

TEST(FbClient, AttachAsksDialectAndRunsStatements) {
  TTestDatabase db;
  TFbAttachment attachment = TFbAttachment::Attach(db.Path());
  ASSERT_TRUE(attachment.Attached());
  EXPECT_EQ(attachment.DatabaseDialect(), 1);
  TFbTransaction transaction = TFbTransaction::Start(attachment);
  ASSERT_TRUE(transaction.Active());

  TFbStatement insert = TFbStatement::Prepare(attachment, transaction,
                                              "insert into TB_VINHETAS (VIN_CODIGO, VIN_NOME, VIN_TIPO) values (?, ?, ?)");
  EXPECT_EQ(insert.ParameterCount(), 3);
  EXPECT_EQ(insert.ColumnCount(), 0);
  for (int key = 1; key <= 3; ++key) {
    insert.Execute(transaction, {key, std::string("Nome ") + std::to_string(key), std::monostate{}});
    EXPECT_EQ(insert.RowsChanged(), 1);
  }

  TFbStatement update = TFbStatement::Prepare(attachment, transaction, "update TB_VINHETAS set VIN_SEGUNDOS = ? where VIN_CODIGO >= ?");
  struct TCase {
    std::int32_t from;
    std::int64_t changed;
  } cases[] = {{2, 2}, {1, 3}, {9, 0}};
  for (const auto& c : cases) {
    update.Execute(transaction, {7, c.from});
    EXPECT_EQ(update.RowsChanged(), c.changed) << "keys from " << c.from;
  }
  TFbStatement remove = TFbStatement::Prepare(attachment, transaction, "delete from TB_VINHETAS where VIN_CODIGO = ?");
  remove.Execute(transaction, {3});
  EXPECT_EQ(remove.RowsChanged(), 1);

  TFbStatement select = TFbStatement::Prepare(
      attachment, transaction, "select VIN_CODIGO, VIN_NOME, VIN_TIPO, VIN_SEGUNDOS from TB_VINHETAS order by 1");
  ASSERT_EQ(select.ColumnCount(), 4);
  EXPECT_EQ(select.Column(0).Name, "VIN_CODIGO");
  EXPECT_EQ(select.Column(0).SqlType, SQL_LONG);
  EXPECT_EQ(select.Column(1).SqlType, SQL_VARYING);
  EXPECT_EQ(select.Column(1).Length, 45);
  EXPECT_EQ(select.Column(2).SqlType, SQL_TEXT);
  EXPECT_EQ(select.Column(2).Length, 1);
  select.Execute(transaction);
  std::vector<std::string> seen;
  while (select.Fetch()) {
    seen.push_back(Show(select.Value(0)) + "|" + Show(select.Value(1)) + "|" + Show(select.Value(2)) + "|" +
                   Show(select.Value(3)));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1|Nome 1|<null>|7", "2|Nome 2|<null>|7"}));
  select.Free();
  transaction.Commit();
  EXPECT_FALSE(transaction.Active());
  attachment.Detach();
  EXPECT_FALSE(attachment.Attached());

  // What the layer wrote, as isql-fb sees it.
  const std::string sql = db.Dir().File("check.sql");
  const std::string out = db.Dir().File("check.out");
  dztest::WriteFile(sql, "select VIN_CODIGO || '/' || VIN_NOME || '/' || VIN_SEGUNDOS from TB_VINHETAS order by 1;\n");
  ASSERT_EQ(dztest::RunCommand("isql-fb -q -b -user SYSDBA -i " + dztest::ShellQuote(sql) + " " +
                               dztest::ShellQuote(db.Path()) + " > " + dztest::ShellQuote(out) + " 2>&1"),
            0);
  const std::string text = dztest::ReadFileText(out);
  EXPECT_NE(text.find("1/Nome 1/7"), std::string::npos) << text;
  EXPECT_NE(text.find("2/Nome 2/7"), std::string::npos) << text;
  EXPECT_EQ(text.find("3/Nome 3"), std::string::npos) << text;
}

TEST(FbClient, StatementsArePreparedInDialect1) {
  TTestDatabase db3({}, false, 3);
  TSession session(db3.Path());
  EXPECT_EQ(session.Attachment.DatabaseDialect(), 3);
  // In dialect 1 a double-quoted text is a string, not a name.
  EXPECT_EQ(Show(session.Scalar("select \"dq\" from RDB$DATABASE")), "dq");
}

TEST(FbClient, ReceivesColumnsAsTheKindAsked) {
  TTestDatabase db("insert into TB_VINHETAS (VIN_CODIGO, VIN_NOME, VIN_TEMPO) values (5, '42', '00:00');");
  TSession session(db.Path());
  TFbStatement select =
      TFbStatement::Prepare(session.Attachment, session.Transaction, "select VIN_NOME, VIN_CODIGO, VIN_TEMPO from TB_VINHETAS");
  select.ReceiveAsInteger(0);
  select.ReceiveAsText(1, 3);
  select.Execute(session.Transaction);
  ASSERT_TRUE(select.Fetch());
  EXPECT_EQ(select.Value(0), TSqlValue(std::int32_t{42}));
  EXPECT_EQ(select.Value(1), TSqlValue(std::string("5")));
  EXPECT_EQ(select.Value(2), TSqlValue(std::string("00:00")));
  EXPECT_FALSE(select.Fetch());
}

TEST(FbClient, NullParameterForANotNullColumn) {
  TTestDatabase db("insert into TB_VINHETAS (VIN_CODIGO) values (1);");
  TSession session(db.Path());
  // The key parameter is described as not nullable; null still goes, and matches nothing.
  EXPECT_EQ(session.Exec("update TB_VINHETAS set VIN_NOME = ? where VIN_CODIGO = ?", {std::string("x"), std::monostate{}}), 0);
  EXPECT_EQ(session.Exec("update TB_VINHETAS set VIN_NOME = ? where VIN_CODIGO = ?", {std::monostate{}, 1}), 1);
  EXPECT_EQ(session.Query("select VIN_NOME from TB_VINHETAS")[0][0], TSqlValue{});
}

TEST(FbClient, ErrorsCarryTheClientsText) {
  TTestDatabase db;
  TSession session(db.Path());
  struct TCase {
    const char* what;
    std::string sql;
    std::vector<TSqlValue> parameters;
    std::string text;
  };
  const TCase cases[] = {
      {"missing table", "select * from TB_NADA", {},
       "Dynamic SQL Error\nSQL error code = -204\nTable unknown\nTB_NADA\nAt line 1, column 15"},
      {"text too long for its column", "insert into TB_VINHETAS (VIN_CODIGO, VIN_TEMPO) values (1, ?)", {std::string("123456")},
       "Dynamic SQL Error\nSQL error code = -303\narithmetic exception, numeric overflow, or string truncation\nstring right truncation\nexpected length 5, actual 6"},
      {"wrong number of parameters", "update TB_VINHETAS set VIN_NOME = ?", {},
       "Parameter count mismatch: 1 expected, 0 given"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorText([&] { session.Exec(c.sql, c.parameters); }), c.text) << c.what;
  }
  // A failed statement leaves the transaction usable.
  EXPECT_EQ(session.Exec("insert into TB_VINHETAS (VIN_CODIGO) values (?)", {1}), 1);
  session.Transaction.CommitRetaining();
}

TEST(FbClient, AttachErrors) {
  TTestDatabase db;
  const std::string missing = db.Dir().File("nope.fdb");
  EXPECT_EQ(ErrorText([&] { TFbAttachment::Attach(missing); }),
            "I/O error during \"open\" operation for file \"" + missing +
                "\"\nError while trying to open file\nNo such file or directory");
  try {
    TFbAttachment::Attach(missing);
    FAIL() << "attached to a missing file";
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.ErrorCode(), isc_io_error);
  }
}

// The holder with a release call that notes what it releases. Each case ends
// its steps with EndOfSteps, which notes a 0, before its holders go.
std::vector<FB_API_HANDLE> releasedHandles;
void NoteRelease(FB_API_HANDLE& handle) noexcept { releasedHandles.push_back(handle); }
void EndOfSteps() { releasedHandles.push_back(0); }
using TNotingHandle = TFbHandle<NoteRelease>;

TNotingHandle Holding(FB_API_HANDLE handle) {
  TNotingHandle holder;
  *holder.Address() = handle;
  return holder;
}

TEST(FbClient, HandleHolderReleasesEachHandleOnce) {
  struct TCase {
    const char* what;
    std::function<void()> steps;
    std::vector<FB_API_HANDLE> released;
  };
  const TCase cases[] = {
      {"an empty holder releases nothing",
       [] {
         TNotingHandle empty;
         EXPECT_FALSE(empty.Held());
         EndOfSteps();
       },
       {0}},
      {"the destructor releases",
       [] {
         TNotingHandle holder = Holding(7);
         EXPECT_TRUE(holder.Held());
         EndOfSteps();
       },
       {0, 7}},
      {"a move hands the handle over",
       [] {
         TNotingHandle from = Holding(7);
         TNotingHandle to(std::move(from));
         EXPECT_FALSE(from.Held());
         EXPECT_TRUE(to.Held());
         EndOfSteps();
       },
       {0, 7}},
      {"a move onto a holder releases what it held at once",
       [] {
         TNotingHandle from = Holding(7);
         TNotingHandle to = Holding(8);
         to = std::move(from);
         EXPECT_FALSE(from.Held());
         EndOfSteps();
       },
       {8, 0, 7}},
      {"a move onto itself keeps the handle",
       [] {
         TNotingHandle holder = Holding(7);
         TNotingHandle& same = holder;
         holder = std::move(same);
         EXPECT_TRUE(holder.Held());
         EndOfSteps();
       },
       {0, 7}},
      {"Reset releases at once",
       [] {
         TNotingHandle holder = Holding(7);
         holder.Reset();
         EXPECT_FALSE(holder.Held());
         EndOfSteps();
       },
       {7, 0}},
      {"a forgotten handle is not released",
       [] {
         TNotingHandle holder = Holding(7);
         holder.Forget();
         EXPECT_FALSE(holder.Held());
         EndOfSteps();
       },
       {0}},
  };
  for (const auto& c : cases) {
    releasedHandles.clear();
    c.steps();
    EXPECT_EQ(releasedHandles, c.released) << c.what;
  }
}

TEST(FbClient, HandlesReleaseWhatTheyHold) {
  TTestDatabase db;
  TSession watcher(db.Path());  // sees the other attachment through the monitoring tables
  auto look = [&](const std::string& sql, const TSqlValue& id) {
    watcher.Commit();  // the monitoring tables are a snapshot per transaction
    return Show(watcher.Scalar(sql, {id}));
  };
  const std::string statements = "select count(*) from MON$STATEMENTS where MON$ATTACHMENT_ID = ?";
  const std::string attachments = "select count(*) from MON$ATTACHMENTS where MON$ATTACHMENT_ID = ?";
  TSqlValue id;
  {
    TFbAttachment attachment = TFbAttachment::Attach(db.Path());
    TFbTransaction transaction = TFbTransaction::Start(attachment);
    {
      TFbStatement current = TFbStatement::Prepare(attachment, transaction, "select cast(CURRENT_CONNECTION as integer) from RDB$DATABASE");
      current.Execute(transaction);
      ASSERT_TRUE(current.Fetch());
      id = current.Value(0);
      ASSERT_TRUE(std::holds_alternative<std::int32_t>(id));
    }
    EXPECT_EQ(look(statements, id), "0");
    TFbStatement insert = TFbStatement::Prepare(attachment, transaction, "insert into TB_PASTAS values (1, 'x')");
    insert.Execute(transaction);
    {
      TFbStatement other = TFbStatement::Prepare(attachment, transaction, "select * from TB_PASTAS");
      EXPECT_EQ(look(statements, id), "2");
    }
    EXPECT_EQ(look(statements, id), "1");
    // Detaching with a transaction still active is refused and changes nothing.
    EXPECT_EQ(ErrorText([&] { attachment.Detach(); }), "cannot disconnect database with open transactions (1 active)");
    EXPECT_TRUE(attachment.Attached());
    // Moved-from handles are empty and release nothing.
    TFbTransaction moved = std::move(transaction);
    EXPECT_FALSE(transaction.Active());
    EXPECT_TRUE(moved.Active());
    TFbStatement movedStatement = std::move(insert);
    EXPECT_FALSE(insert.Prepared());
    EXPECT_TRUE(movedStatement.Prepared());
    EXPECT_EQ(look(statements, id), "1");
    EXPECT_EQ(look(attachments, id), "1");
  }  // statement dropped, transaction rolled back, attachment detached
  EXPECT_EQ(look(attachments, id), "0");
  EXPECT_EQ(Show(watcher.Scalar("select count(*) from TB_PASTAS")), "0");
}

}  // namespace
