#include "run/SinaisParada.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

// Each test raises signals at this very process: they must be taken, not
// end it. SIGTERM and SIGINT are those the database client would take over.
TEST(SinaisParada, FirstStopSignalIsTakenAndKept) {
  TSinaisParada sinais;
  ASSERT_GE(sinais.Descritor(), 0);
  EXPECT_EQ(sinais.Recebido(), 0);
  ASSERT_EQ(std::raise(SIGTERM), 0);
  EXPECT_EQ(sinais.Recebido(), SIGTERM);
  // A later one does not replace it.
  ASSERT_EQ(std::raise(SIGINT), 0);
  EXPECT_EQ(sinais.Recebido(), SIGTERM);
}

TEST(SinaisParada, EachStopSignal) {
  for (const int sinal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sinal);
    TSinaisParada sinais;
    ASSERT_EQ(std::raise(sinal), 0);
    EXPECT_EQ(sinais.Recebido(), sinal);
  }
}

// nohup starts a program with SIGHUP ignored: it stays ignored, and the next
// stop signal counts.
TEST(SinaisParada, SignalIgnoredAtStartStaysIgnored) {
  struct sigaction ignorar {};
  ignorar.sa_handler = SIG_IGN;
  struct sigaction antes {};
  ASSERT_EQ(::sigaction(SIGHUP, &ignorar, &antes), 0);
  {
    TSinaisParada sinais;
    ASSERT_EQ(std::raise(SIGHUP), 0);
    EXPECT_EQ(sinais.Recebido(), 0);
    ASSERT_EQ(std::raise(SIGINT), 0);
    EXPECT_EQ(sinais.Recebido(), SIGINT);
  }
  ::sigaction(SIGHUP, &antes, nullptr);
}

}  // namespace
