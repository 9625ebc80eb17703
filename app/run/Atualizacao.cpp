#include "app/run/Atualizacao.h"

#include "catalogue/Catalogue.h"
#include "audio/U_Funcoes.h"

#include <charconv>
#include <utility>

namespace {

// Selects the query's rows afresh, reads them all and goes to the first.
// Each run looks at the catalogue as it is now: rows that got a length since
// the last run are left alone, rows that came to lack one are taken, and a
// row the last run could not write is measured again if it still lacks one.
void AbreTudo(TQuery& query) {
  query.Close();
  query.Open();
  query.FetchAll();
  query.First();
}

// The path of a music row: the folder's path runs straight into the file
// name, with no separator put between them and nothing trimmed.
std::string CaminhoMusica(const TQuery& query, int linha) {
  return query.FieldAsString(linha, "PAS_PATH") + query.FieldAsString(linha, "MUS_ARQUIVO");
}

std::string CaminhoVinheta(const TQuery& query, int linha) { return query.FieldAsString(linha, "VIN_ARQUIVO"); }

// Tells a measurer the rows of each phase, and that a phase is over: when
// the next begins, or however the run ends.
class TFasesMedicao {
public:
  // pastas: the run's folder cache, shared by the measurer's lookups.
  TFasesMedicao(TMedicao* medicao, std::shared_ptr<TFolderCache> pastas)
      : medicao_(medicao), pastas_(std::move(pastas)) {}
  ~TFasesMedicao() { Encerra(); }
  TFasesMedicao(const TFasesMedicao&) = delete;
  TFasesMedicao& operator=(const TFasesMedicao&) = delete;

  void Inicia(const TQuery& query, std::string (*caminho)(const TQuery&, int)) {
    Encerra();
    if (medicao_ == nullptr) return;
    medicao_->Inicia([&query, caminho](int linha) { return caminho(query, linha); }, query.RecordCount(), pastas_);
    emFase_ = true;
  }

private:
  void Encerra() noexcept {
    if (emFase_) medicao_->Encerra();
    emFase_ = false;
  }

  TMedicao* medicao_;
  std::shared_ptr<TFolderCache> pastas_;
  bool emFase_ = false;
};

std::int32_t ComoInteiro(const std::string& texto) {
  std::int32_t valor = 0;
  std::from_chars(texto.data(), texto.data() + texto.size(), valor);
  return valor;
}

}  // namespace

TAtualizacao::TAtualizacao(TCatalogo& catalogo, TFrenteAtualizacao& frente, TModoAtualizacao modo,
                           TPathMapping mapeamento)
    : catalogo_(catalogo), frente_(frente), modo_(modo), mapeamento_(std::move(mapeamento)) {}

void TAtualizacao::Executa() {
  TQuery& musicas = catalogo_.Q_Musicas;
  TQuery& vinhetas = catalogo_.Q_Vinhetas;
  busca_ = TWindowsLookup();
  AbreTudo(musicas);
  AbreTudo(vinhetas);
  const std::int32_t totalMusicas = musicas.RecordCount();
  const std::int32_t totalVinhetas = vinhetas.RecordCount();

  frente_.DefineMaximo(TBarra::Geral, totalMusicas + totalVinhetas);
  frente_.DefineProgresso(TBarra::Geral, 0);
  frente_.DefineProgresso(TBarra::Atual, 0);
  frente_.DefineMaximo(TBarra::Atual, totalMusicas);
  frente_.DefineRotulo(RotuloMusicas);
  // Both bars advance before the row is worked on: a bar shows 100% as its last row begins.
  TFasesMedicao fases(medicao_, busca_.Folders());
  fases.Inicia(musicas, CaminhoMusica);
  while (!musicas.Eof()) {
    if (frente_.Interromper()) return;
    AvancaBarras();
    AtualizaMusica();
    musicas.Next();
  }

  frente_.DefineProgresso(TBarra::Atual, 0);
  frente_.DefineMaximo(TBarra::Atual, vinhetas.RecordCount());
  frente_.DefineRotulo(RotuloVinhetas);
  fases.Inicia(vinhetas, CaminhoVinheta);
  while (!vinhetas.Eof()) {
    if (frente_.Interromper()) return;
    AvancaBarras();
    AtualizaVinheta();
    vinhetas.Next();
  }

  // Any row walked, whatever its file gave, counts as work done.
  frente_.Mensagem(frente_.Progresso(TBarra::Geral) != 0 ? MensagemSucesso : MensagemNadaAFazer);
}

void TAtualizacao::AvancaBarras() {
  frente_.DefineProgresso(TBarra::Atual, frente_.Progresso(TBarra::Atual) + 1);
  frente_.DefineProgresso(TBarra::Geral, frente_.Progresso(TBarra::Geral) + 1);
}

void TAtualizacao::AtualizaMusica() {
  TQuery& query = catalogo_.Q_Musicas;
  const std::string caminho = CaminhoMusica(query, query.CurrentRow());
  GravaDuracao(query, TTabela::Musicas, caminho, query.FieldCharacterSet("MUS_ARQUIVO"), "MUS_CODIGO", "MUS_SEGUNDOS",
               "MUS_TEMPO");
}

void TAtualizacao::AtualizaVinheta() {
  TQuery& query = catalogo_.Q_Vinhetas;
  const std::string caminho = CaminhoVinheta(query, query.CurrentRow());
  GravaDuracao(query, TTabela::Vinhetas, caminho, query.FieldCharacterSet("VIN_ARQUIVO"), "VIN_CODIGO",
               "VIN_SEGUNDOS", "VIN_TEMPO");
}

void TAtualizacao::GravaDuracao(TQuery& query, TTabela tabela, const std::string& caminho, int conjuntoCaracteres,
                                const char* colunaCodigo, const char* colunaSegundos, const char* colunaTempo) {
  const TMedida medida = medicao_ != nullptr ? medicao_->Mede(query.CurrentRow(), caminho)
                                             : MedeCaminho(busca_, mapeamento_, caminho);
  const std::int32_t segundos = medida.segundos;
  const std::string tempo = SegundosParaTempo(segundos);
  if (modo_ == TModoAtualizacao::Gravacao) {
    query.Edit();
    query.SetInteger(colunaSegundos, segundos);
    query.SetString(colunaTempo, tempo);
    query.ApplyUpdates();
    catalogo_.Trans_Velmar.CommitRetaining();
  }
  frente_.LinhaAtualizada({tabela, ComoInteiro(query.FieldAsString(colunaCodigo)), caminho, segundos, tempo,
                           medida.motivo, medida.arquivo.Path != caminho ? medida.arquivo.Path : std::string(),
                           conjuntoCaracteres});
}
