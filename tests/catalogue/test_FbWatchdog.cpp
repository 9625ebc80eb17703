// The watchdog of a connection on the embedded engine: a call that outlasts
// the limit, or that still runs a moment after a stop was asked for, is
// ended and fails as a lost connection; quick calls are never touched, and
// the connection is made again afterwards; an attach run on its own thread
// is the caller's as before. (The server tests pause a real
// server; here a select that runs for long stands for a call that waits.)

#include "catalogue/DataSet.h"
#include "tests/support/CatalogueDb.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

namespace {

using dztest::TTestDatabase;

// A select that counts for minutes on the engine: four system tables crossed.
const char* const LongSelect =
    "select count(*) from rdb$fields a, rdb$fields b, rdb$fields c, rdb$fields d";

struct TEnded {
  std::string text;
  bool connectionLost = false;
  double seconds = 0;
};

// Runs the long select through the connection; how it ended.
TEnded RunLongSelect(TDatabase& database) {
  TEnded ended;
  const auto start = std::chrono::steady_clock::now();
  try {
    TFbTransaction transaction = database.Call([&] { return TFbTransaction::Start(database.Attachment()); });
    TFbStatement select = database.Call([&] { return TFbStatement::Prepare(database.Attachment(), transaction, LongSelect); });
    database.Call([&] { select.Execute(transaction); });
    database.Call([&] { return select.Fetch(); });
    ended.text = "(no error)";
  } catch (const EDatabaseError& error) {
    ended.text = error.what();
    ended.connectionLost = error.ConnectionLost();
  }
  ended.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return ended;
}

TEST(FbWatchdog, ACallPastTheLimitIsEnded) {
  TTestDatabase db;
  TDatabase database("DB", db.Path());
  database.SetCallLimit(1);
  database.Connect();
  const TEnded ended = RunLongSelect(database);
  EXPECT_EQ(ended.text, NoAnswerText(1));
  EXPECT_EQ(ended.text, "O servidor não respondeu em 1 s");
  EXPECT_TRUE(ended.connectionLost);
  EXPECT_LT(ended.seconds, 30);  // a bound against a hang: the select alone runs for minutes
  EXPECT_FALSE(database.Connected());
  // The next connection works as before.
  database.Connect();
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(database.DatabaseDialect(), 1);
}

TEST(FbWatchdog, ACallStillRunningAfterAStopIsEnded) {
  TTestDatabase db;
  TDatabase database("DB", db.Path());
  database.SetCallLimit(0);  // no limit: only the stop ends it
  std::atomic<bool> stop = false;
  database.SetStopRequested([&] { return stop.load(); });
  database.Connect();
  stop = true;
  const TEnded ended = RunLongSelect(database);
  EXPECT_NE(ended.text, "(no error)");
  EXPECT_NE(ended.text, NoAnswerText(0));
  EXPECT_TRUE(ended.connectionLost) << ended.text;
  EXPECT_GE(ended.seconds, std::chrono::duration<double>(TFbWatchdog::StopGrace).count());
  EXPECT_LT(ended.seconds, 30);
  EXPECT_FALSE(database.Connected());
}

// Calls quicker than the grace go on while a stop is asked for (the run ends
// between rows), and calls within the limit are never ended.
TEST(FbWatchdog, QuickCallsAreLeftAlone) {
  TTestDatabase db;
  TDatabase database("DB", db.Path());
  database.SetCallLimit(1);
  database.SetStopRequested([] { return true; });
  database.Connect();
  for (int i = 0; i < 2000; ++i) {
    TFbTransaction transaction = database.Call([&] { return TFbTransaction::Start(database.Attachment()); });
    database.Call([&] { transaction.Commit(); });
  }
  EXPECT_TRUE(database.Connected());
}

// The attach on its own thread: its attachment, or the client's own error,
// is the caller's, also while a stop is asked for (an attach quicker than
// the grace is never left behind). The server tests leave one behind.
TEST(FbWatchdog, AnAttachThatAnswersIsTheCallers) {
  TTestDatabase db;
  const std::string missing = db.Path() + ".missing";
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stop asked for" : "no stop");
    TFbWatchdog watchdog;
    watchdog.SetStopRequested([stop] { return stop; });
    TFbAttachment attachment = watchdog.Attach(db.Path(), FbBlocks::AttachBlock());
    EXPECT_TRUE(attachment.Attached());
    EXPECT_EQ(attachment.DatabaseDialect(), 1);
    EXPECT_EQ(dztest::ErrorText([&] { watchdog.Attach(missing, FbBlocks::AttachBlock()); }),
              dztest::ErrorText([&] { TFbAttachment::Attach(missing); }));
    EXPECT_THAT(dztest::ErrorText([&] { watchdog.Attach(missing, FbBlocks::AttachBlock()); }),
                ::testing::StartsWith("I/O error during \"open\" operation"));
  }
  EXPECT_EQ(TFbWatchdog::AttachesLeftBehind(), 0);
}

}  // namespace
