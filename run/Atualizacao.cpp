#include "run/Atualizacao.h"

#include "catalogue/Catalogue.h"
#include "audio/U_Funcoes.h"

#include <utility>

namespace {

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

  void Inicia(const TQuery& query, const TTabelaCatalogo& tabela) {
    Encerra();
    if (medicao_ == nullptr) return;
    medicao_->Inicia([&query, &tabela](int linha) { return tabela.Caminho(query, linha); }, query.RecordCount(),
                     pastas_);
    emFase_ = true;
  }

  // The run was stopped: the phase ends without waiting for the files being
  // measured ahead (MedicaoAntecipada.h).
  void Abandona() noexcept {
    if (emFase_) medicao_->Abandona();
    emFase_ = false;
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

}  // namespace

TAtualizacao::TAtualizacao(TCatalogo& catalogo, TFrenteAtualizacao& frente, TModoAtualizacao modo,
                           TPathMapping mapeamento)
    : catalogo_(catalogo), frente_(frente), modo_(modo), mapeamento_(std::move(mapeamento)) {}

void TAtualizacao::Executa() {
  busca_ = TWindowsLookup();
  contagem_ = {};
  // Each run selects the rows afresh, reads them all and goes to the first:
  // it looks at the catalogue as it is now. Rows that got a length since the
  // last run are left alone, rows that came to lack one are taken, and a row
  // the last run could not write is measured again if it still lacks one.
  std::int32_t total = 0;
  for (const TTabelaCatalogo& tabela : TabelasCatalogo) {
    TQuery& query = tabela.consulta(catalogo_);
    query.Close();
    query.Open();
    Marca(TMomento::ConsultaAberta);
    query.FetchAll();
    query.First();
    total += query.RecordCount();
  }
  Marca(TMomento::ConsultasLidas);
  frente_.DefineMaximo(TBarra::Geral, total);
  frente_.DefineProgresso(TBarra::Geral, 0);
  // One phase a table. Both bars advance before the row is worked on: a bar
  // shows 100% as its last row begins.
  TFasesMedicao fases(medicao_, busca_.Folders());
  for (const TTabelaCatalogo& tabela : TabelasCatalogo) {
    TQuery& query = tabela.consulta(catalogo_);
    frente_.DefineProgresso(TBarra::Atual, 0);
    frente_.DefineMaximo(TBarra::Atual, query.RecordCount());
    frente_.DefineRotulo(tabela.tabela == TTabela::Musicas ? RotuloMusicas : RotuloVinhetas);
    fases.Inicia(query, tabela);
    while (!query.Eof()) {
      Marca(TMomento::LinhaInicia);
      if (frente_.Interromper()) {
        fases.Abandona();
        return;
      }
      AvancaBarras();
      GravaDuracao(tabela, query);
      query.Next();
    }
  }

  // Any row walked, whatever its file gave, counts as work done.
  frente_.Mensagem(frente_.Progresso(TBarra::Geral) != 0 ? MensagemSucesso : MensagemNadaAFazer);
}

void TAtualizacao::Conta(const TMedida& medida) {
  ++contagem_.linhas;
  contagem_.percorridos += medida.conferencia.percorrido;
  contagem_.avisos += medida.conferencia.motivo != TMotivoAviso::Nenhum;
  contagem_.comPercorrida += medida.comPercorrida;
}

void TAtualizacao::AvancaBarras() {
  frente_.DefineProgresso(TBarra::Atual, frente_.Progresso(TBarra::Atual) + 1);
  frente_.DefineProgresso(TBarra::Geral, frente_.Progresso(TBarra::Geral) + 1);
}

void TAtualizacao::GravaDuracao(const TTabelaCatalogo& tabela, TQuery& query) {
  const std::string caminho = tabela.Caminho(query, query.CurrentRow());
  TMedida medida = medicao_ != nullptr ? medicao_->Mede(query.CurrentRow(), caminho)
                                       : MedeCaminho(busca_, mapeamento_, caminho);
  const std::string tempo = SegundosParaTempo(medida.segundos);
  Marca(TMomento::ArquivoMedido);
  if (modo_ == TModoAtualizacao::Gravacao) {
    tabela.GravaDuracao(catalogo_, medida.segundos, tempo, [this](TPassoGravacao passo) {
      Marca(passo == TPassoGravacao::Editada   ? TMomento::LinhaEditada
            : passo == TPassoGravacao::Gravada ? TMomento::LinhaGravada
                                               : TMomento::LinhaConfirmada);
    });
  }
  Conta(medida);
  frente_.LinhaAtualizada({tabela.tabela, query.FieldAsInteger(tabela.colunaCodigo), caminho, tempo,
                           query.FieldCharacterSet(tabela.colunaArquivo), std::move(medida)});
}
