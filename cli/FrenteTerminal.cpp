#include "cli/FrenteTerminal.h"

#include "run/SinaisParada.h"
#include "cli/LinhasConferencia.h"
#include "cli/LinhasReverificacao.h"
#include "cli/RelatorioCsv.h"
#include "cli/TextoVisivel.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr int LarguraBarra = 30;
// Redraw at most this often while a phase runs; every row still counts.
constexpr auto IntervaloDesenho = std::chrono::milliseconds(100);

// Characters, not bytes, of a UTF-8 text: what it takes on the screen.
std::size_t Largura(const std::string& texto) {
  std::size_t largura = 0;
  for (const char c : texto)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++largura;
  return largura;
}

// The text filled with blanks to a width on the screen.
std::string Ajustado(const std::string& texto, std::size_t largura) {
  const std::size_t atual = Largura(texto);
  return atual >= largura ? texto : texto + std::string(largura - atual, ' ');
}

constexpr std::size_t LarguraNome = 20;

}  // namespace


TFrenteTerminal::TFrenteTerminal(std::FILE* saida, bool terminal, bool detalhado, TSinaisParada* sinais,
                                 TConferencia conferir, bool simulacao)
    : saida_(saida),
      terminal_(terminal),
      detalhado_(detalhado),
      conferir_(conferir),
      simulacao_(simulacao),
      sinais_(sinais) {}

// The run changes the phase bar first and then the overall bar (a row's
// step) or the label (a new phase): only those redraw, so that every picture
// shows both bars of one moment.
void TFrenteTerminal::DefineMaximo(TBarra barra, std::int32_t maximo) {
  Contador(barra).SetMaximum(maximo);
  if (barra == TBarra::Geral) Desenha(true);
}

void TFrenteTerminal::DefineProgresso(TBarra barra, std::int32_t progresso) {
  // The phase bar going back to 0 ends the phase it counted.
  if (barra == TBarra::Atual && progresso == 0) FechaFase();
  // The counts are shown too, so every step may redraw, not only a new percentage.
  Contador(barra).SetProgress(progresso);
  if (barra == TBarra::Geral) Desenha(false);
}

void TFrenteTerminal::DefineRotulo(const std::string& texto) {
  FechaFase();
  rotulo_ = texto;
  Desenha(true);
}

void TFrenteTerminal::Mensagem(const std::string& texto) {
  FechaFase();
  Encerra();
  Escreve(texto + "\n");
}

void TFrenteTerminal::LinhaAtualizada(const TLinhaAtualizada& linha) {
  const TMedida& medida = linha.medida;
  if (relatorio_ != nullptr && erroRelatorio_.empty()) erroRelatorio_ = relatorio_->Escreve(linha);
  // A file left unmeasured, and a row whose commit was cut off, have only
  // their own line to show.
  if (detalhado_ && medida.motivo != TMotivoDuracao::ModificadoHaPouco && linha.desfecho != TDesfecho::NaoConfirmada) {
    const char* motivo =
        medida.segundos == 0 || medida.motivo != TMotivoDuracao::Medida ? TextoMotivo(medida.motivo) : "";
    // The row is done (committed, when it was written): its line goes out
    // now, so that the log of an unattended run names every committed row
    // even when the run is killed.
    // The paths are the catalogue's (in its column's character set) and the
    // disk's, whatever bytes they hold: shown as UTF-8, escaped. The file
    // actually opened follows the catalogue's path when they differ.
    const std::string aberto = linha.Aberto();
    const std::string caminho = TextoVisivel(linha.caminho, linha.conjuntoCaracteres) +
                                (aberto.empty() ? "" : " → " + TextoUtf8Visivel(aberto));
    Escreve(ApagaBarras() + TabelaCatalogo(linha.tabela).nome + "\t" + std::to_string(linha.codigo) + "\t" + caminho + "\t" +
            std::to_string(medida.segundos) + "\t" + TextoUtf8Visivel(linha.tempo) + (*motivo ? "\t" : "") + motivo + "\n");
    Desenha(true);
  }
  if (const std::string desfecho = LinhaDesfecho(linha); !desfecho.empty()) {
    Escreve(ApagaBarras() + desfecho + "\n");
    Desenha(true);
  }
  if (conferir_ == TConferencia::Nenhuma) return;
  // The walk was made with the measurement, by the run's measurer, which
  // also says whether the row got the walked length; the run counts both.
  if (medida.conferencia.motivo == TMotivoAviso::Nenhum) return;
  const char* nota = nullptr;
  if (medida.comPercorrida && linha.desfecho == TDesfecho::Gravada) nota = TextoGravadaPercorrida;
  if (medida.comPercorrida && simulacao_ && linha.desfecho == TDesfecho::Difere) nota = TextoSeriaGravadaPercorrida;
  Escreve(ApagaBarras() + LinhaAviso(linha, nota) + "\n");
  Desenha(true);
}

bool TFrenteTerminal::Interromper() {
  if (!erroSaida_.empty() || !erroRelatorio_.empty()) return true;
  if (sinais_ != nullptr && sinalInterrupcao_ == 0) sinalInterrupcao_ = sinais_->Recebido();
  return sinalInterrupcao_ != 0;
}

void TFrenteTerminal::Encerra() {
  if (terminal_ && barrasNaTela_) {
    Desenha(true);
    barrasNaTela_ = false;  // leave the last picture of the bars where it is
  }
}

void TFrenteTerminal::Escreve(const std::string& texto) {
  // After a failure nothing more is written: the output is lost, and the
  // run ends before its next row.
  if (!erroSaida_.empty()) return;
  errno = 0;
  std::fwrite(texto.data(), 1, texto.size(), saida_);
  // Flushed at once: a failure is seen at the row whose line it lost.
  if (std::fflush(saida_) != 0 || std::ferror(saida_)) erroSaida_ = std::strerror(errno != 0 ? errno : EIO);
}

// Off a terminal, a phase is reported once, when the next one begins or the run ends.
void TFrenteTerminal::FechaFase() {
  // On a terminal the same two bars go on in place.
  if (terminal_ || rotulo_.empty()) return;
  char contagens[128];
  std::snprintf(contagens, sizeof contagens, " %d/%d (%d%%); geral %d/%d (%d%%)\n", Barra(TBarra::Atual).Progress(),
                Barra(TBarra::Atual).Maximum(), Barra(TBarra::Atual).Percentage(), Barra(TBarra::Geral).Progress(), Barra(TBarra::Geral).Maximum(), Barra(TBarra::Geral).Percentage());
  Escreve(rotulo_ + contagens);
  rotulo_.clear();
}

std::string TFrenteTerminal::Linha(const std::string& nome, const TProgressoBarra& contador) const {
  const int percentual = contador.Percentage();
  const int cheios = LarguraBarra * percentual / 100;
  std::string linha = nome + "[";
  linha.append(static_cast<std::size_t>(cheios), '#');
  linha.append(static_cast<std::size_t>(LarguraBarra - cheios), '.');
  char numeros[64];
  std::snprintf(numeros, sizeof numeros, "] %d/%d %3d%%", contador.Progress(), contador.Maximum(), percentual);
  return linha + numeros;
}

std::string TFrenteTerminal::ApagaBarras() {
  if (!terminal_ || !barrasNaTela_) return {};
  barrasNaTela_ = false;
  // Up two lines and clear them, so a row's line takes their place.
  return "\033[2A\r\033[J";
}

void TFrenteTerminal::Desenha(bool forcar) {
  if (!terminal_ || rotulo_.empty()) return;
  const auto agora = std::chrono::steady_clock::now();
  const bool ultimo = Barra(TBarra::Atual).Progress() == Barra(TBarra::Atual).Maximum();
  if (!forcar && !ultimo && barrasNaTela_ && agora - ultimoDesenho_ < IntervaloDesenho) return;
  ultimoDesenho_ = agora;
  Escreve(std::string(barrasNaTela_ ? "\033[2A" : "") + "\r\033[K" + Linha(Ajustado(rotulo_, LarguraNome), Barra(TBarra::Atual)) +
          "\n\r\033[K" + Linha(Ajustado("Progresso Geral:", LarguraNome), Barra(TBarra::Geral)) + "\n");
  barrasNaTela_ = true;
}
