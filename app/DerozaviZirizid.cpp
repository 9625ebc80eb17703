// Program entry: the application, its title, the main window (whose creation
// runs the start-up), then the event loop until the window is closed.

#include "app/Aplicacao.h"
#include "app/UPrincipal.h"

int main(int argc, char** argv) {
  TAplicacao aplicacao(argc, argv);
  try {
    TFrmPrincipal FrmPrincipal;
    FrmPrincipal.show();
    return aplicacao.exec();
  } catch (...) {
    // The window could not be created (or released): say why and end.
    TAplicacao::MostraExcecao(std::current_exception());
    return 1;
  }
}
