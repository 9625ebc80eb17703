#include "app/Aplicacao.h"

#include "app/CaixasMensagem.h"
#include "run/TextoErro.h"

namespace {

TCaixasMensagem* caixasDefinidas = nullptr;

}  // namespace

QString TituloAplicacao() { return QStringLiteral("Diruzevev Odezari - Velmar Zivorezo"); }

QString TextoComPontoFinal(const QString& texto) {
  return QString::fromStdString(ComPontoFinal(texto.toStdString()));
}

TAplicacao::TAplicacao(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("DerozaviZirizid"));
  // Window titles equal to the display name are shown unchanged, without a suffix.
  setApplicationDisplayName(TituloAplicacao());
}

bool TAplicacao::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    MostraExcecao(std::current_exception());
    return false;
  }
}

void TAplicacao::MostraExcecao(std::exception_ptr erro) noexcept {
  QString texto;
  try {
    std::rethrow_exception(erro);
  } catch (const std::exception& e) {
    texto = QString::fromLocal8Bit(e.what());
  } catch (...) {
    texto = QStringLiteral("Unknown error");
  }
  try {
    Caixas().Erro(TextoComPontoFinal(texto));
  } catch (...) {
    // The error box itself failed; there is nowhere left to report it.
  }
}

TCaixasMensagem& TAplicacao::Caixas() {
  static TCaixasMensagemQt caixasReais;
  return caixasDefinidas != nullptr ? *caixasDefinidas : caixasReais;
}

void TAplicacao::DefineCaixas(TCaixasMensagem* caixas) { caixasDefinidas = caixas; }
