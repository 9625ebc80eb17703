#include "cli/OpcoesLinha.h"

#include "catalogue/Config.h"
#include "cli/MedicaoAntecipada.h"

#include <charconv>

const char* const TextoVersao = "atualiza-duracoes " DZ_VERSION "\n";

const char* const TextoAjuda =
    "uso: atualiza-duracoes [--config ARQUIVO] [--database NOME] [--mapear DE=PARA]...\n"
    "                         [--verbose] [--dry-run] [--conferir[=estrito|=corrigir]] [--paralelo N]\n"
    "                         [--tempo-limite S]\n"
    "\n"
    "Preenche a duração das músicas e vinhetas do catálogo que ainda estão com \"00:00\",\n"
    "como o botão Atualizar da janela: primeiro Tb_Musicas, depois Tb_Vinhetas, cada\n"
    "linha gravada e confirmada (commit) uma a uma.\n"
    "\n"
    "  --config ARQUIVO  lê o banco da seção BANCO, chave CAMINHO deste arquivo\n"
    "                    (padrão: BaseAudio.ini na pasta do programa)\n"
    "  --database NOME   usa este banco e não lê arquivo de configuração\n"
    "  --mapear DE=PARA  os caminhos do catálogo que começam com DE (um caminho do\n"
    "                    Windows, como C:\\Musicas\\) estão em PARA nesta máquina\n"
    "                    (como /srv/musicas/); pode vir várias vezes e vale junto com\n"
    "                    a seção CAMINHOS do arquivo de configuração\n"
    "  --verbose         uma linha por registro: tabela, código, caminho (e, quando\n"
    "                    é outro, o arquivo aberto), segundos, mm:ss e, quando deu 0,\n"
    "                    o motivo\n"
    "  --dry-run         mede e informa como --verbose, mas não grava nem confirma nada\n"
    "  --conferir        percorre também cada MP3 quadro a quadro e avisa quando a\n"
    "                    estimativa gravada não merece confiança: uma linha por\n"
    "                    arquivo (aviso, tabela, código, caminho, estimativa e\n"
    "                    duração percorrida em segundos, motivo: \"arquivo truncado\",\n"
    "                    \"VBR sem cabeçalho\" ou \"estimativa difere\") e a contagem no\n"
    "                    fim; o valor gravado continua sendo a estimativa\n"
    "  --conferir=estrito  o mesmo, terminando com 3 quando houve aviso\n"
    "  --conferir=corrigir  o mesmo, mas grava nas linhas com aviso a duração\n"
    "                    percorrida (arredondada como a estimativa), diz isso na\n"
    "                    linha do aviso e conta essas linhas no fim\n"
    "  --paralelo N      mede os arquivos das próximas linhas em N threads enquanto\n"
    "                    grava a linha atual (1 a 128, padrão: 128; 1 mede cada\n"
    "                    arquivo só quando chega a sua linha, como a janela);\n"
    "                    gravação, confirmação e saída continuam uma linha por vez,\n"
    "                    em ordem; enquanto cada arquivo é medido depressa (disco\n"
    "                    local), o programa mesmo os mede um a um\n"
    "  --tempo-limite S  espera o servidor no máximo S segundos (1 a 86400) em cada\n"
    "                    conexão e em cada comando; passado o limite, a conexão é\n"
    "                    encerrada e a atualização termina com \"O servidor não\n"
    "                    respondeu em S s.\" (padrão: TEMPO_LIMITE da seção BANCO\n"
    "                    do arquivo de configuração, ou 60)\n"
    "  --help            mostra este texto\n"
    "  --version         mostra a versão\n"
    "\n"
    "Saída: 0 quando a atualização termina, 1 quando um erro a interrompe (o texto\n"
    "do erro vai para a saída de erros; as linhas gravadas antes continuam gravadas)\n"
    "ou quando a saída padrão não pode ser escrita, 2 quando os argumentos ou a\n"
    "seção CAMINHOS ou TEMPO_LIMITE estão errados, 3 com --conferir=estrito quando a atualização\n"
    "terminou mas houve aviso, 128 + o número do sinal quando SIGINT, SIGTERM ou\n"
    "SIGHUP a interrompe (130, 143, 129): a linha em curso termina e é confirmada,\n"
    "e \"Interrompido.\" vai para a saída de erros; se o servidor não responde, a\n"
    "conexão é encerrada em poucos segundos e a linha em curso não é gravada.\n";

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
    } else if (nome == "--mapear") {
      if (leValor()) opcoes.erro = AddArgumentRule(opcoes.mapeamento, valor);
    } else if (nome == "--verbose" || nome == "-v") {
      if (semValor()) opcoes.detalhado = true;
    } else if (nome == "--dry-run" || nome == "-n") {
      if (semValor()) opcoes.simulacao = true;
    } else if (nome == "--conferir") {
      if (!temValor) {
        opcoes.conferencia = TModoConferencia::Avisa;
      } else if (valor == "estrito") {
        opcoes.conferencia = TModoConferencia::Estrita;
      } else if (valor == "corrigir") {
        opcoes.conferencia = TModoConferencia::Corrige;
      } else {
        opcoes.erro = "valor desconhecido de --conferir: \"" + valor +
                      "\" (use --conferir, --conferir=estrito ou --conferir=corrigir)";
      }
    } else if (nome == "--paralelo") {
      if (leValor()) {
        int numero = 0;
        const auto [fim, erro] = std::from_chars(valor.data(), valor.data() + valor.size(), numero);
        if (erro != std::errc() || fim != valor.data() + valor.size() || numero < 1 || numero > ParaleloMaximo) {
          opcoes.erro = "--paralelo precisa de um número de 1 a " + std::to_string(ParaleloMaximo);
        } else {
          opcoes.paralelo = numero;
        }
      }
    } else if (nome == "--tempo-limite") {
      if (leValor()) {
        if (const std::optional<int> segundos = ParseCallLimit(valor)) {
          opcoes.tempoLimite = *segundos;
        } else {
          opcoes.erro = "--tempo-limite precisa de um número de segundos de 1 a " + std::to_string(CallLimitMaxSeconds);
        }
      }
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
