#include "tests/app/AppTestSupport.h"

#include "app/Aplicacao.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

namespace dztest {

namespace {

// The application lives from the first test to the end of the program.
class TAmbienteQt : public ::testing::Environment {
public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    aplicacao_ = new TAplicacao(argc, argv);
  }
  void TearDown() override {
    delete aplicacao_;
    aplicacao_ = nullptr;
  }

private:
  TAplicacao* aplicacao_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const ambiente = ::testing::AddGlobalTestEnvironment(new TAmbienteQt);

bool AnyWindowVisible() {
  for (const QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible()) return true;
  }
  return false;
}

}  // namespace

TCaixasGravadas::TCaixasGravadas() { TAplicacao::DefineCaixas(this); }

TCaixasGravadas::~TCaixasGravadas() { TAplicacao::DefineCaixas(nullptr); }

void TCaixasGravadas::Mensagem(const QString& texto) { Grava(TCaixa::TTipo::Mensagem, texto); }

void TCaixasGravadas::Erro(const QString& texto) { Grava(TCaixa::TTipo::Erro, texto); }

void TCaixasGravadas::Grava(TCaixa::TTipo tipo, const QString& texto) {
  caixas.push_back({tipo, texto, AnyWindowVisible()});
  if (aoMostrar) aoMostrar(caixas.back());
}

QStringList TCaixasGravadas::Textos() const {
  QStringList textos;
  for (const auto& c : caixas) textos << c.texto;
  return textos;
}

TContadorEventos::TContadorEventos(QObject* alvo, QEvent::Type tipo) : QObject(alvo), tipo_(tipo) {
  alvo->installEventFilter(this);
}

bool TContadorEventos::eventFilter(QObject*, QEvent* evento) {
  if (evento->type() == tipo_) ++contagem;
  return false;
}

QImage Grab(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

bool IsBlack(QColor c) { return c.red() < 40 && c.green() < 40 && c.blue() < 40; }
bool IsWhite(QColor c) { return c.red() > 215 && c.green() > 215 && c.blue() > 215; }

}  // namespace dztest
