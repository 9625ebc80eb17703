#include "app/Aplicacao.h"

#include "tests/app/AppTestSupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using dztest::TCaixa;
using dztest::TCaixasGravadas;

TEST(Aplicacao, Title) {
  EXPECT_EQ(TituloAplicacao(), "Diruzevev Odezari - Velmar Zivorezo");
  EXPECT_EQ(QApplication::applicationDisplayName(), "Diruzevev Odezari - Velmar Zivorezo");
}

TEST(Aplicacao, FullStopRule) {
  struct TCase {
    const char* what;
    QString text;
    QString shown;
  };
  const TCase cases[] = {
      {"a letter at the end gets a full stop", "Database name is missing", "Database name is missing."},
      {"a full stop at the end stays alone", "Update Failed.", "Update Failed."},
      {"a digit sorts after '.'", "expected length 5, actual 6", "expected length 5, actual 6."},
      {"'/' sorts after '.'", "path a/", "path a/."},
      {"')' sorts before '.'", "lock (x)", "lock (x)"},
      {"'-' sorts before '.'", "a -", "a -"},
      {"a blank sorts before '.'", "trailing ", "trailing "},
      {"a quote sorts before '.'", "file \"x\"", "file \"x\""},
      {"a letter beyond ASCII sorts after '.'", QString::fromUtf8("Não"), QString::fromUtf8("Não.")},
      {"the empty text stays empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(TextoComPontoFinal(c.text), c.shown);
  }
}

// An object whose event handler fails with a given error.
class TFalha : public QObject {
public:
  std::function<void()> lanca;
  int eventos = 0;

protected:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    ++eventos;
    lanca();
    return true;
  }
};

struct TErroSemTexto {};

TEST(Aplicacao, ErrorsLeavingAHandlerGoToTheErrorBox) {
  struct TCase {
    const char* what;
    std::function<void()> lanca;
    QString shown;
  };
  const TCase cases[] = {
      {"a standard error, full stop added", [] { throw std::runtime_error("Update Failed"); }, "Update Failed."},
      {"a text ending in a full stop", [] { throw std::runtime_error("I/O error."); }, "I/O error."},
      {"several lines", [] { throw std::runtime_error("Dynamic SQL Error\nTable unknown\nTB_X"); },
       "Dynamic SQL Error\nTable unknown\nTB_X."},
      {"something that is no standard error", [] { throw TErroSemTexto{}; }, "Unknown error."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TCaixasGravadas caixas;
    TFalha alvo;
    alvo.lanca = c.lanca;
    QEvent evento(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&alvo, &evento));
    ASSERT_EQ(caixas.caixas.size(), 1u);
    EXPECT_EQ(caixas.caixas[0].tipo, TCaixa::TTipo::Erro);
    EXPECT_EQ(caixas.caixas[0].texto, c.shown);
    // The program goes on: the next event arrives as usual.
    alvo.lanca = [] {};
    QEvent seguinte(QEvent::User);
    EXPECT_TRUE(QCoreApplication::sendEvent(&alvo, &seguinte));
    EXPECT_EQ(alvo.eventos, 2);
    EXPECT_EQ(caixas.caixas.size(), 1u);
  }
}

TEST(Aplicacao, ErrorFromAPostedEventInTheEventLoop) {
  TCaixasGravadas caixas;
  TFalha alvo;
  alvo.lanca = [] { throw std::runtime_error("Database name is missing"); };
  QCoreApplication::postEvent(&alvo, new QEvent(QEvent::User));
  QCoreApplication::processEvents();
  EXPECT_EQ(caixas.Textos(), QStringList{"Database name is missing."});
}

}  // namespace
