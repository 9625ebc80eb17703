#include "app/Programa.h"

#include "app/Aplicacao.h"
#include "app/UPrincipal.h"
#include "run/SinaisParada.h"

#include <QSocketNotifier>

#include <memory>

int ExecutaPrograma(int argc, char** argv, const std::function<void(TFrmPrincipal&)>& aoMostrar) {
  // First, before the toolkit and the database client start any thread.
  TSinaisParada sinais;
  TAplicacao aplicacao(argc, argv);
  // Made before the window, so that a signal also closes the message box of
  // a failed start-up connection, which is shown while the window is created.
  std::unique_ptr<QSocketNotifier> avisoSinal;
  if (sinais.Descritor() >= 0) {
    avisoSinal = std::make_unique<QSocketNotifier>(sinais.Descritor(), QSocketNotifier::Read);
    QObject::connect(avisoSinal.get(), &QSocketNotifier::activated, [&sinais] {
      // Every window, a message box waiting for a user who has gone included.
      if (sinais.Recebido() != 0) QApplication::closeAllWindows();
    });
  }
  try {
    // The signals are wired before the start-up connects: a call of the
    // start-up that waits on a server that does not answer is ended by a
    // stop, and its attach left waiting.
    TFrmPrincipal FrmPrincipal(ExecutableFolder(), &sinais);
    // Asked to end during the start-up: the window is not shown at all.
    if (sinais.Recebido() != 0) return 0;
    FrmPrincipal.show();
    if (aoMostrar) aoMostrar(FrmPrincipal);
    return aplicacao.exec();
  } catch (...) {
    // The window could not be created (or released): say why and end.
    TAplicacao::MostraExcecao(std::current_exception());
    return 1;
  }
}
