#include "cli/OpcoesLinha.h"

const char* const TextoVersao = "atualiza-duracoes " DZ_VERSION "\n";

const char* const TextoAjuda =
    "uso: atualiza-duracoes [--config ARQUIVO] [--database NOME] [--verbose] [--dry-run]\n"
    "\n"
    "Preenche a duração das músicas e vinhetas do catálogo que ainda estão com \"00:00\",\n"
    "como o botão Atualizar da janela: primeiro Tb_Musicas, depois Tb_Vinhetas, cada\n"
    "linha gravada e confirmada (commit) uma a uma.\n"
    "\n"
    "  --config ARQUIVO  lê o banco da seção BANCO, chave CAMINHO deste arquivo\n"
    "                    (padrão: BaseAudio.ini na pasta do programa)\n"
    "  --database NOME   usa este banco e não lê arquivo de configuração\n"
    "  --verbose         uma linha por registro: tabela, código, caminho, segundos,\n"
    "                    mm:ss e, quando deu 0, o motivo\n"
    "  --dry-run         mede e informa como --verbose, mas não grava nem confirma nada\n"
    "  --help            mostra este texto\n"
    "  --version         mostra a versão\n"
    "\n"
    "Saída: 0 quando a atualização termina, 1 quando um erro a interrompe (o texto\n"
    "do erro vai para a saída de erros; as linhas gravadas antes continuam gravadas)\n"
    "ou quando a saída padrão não pode ser escrita, 2 quando os argumentos estão\n"
    "errados, 128 + o número do sinal quando SIGINT, SIGTERM ou SIGHUP a interrompe\n"
    "(130, 143, 129): a linha em curso termina e é confirmada, e \"Interrompido.\"\n"
    "vai para a saída de erros.\n";

TOpcoesLinha LeOpcoes(const std::vector<std::string>& argumentos) {
  TOpcoesLinha opcoes;
  for (std::size_t i = 0; i < argumentos.size() && opcoes.erro.empty(); ++i) {
    std::string nome = argumentos[i];
    std::string valor;
    bool temValor = false;
    if (const auto igual = nome.find('='); nome.rfind("--", 0) == 0 && igual != std::string::npos) {
      valor = nome.substr(igual + 1);
      nome = nome.substr(0, igual);
      temValor = true;
    }
    auto leValor = [&]() -> bool {
      if (temValor) return true;
      if (i + 1 >= argumentos.size()) {
        opcoes.erro = "falta o valor de " + nome;
        return false;
      }
      valor = argumentos[++i];
      return true;
    };
    auto semValor = [&]() {
      if (temValor) opcoes.erro = nome + " não aceita valor";
      return !temValor;
    };
    if (nome == "--config") {
      if (leValor()) {
        if (valor.empty()) opcoes.erro = "--config precisa de um arquivo";
        opcoes.arquivoConfiguracao = valor;
      }
    } else if (nome == "--database") {
      if (leValor()) {
        opcoes.banco = valor;
        opcoes.temBanco = true;
      }
    } else if (nome == "--verbose" || nome == "-v") {
      if (semValor()) opcoes.detalhado = true;
    } else if (nome == "--dry-run" || nome == "-n") {
      if (semValor()) opcoes.simulacao = true;
    } else if (nome == "--help" || nome == "-h") {
      if (semValor()) opcoes.ajuda = true;
    } else if (nome == "--version") {
      if (semValor()) opcoes.versao = true;
    } else {
      opcoes.erro = "argumento desconhecido: " + nome;
    }
  }
  if (opcoes.erro.empty() && opcoes.temBanco && !opcoes.arquivoConfiguracao.empty())
    opcoes.erro = "use --config ou --database, não os dois";
  return opcoes;
}
