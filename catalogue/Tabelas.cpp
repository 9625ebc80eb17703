#include "catalogue/Tabelas.h"

#include "catalogue/Catalogue.h"

const std::array<TTabelaCatalogo, 2> TabelasCatalogo = {{
    {TTabela::Musicas, "Tb_Musicas", [](TCatalogo& c) -> TQuery& { return c.Q_Musicas; }, "MUS_CODIGO", "MUS_SEGUNDOS",
     "MUS_TEMPO", "MUS_ARQUIVO", "PAS_PATH"},
    {TTabela::Vinhetas, "Tb_Vinhetas", [](TCatalogo& c) -> TQuery& { return c.Q_Vinhetas; }, "VIN_CODIGO",
     "VIN_SEGUNDOS", "VIN_TEMPO", "VIN_ARQUIVO", nullptr},
}};

const TTabelaCatalogo& TabelaCatalogo(TTabela tabela) {
  return TabelasCatalogo[tabela == TTabela::Musicas ? 0 : 1];
}

std::string TTabelaCatalogo::Caminho(const TQuery& query, int linha) const {
  if (colunaPasta == nullptr) return query.FieldAsString(linha, colunaArquivo);
  return query.FieldAsString(linha, colunaPasta) + query.FieldAsString(linha, colunaArquivo);
}

void TTabelaCatalogo::EditaDuracao(TCatalogo& catalogo, std::int32_t segundos, const std::string& tempo) const {
  TQuery& query = consulta(catalogo);
  query.Edit();
  query.SetInteger(colunaSegundos, segundos);
  query.SetString(colunaTempo, tempo);
}

void TTabelaCatalogo::GravaDuracao(TCatalogo& catalogo, std::int32_t segundos, const std::string& tempo,
                                   const std::function<void(TPassoGravacao)>& passo) const {
  EditaDuracao(catalogo, segundos, tempo);
  if (passo) passo(TPassoGravacao::Editada);
  consulta(catalogo).ApplyUpdates();
  if (passo) passo(TPassoGravacao::Gravada);
  catalogo.Trans_Velmar.CommitRetaining();
  if (passo) passo(TPassoGravacao::Confirmada);
}
