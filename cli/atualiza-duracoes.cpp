// atualiza-duracoes: the window's update run without a window, for stations
// that run it unattended (a scheduled job after each import), and the check
// of the lengths already in the catalogue (--reverificar).

#include "catalogue/Config.h"
#include "catalogue/EngineSettings.h"
#include "cli/FrenteTerminal.h"
#include "cli/LinhasConferencia.h"
#include "cli/LinhasReverificacao.h"
#include "cli/RelatorioCsv.h"
#include "cli/OpcoesLinha.h"
#include "run/ContextoExecucao.h"
#include "run/FimProcesso.h"
#include "run/SinaisParada.h"
#include "cli/StatusSaida.h"
#include "cli/TextoVisivel.h"
#include "run/TextoErro.h"

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

// The program from its command line to its exit status.
int Executa(int argc, char** argv, TSinaisParada& sinais) {
  const TOpcoesLinha opcoes = LeOpcoes(std::vector<std::string>(argv + 1, argv + argc));
  if (!opcoes.erro.empty()) return Uso(opcoes.erro);
  if (opcoes.ajuda) return EscreveEFim(TextoAjuda().c_str());
  if (opcoes.versao) return EscreveEFim(TextoVersao);
  // Before anything calls the client, whatever the catalogue, as the window
  // does (Arranque.h): a local catalogue's engine runs in this program and
  // sorts in little memory. Released after the catalogue's attachment.
  const TEngineSettings motor = ApplyCatalogueEngineSettings();

  const TConferencia conferencia = opcoes.conferencia;
  const bool conferir = conferencia != TConferencia::Nenhuma;
  TFrenteTerminal frente(stdout, ::isatty(STDOUT_FILENO) == 1, opcoes.detalhado || opcoes.simulacao, &sinais,
                         conferencia, opcoes.simulacao);
  TContagemAtualizacao contagem;
  TRelatorioCsv relatorio;
  try {
    const std::string arquivo =
        opcoes.arquivoConfiguracao.empty() ? ExecutableFolder() + ConfigFileName : opcoes.arquivoConfiguracao;
    TContextoExecucao contexto(
        {.arranque = {.arquivoConfiguracao = arquivo,
                      .banco = opcoes.temBanco ? std::optional<std::string>(opcoes.banco) : std::nullopt,
                      .regras = opcoes.mapeamento,
                      .tempoLimite = opcoes.tempoLimite,
                      .sinais = &sinais},
         .modo = opcoes.simulacao ? TModoAtualizacao::Simulacao : TModoAtualizacao::Gravacao,
         .paralelo = opcoes.paralelo,
         .conferencia = conferencia,
         .reverificacao = opcoes.reverificacao,
         .idadeMinima = opcoes.idadeMinima});
    if (!opcoes.temBanco && !opcoes.arquivoConfiguracao.empty() && !contexto.ArquivoLido())
      return Uso("arquivo de configuração não encontrado: " + arquivo);
    if (!contexto.Erro().empty()) {
      std::fprintf(stderr, "atualiza-duracoes: %s\n", ErroVisivel(contexto.Erro()).c_str());
      return SaidaUso;
    }
    if (!opcoes.relatorio.empty()) {
      if (const std::string erro = relatorio.Abre(opcoes.relatorio); !erro.empty()) {
        std::fprintf(stderr, "atualiza-duracoes: %s.\n", ErroVisivel(erro).c_str());
        return SaidaErro;
      }
      frente.EscreveRelatorio(&relatorio);
    }
    contexto.Executa(frente);
    contagem = contexto.Contagem();
    // Ended before a row (or completed, when the output failed at its end).
    if (!frente.ErroSaida().empty()) return ErroSaida(frente.ErroSaida());
    if (!frente.ErroRelatorio().empty()) {
      frente.Encerra();
      std::fflush(stdout);
      std::fprintf(stderr, "atualiza-duracoes: %s.\n", ErroVisivel(frente.ErroRelatorio()).c_str());
      return SaidaErro;
    }
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
  // The counts are the run's own, whatever the front end drew.
  if (conferir) {
    const std::optional<int> comPercorrida =
        conferencia == TConferencia::Corrige ? std::optional<int>(contagem.comPercorrida) : std::nullopt;
    if (EscreveEFim((LinhaTotalConferencia(contagem.avisos, contagem.percorridos, comPercorrida) + "\n").c_str()) !=
        SaidaOk)
      return SaidaErro;
  }
  if (EscreveEFim((LinhaResumo(contagem) + "\n").c_str()) != SaidaOk) return SaidaErro;
  if (opcoes.simulacao &&
      EscreveEFim("Simulação (--dry-run): nenhuma linha foi gravada nem confirmada.\n") != SaidaOk)
    return SaidaErro;
  const bool avisos = opcoes.estrita && contagem.avisos > 0;
  const bool diferencas = opcoes.reverificacao != TReverificacao::Nenhuma && contagem.naoGravadas > 0;
  return avisos || diferencas ? SaidaAvisos : SaidaOk;
}

}  // namespace

int main(int argc, char** argv) {
  // First, before the database client starts any thread.
  TSinaisParada sinais;
  // A closed pipe (| head) is an output error like any other, met between
  // rows, rather than a signal that could end the program anywhere.
  std::signal(SIGPIPE, SIG_IGN);
  // A stop during an attach that waits on a silent server ends here at once.
  return FimDoProcesso(Executa(argc, argv, sinais));
}
