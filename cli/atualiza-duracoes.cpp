// atualiza-duracoes: the window's update run without a window, for stations
// that run it unattended (a scheduled job after each import).

#include "app/run/Atualizacao.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Config.h"
#include "cli/Conferencia.h"
#include "cli/FrenteTerminal.h"
#include "cli/OpcoesLinha.h"
#include "app/run/TextoErro.h"

#include <cstdio>
#include <exception>
#include <unistd.h>
#include <utility>

namespace {

constexpr int SaidaOk = 0;
constexpr int SaidaErro = 1;
constexpr int SaidaUso = 2;
constexpr int SaidaAvisos = 3;  // --conferir=estrito: the run finished, with warnings

int Uso(const std::string& erro) {
  std::fprintf(stderr, "atualiza-duracoes: %s\n\n%s", erro.c_str(), TextoAjuda);
  return SaidaUso;
}

}  // namespace

int main(int argc, char** argv) {
  const TOpcoesLinha opcoes = LeOpcoes(std::vector<std::string>(argv + 1, argv + argc));
  if (!opcoes.erro.empty()) return Uso(opcoes.erro);
  if (opcoes.ajuda) {
    std::fputs(TextoAjuda, stdout);
    return SaidaOk;
  }
  if (opcoes.versao) {
    std::fputs(TextoVersao, stdout);
    return SaidaOk;
  }

  const bool conferir = opcoes.conferencia != TModoConferencia::Nenhuma;
  TFrenteTerminal frente(stdout, ::isatty(STDOUT_FILENO) == 1, opcoes.detalhado || opcoes.simulacao, conferir);
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
      } else if (const std::string erro = ReadConfiguredPathMapping(arquivo, mapeamento); !erro.empty()) {
        // A wrong rule would send rows to the wrong files: the run does not start.
        std::fprintf(stderr, "atualiza-duracoes: %s\n", erro.c_str());
        return SaidaUso;
      }
    }
    TAtualizacao atualizacao(catalogo, frente,
                             opcoes.simulacao ? TModoAtualizacao::Simulacao : TModoAtualizacao::Gravacao,
                             std::move(mapeamento));
    atualizacao.Executa();
  } catch (const std::exception& erro) {
    frente.Encerra();
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", ComPontoFinal(erro.what()).c_str());
    return SaidaErro;
  } catch (...) {
    frente.Encerra();
    std::fflush(stdout);
    std::fprintf(stderr, "Erro desconhecido.\n");
    return SaidaErro;
  }
  if (conferir) std::puts(LinhaTotalConferencia(frente.Avisos(), frente.Percorridos()).c_str());
  if (opcoes.simulacao) std::puts("Simulação (--dry-run): nenhuma linha foi gravada nem confirmada.");
  return opcoes.conferencia == TModoConferencia::Estrita && frente.Avisos() > 0 ? SaidaAvisos : SaidaOk;
}
