// The window program with the entry of DerozaviZirizid, for tests that run it
// as a process and have no hand on its buttons: with "--atualizar" it presses
// "Atualizar" once the window is first painted (before that, the bars could
// not be seen during the run, as on a real screen). On standard output it tells what
// those tests wait for: "GaugeGeral N" each time the overall bar is painted
// (N its progress), "caixa TEXT" each time a message box is shown.

#include "app/Gauge.h"
#include "app/Programa.h"
#include "app/UPrincipal.h"
#include "run/FimProcesso.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

class TRelato : public QObject {
public:
  TRelato(TFrmPrincipal& janela, bool atualizar) : QObject(&janela), janela_(janela), atualizar_(atualizar) {}

protected:
  bool eventFilter(QObject* objeto, QEvent* evento) override {
    if (evento->type() == QEvent::Paint && objeto == janela_.GaugeGeral) {
      std::printf("GaugeGeral %d\n", janela_.GaugeGeral->Progress());
      if (atualizar_) {
        atualizar_ = false;
        QTimer::singleShot(0, &janela_, [this] { janela_.BAlterarClick(); });
      }
    } else if (evento->type() == QEvent::Show) {
      if (const auto* caixa = qobject_cast<const QMessageBox*>(objeto))
        std::printf("caixa %s\n", caixa->text().toUtf8().constData());
    }
    std::fflush(stdout);
    return false;
  }

private:
  TFrmPrincipal& janela_;
  bool atualizar_;
};

}  // namespace

int main(int argc, char** argv) {
  bool atualizar = false;
  std::vector<char*> argumentos;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--atualizar") == 0) atualizar = true;
    else argumentos.push_back(argv[i]);
  }
  int quantos = static_cast<int>(argumentos.size());
  argumentos.push_back(nullptr);
  return FimDoProcesso(ExecutaPrograma(quantos, argumentos.data(), [atualizar](TFrmPrincipal& janela) {
    qApp->installEventFilter(new TRelato(janela, atualizar));
  }));
}
