#include "catalogue/Tabelas.h"

#include "catalogue/Catalogue.h"

// Made before any dynamic initialisation (constinit): the catalogue's
// statements, built at start-up, read it.
constinit const std::array<TTabelaCatalogo, 2> TabelasCatalogo = {{
    {.tabela = TTabela::Musicas,
     .nome = "Tb_Musicas",
     .consulta = [](TCatalogo& c) -> TQuery& { return c.Q_Musicas; },
     .consultaTodas = [](TCatalogo& c) -> TQuery& { return c.Q_MusicasTodas; },
     .colunaCodigo = "MUS_CODIGO",
     .colunaSegundos = "MUS_SEGUNDOS",
     .colunaTempo = "MUS_TEMPO",
     .colunaArquivo = "MUS_ARQUIVO",
     .colunaPasta = "PAS_PATH",
     .tabelaPastas = "Tb_Pastas",
     .colunaCodigoPasta = "PAS_CODIGO"},
    {.tabela = TTabela::Vinhetas,
     .nome = "Tb_Vinhetas",
     .consulta = [](TCatalogo& c) -> TQuery& { return c.Q_Vinhetas; },
     .consultaTodas = [](TCatalogo& c) -> TQuery& { return c.Q_VinhetasTodas; },
     .colunaCodigo = "VIN_CODIGO",
     .colunaSegundos = "VIN_SEGUNDOS",
     .colunaTempo = "VIN_TEMPO",
     .colunaArquivo = "VIN_ARQUIVO",
     .colunaPasta = nullptr},
}};

const TTabelaCatalogo& TabelaCatalogo(TTabela tabela) {
  return TabelasCatalogo[tabela == TTabela::Musicas ? 0 : 1];
}

std::string TTabelaCatalogo::Caminho(const TQuery& query, int linha) const {
  if (colunaPasta == nullptr) return query.FieldAsString(linha, colunaArquivo);
  return query.FieldAsString(linha, colunaPasta) + query.FieldAsString(linha, colunaArquivo);
}

namespace {

void Edita(const TTabelaCatalogo& tabela, TQuery& query, std::int32_t segundos, const std::string& tempo) {
  query.Edit();
  query.SetInteger(tabela.colunaSegundos, segundos);
  query.SetString(tabela.colunaTempo, tempo);
}

}  // namespace

void TTabelaCatalogo::EditaDuracao(TCatalogo& catalogo, std::int32_t segundos, const std::string& tempo) const {
  Edita(*this, consulta(catalogo), segundos, tempo);
}

void TTabelaCatalogo::GravaDuracao(TCatalogo& catalogo, std::int32_t segundos, const std::string& tempo,
                                   const std::function<void(TPassoGravacao)>& passo) const {
  GravaDuracao(catalogo, consulta(catalogo), segundos, tempo, passo);
}

void TTabelaCatalogo::GravaDuracao(TCatalogo& catalogo, TQuery& query, std::int32_t segundos,
                                   const std::string& tempo, const std::function<void(TPassoGravacao)>& passo) const {
  Edita(*this, query, segundos, tempo);
  if (passo) passo(TPassoGravacao::Editada);
  query.ApplyUpdates();
  if (passo) passo(TPassoGravacao::Gravada);
  catalogo.Trans_Velmar.CommitRetaining();
  if (passo) passo(TPassoGravacao::Confirmada);
}

