#pragma once

// Shared by the window tests: one TAplicacao for the whole test program (made
// by a global test environment), message boxes recorded instead of shown, and
// a few helpers for grabbed images and events.

#include "app/CaixasMensagem.h"

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QWidget;

namespace dztest {

// One shown box.
struct TCaixa {
  enum class TTipo { Mensagem, Erro } tipo;
  QString texto;
  bool janelaVisivel;  // whether any top-level window was visible when it was shown
};

// Records the boxes instead of showing them; installed for its lifetime.
class TCaixasGravadas : public TCaixasMensagem {
public:
  TCaixasGravadas();
  ~TCaixasGravadas() override;

  void Mensagem(const QString& texto) override;
  void Erro(const QString& texto) override;

  std::vector<TCaixa> caixas;
  QStringList Textos() const;
  // Runs on each box as it is shown (inside the handler that showed it).
  std::function<void(const TCaixa&)> aoMostrar;

private:
  void Grava(TCaixa::TTipo tipo, const QString& texto);
};

// Counts the events of one type that reach an object.
class TContadorEventos : public QObject {
public:
  TContadorEventos(QObject* alvo, QEvent::Type tipo);
  int contagem = 0;

protected:
  bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
  QEvent::Type tipo_;
};

// The widget as drawn, in its own pixels.
QImage Grab(QWidget* widget);

bool IsBlack(QColor c);
bool IsWhite(QColor c);

}  // namespace dztest
