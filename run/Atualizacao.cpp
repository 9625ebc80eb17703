#include "run/Atualizacao.h"

#include "catalogue/Catalogue.h"
#include "catalogue/FbClient.h"
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
    TQuery& query = Consulta(tabela);
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
    TQuery& query = Consulta(tabela);
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
      VisitaLinha(tabela, query);
      query.Next();
    }
  }

  // Any row walked, whatever its file gave, counts as work done.
  frente_.Mensagem(frente_.Progresso(TBarra::Geral) != 0 ? MensagemSucesso : MensagemNadaAFazer);
}

void TAtualizacao::AvancaBarras() {
  frente_.DefineProgresso(TBarra::Atual, frente_.Progresso(TBarra::Atual) + 1);
  frente_.DefineProgresso(TBarra::Geral, frente_.Progresso(TBarra::Geral) + 1);
}

TQuery& TAtualizacao::Consulta(const TTabelaCatalogo& tabela) const {
  return reverificacao_ == TReverificacao::Nenhuma ? tabela.consulta(catalogo_) : tabela.consultaTodas(catalogo_);
}

void TAtualizacao::VisitaLinha(const TTabelaCatalogo& tabela, TQuery& query) {
  const std::string caminho = tabela.Caminho(query, query.CurrentRow());
  TMedida medicao = medicao_ != nullptr
                        ? medicao_->Mede(query.CurrentRow(), caminho)
                        : MedeCaminho(busca_, mapeamento_, caminho, TConferencia::Nenhuma, idadeMinima_);
  Marca(TMomento::ArquivoMedido);
  TLinhaAtualizada linha{tabela.tabela,
                         query.FieldAsInteger(tabela.colunaCodigo),
                         caminho,
                         SegundosParaTempo(medicao.segundos),
                         query.FieldCharacterSet(tabela.colunaArquivo),
                         std::move(medicao)};
  linha.segundosAntes = query.FieldAsInteger(tabela.colunaSegundos);
  linha.tempoAntes = query.FieldAsString(tabela.colunaTempo);
  linha.comDuracao = reverificacao_ != TReverificacao::Nenhuma && !SemDuracao(linha.tempoAntes);
  const TMedida& medida = linha.medida;
  const bool medido = medida.motivo != TMotivoDuracao::ModificadoHaPouco;
  // A file that measured 0 tells nothing of the row's length.
  const bool difere =
      medido && medida.segundos > 0 && DuracaoDifere(linha.segundosAntes, linha.tempoAntes, medida.segundos);
  ++contagem_.visitadas;
  if (medido) {
    contagem_.percorridos += medida.conferencia.percorrido;
    contagem_.avisos += medida.conferencia.motivo != TMotivoAviso::Nenhum;
    if (medida.segundos == 0 && medida.motivo != TMotivoDuracao::Medida) ++contagem_.semMedida;
  }

  // A row still at "00:00" is written whatever its file gave, as always; a
  // row with a length only when it differs, by a file that measured more than 0.
  bool escreve = false;
  if (!medido) {
    linha.desfecho = TDesfecho::Ignorada;
    ++contagem_.recentes;
  } else if (!linha.comDuracao) {
    escreve = true;
  } else if (medida.segundos == 0) {
    linha.desfecho = TDesfecho::Ignorada;
  } else if (!difere) {
    linha.desfecho = TDesfecho::Inalterada;
  } else {
    escreve = reverificacao_ == TReverificacao::Corrige;
    if (!escreve) linha.desfecho = TDesfecho::Difere;
  }
  if (escreve) {
    if (modo_ == TModoAtualizacao::Simulacao) {
      linha.desfecho = TDesfecho::Difere;
    } else {
      linha.desfecho = Grava(tabela, query, linha);
      if (linha.desfecho == TDesfecho::Gravada) ++contagem_.gravadas;
    }
    if (linha.desfecho != TDesfecho::Falhou) {
      ++contagem_.linhas;
      contagem_.comPercorrida += medida.comPercorrida;
    }
  }
  // Only a length the row held differs: a row at "00:00" lacks one.
  if (difere && linha.comDuracao) {
    ++contagem_.diferentes;
    if (linha.desfecho != TDesfecho::Gravada) ++contagem_.naoGravadas;
  }
  frente_.LinhaAtualizada(linha);
}

TDesfecho TAtualizacao::Grava(const TTabelaCatalogo& tabela, TQuery& query, const TLinhaAtualizada& linha) {
  bool escrita = false;  // the row's UPDATE went through; its commit is next
  const auto passo = [this, &escrita](TPassoGravacao p) {
    escrita = escrita || p == TPassoGravacao::Gravada;
    Marca(p == TPassoGravacao::Editada   ? TMomento::LinhaEditada
          : p == TPassoGravacao::Gravada ? TMomento::LinhaGravada
                                         : TMomento::LinhaConfirmada);
  };
  try {
    tabela.GravaDuracao(catalogo_, query, linha.medida.segundos, linha.tempo, passo);
  } catch (const EUpdateFailed&) {
    // The window's run: a row changed by another program ends the run with
    // its error, as every database error does. The check goes on: the other
    // program's edit stays, and the row is reported (its write was undone,
    // nothing of it is pending or locked).
    if (reverificacao_ == TReverificacao::Nenhuma) throw;
    return TDesfecho::Falhou;
  } catch (...) {
    // A commit that fails may have reached the server, which then carries it
    // out: the row is told as such before the error ends the run.
    if (escrita) {
      TLinhaAtualizada cortada = linha;
      cortada.desfecho = TDesfecho::NaoConfirmada;
      frente_.LinhaAtualizada(cortada);
    }
    throw;
  }
  return TDesfecho::Gravada;
}

bool SemDuracao(const std::string& tempo) {
  // As the select compares it: trailing blanks do not count.
  const std::size_t fim = tempo.find_last_not_of(' ');
  return tempo.substr(0, fim == std::string::npos ? 0 : fim + 1) == "00:00";
}

bool DuracaoDifere(std::int32_t segundosAntes, const std::string& tempoAntes, std::int32_t segundos) {
  const std::int64_t diferenca = std::int64_t{segundosAntes} - segundos;
  return diferenca > 1 || diferenca < -1 || tempoAntes != SegundosParaTempo(segundosAntes);
}
