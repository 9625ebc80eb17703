// atualiza-duracoes: the window's update run without a window, for stations
// that run it unattended (a scheduled job after each import).

#include "app/run/Atualizacao.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Config.h"
#include "catalogue/EngineSettings.h"
#include "app/run/SinaisParada.h"
#include "cli/Conferencia.h"
#include "cli/FrenteTerminal.h"
#include "cli/MedicaoAntecipada.h"
#include "cli/OpcoesLinha.h"
#include "cli/StatusSaida.h"
#include "cli/TextoVisivel.h"
#include "app/run/TextoErro.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <unistd.h>
#include <utility>

namespace {

int Uso(const std::string& erro) {
  std::fprintf(stderr, "atualiza-duracoes: %s\n\n%s", ErroVisivel(erro).c_str(), TextoAjuda().c_str());
  return SaidaUso;
}

int ErroSaida(const std::string& erro) {
  std::fprintf(stderr, "Erro ao escrever na saída padrão: %s.\n", erro.c_str());
  return SaidaErro;
}

// Writes a last text to the standard output and gives the exit status.
int EscreveEFim(const char* texto) {
  errno = 0;
  std::fputs(texto, stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) return ErroSaida(std::strerror(errno != 0 ? errno : EIO));
  return SaidaOk;
}

}  // namespace

int main(int argc, char** argv) {
  // First, before the database client starts any thread.
  TSinaisParada sinais;
  // A closed pipe (| head) is an output error like any other, met between
  // rows, rather than a signal that could end the program anywhere.
  std::signal(SIGPIPE, SIG_IGN);

  const TOpcoesLinha opcoes = LeOpcoes(std::vector<std::string>(argv + 1, argv + argc));
  if (!opcoes.erro.empty()) return Uso(opcoes.erro);
  if (opcoes.ajuda) return EscreveEFim(TextoAjuda().c_str());
  if (opcoes.versao) return EscreveEFim(TextoVersao);

  const TConferencia conferencia = opcoes.conferencia;
  const bool conferir = conferencia != TConferencia::Nenhuma;
  TFrenteTerminal frente(stdout, ::isatty(STDOUT_FILENO) == 1, opcoes.detalhado || opcoes.simulacao, &sinais,
                         conferencia, opcoes.simulacao);
  // Declared before the catalogue, so that it outlives the engine's attachment.
  TEngineSettings motor;
  try {
    TCatalogo catalogo;
    // The command line's rules come first, so they win over the file's for the same folder.
    TPathMapping mapeamento = opcoes.mapeamento;
    if (opcoes.temBanco) {
      catalogo.DB_Velmar.SetDatabaseName(opcoes.banco);
    } else {
      const std::string arquivo =
          opcoes.arquivoConfiguracao.empty() ? ExecutableFolder() + ConfigFileName : opcoes.arquivoConfiguracao;
      if (!AplicaConfiguracao(catalogo.DB_Velmar, arquivo)) {
        if (!opcoes.arquivoConfiguracao.empty()) return Uso("arquivo de configuração não encontrado: " + arquivo);
      } else {
        // A wrong rule would send rows to the wrong files: the run does not start.
        std::string erro = ReadConfiguredPathMapping(arquivo, mapeamento);
        if (erro.empty()) erro = ReadConfiguredCallLimit(arquivo, catalogo.DB_Velmar);
        if (!erro.empty()) {
          std::fprintf(stderr, "atualiza-duracoes: %s\n", ErroVisivel(erro).c_str());
          return SaidaUso;
        }
      }
    }
    if (opcoes.tempoLimite > 0) catalogo.DB_Velmar.SetCallLimit(opcoes.tempoLimite);
    // A call that waits on a stalled server when a stop signal comes is ended.
    catalogo.DB_Velmar.SetStopRequested([&sinais] { return sinais.Recebido() != 0; });
    // A local catalogue is opened by the engine inside this program: its
    // memory for sorting is kept small (EngineSettings.h), so that the music
    // select of a large catalogue does not hold 64 MB for its sort.
    if (OpensInThisProcess(catalogo.DB_Velmar.DatabaseName())) motor = ApplyCatalogueEngineSettings();
    // The threads that measure ahead start with the run's phases, after the
    // stop signals were blocked: they inherit that and never take a signal.
    // Correcting needs the walk before the row is written: the measurer walks
    // the files, on one thread at least.
    std::optional<TMedicaoAntecipada> medicao;
    if (opcoes.paralelo > 1 || conferencia == TConferencia::Corrige)
      medicao.emplace(opcoes.paralelo, mapeamento, conferencia);
    TAtualizacao atualizacao(catalogo, frente,
                             opcoes.simulacao ? TModoAtualizacao::Simulacao : TModoAtualizacao::Gravacao,
                             std::move(mapeamento));
    if (medicao) {
      atualizacao.MedeCom(*medicao);
      frente.ConfereCom([&medicao](const std::string& arquivo) { return medicao->ConferenciaDe(arquivo); });
    }
    atualizacao.Executa();
    // Ended before a row (or completed, when the output failed at its end).
    if (!frente.ErroSaida().empty()) return ErroSaida(frente.ErroSaida());
    if (const int sinal = frente.SinalInterrupcao(); sinal != 0) {
      frente.Encerra();
      std::fprintf(stderr, "Interrompido.\n");
      return SaidaPorSinal(sinal);
    }
  } catch (const std::exception& erro) {
    frente.Encerra();
    std::fflush(stdout);
    // A stop signal ended the call the run waited in: it ends as stopped.
    if (const int sinal = sinais.Recebido(); sinal != 0) {
      std::fprintf(stderr, "Interrompido.\n");
      return SaidaPorSinal(sinal);
    }
    std::fprintf(stderr, "%s\n", ErroVisivel(ComPontoFinal(erro.what())).c_str());
    return SaidaErro;
  } catch (...) {
    frente.Encerra();
    std::fflush(stdout);
    std::fprintf(stderr, "Erro desconhecido.\n");
    return SaidaErro;
  }
  if (conferir) {
    const std::optional<int> comPercorrida =
        conferencia == TConferencia::Corrige ? std::optional<int>(frente.ComPercorrida()) : std::nullopt;
    if (EscreveEFim((LinhaTotalConferencia(frente.Avisos(), frente.Percorridos(), comPercorrida) + "\n").c_str()) !=
        SaidaOk)
      return SaidaErro;
  }
  if (opcoes.simulacao &&
      EscreveEFim("Simulação (--dry-run): nenhuma linha foi gravada nem confirmada.\n") != SaidaOk)
    return SaidaErro;
  return opcoes.estrita && frente.Avisos() > 0 ? SaidaAvisos : SaidaOk;
}
