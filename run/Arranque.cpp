#include "run/Arranque.h"

#include "catalogue/Catalogue.h"
#include "catalogue/ConfigBanco.h"
#include "run/RegrasCaminhos.h"
#include "run/SinaisParada.h"

TArranque PreparaArranque(TCatalogo& catalogo, const TPedidoArranque& pedido) {
  TArranque arranque;
  arranque.mapeamento = pedido.regras;
  TDatabase& banco = catalogo.DB_Velmar;
  if (pedido.banco) {
    banco.SetDatabaseName(*pedido.banco);
  } else if (AplicaConfiguracao(banco, pedido.arquivoConfiguracao)) {
    arranque.arquivoLido = true;
    arranque.erro = ReadConfiguredPathMapping(pedido.arquivoConfiguracao, arranque.mapeamento);
    if (arranque.erro.empty()) arranque.erro = ReadConfiguredCallLimit(pedido.arquivoConfiguracao, banco);
  }
  if (pedido.tempoLimite > 0) banco.SetCallLimit(pedido.tempoLimite);
  if (TSinaisParada* sinais = pedido.sinais) banco.SetStopRequested([sinais] { return sinais->Recebido() != 0; });
  return arranque;
}
