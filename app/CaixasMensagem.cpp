#include "app/CaixasMensagem.h"

#include "app/Aplicacao.h"

#include <QMessageBox>

namespace {

void MostraCaixa(QMessageBox::Icon icone, const QString& texto) {
  // Without a parent the box is application-modal and centred on the screen.
  QMessageBox caixa(icone, TituloAplicacao(), texto, QMessageBox::Ok);
  caixa.setTextFormat(Qt::PlainText);  // error texts may hold "<" and "&"
  caixa.exec();
}

}  // namespace

void TCaixasMensagemQt::Mensagem(const QString& texto) { MostraCaixa(QMessageBox::NoIcon, texto); }

void TCaixasMensagemQt::Erro(const QString& texto) { MostraCaixa(QMessageBox::Critical, texto); }
