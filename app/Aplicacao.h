#pragma once

#include <QApplication>
#include <QString>

#include <exception>

class TCaixasMensagem;

// "Diruzevev Odezari - Velmar Zivorezo": the window's caption and the caption of every message box.
QString TituloAplicacao();

// An error's text as the error box shows it (ComPontoFinal, TextoErro.h).
QString TextoComPontoFinal(const QString& texto);

// The application. Its default error handler shows every error that leaves an
// event handler in the error box, and the program goes on.
class TAplicacao : public QApplication {
  Q_OBJECT
public:
  // Initialises the application and sets its title.
  TAplicacao(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // The default error handler, for the error being handled (call inside a catch).
  static void MostraExcecao(std::exception_ptr erro) noexcept;

  // Where message boxes go: the real boxes unless another sink is set (nullptr restores them).
  static TCaixasMensagem& Caixas();
  static void DefineCaixas(TCaixasMensagem* caixas);
};
