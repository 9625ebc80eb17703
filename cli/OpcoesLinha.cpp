#include "cli/OpcoesLinha.h"

#include "catalogue/Config.h"
#include "run/MedicaoAntecipada.h"
#include "cli/StatusSaida.h"

#include <charconv>
#include <optional>
#include <string_view>

const char* const TextoVersao = "atualiza-duracoes " DZ_VERSION "\n";

namespace {

constexpr TDescricaoOpcao Opcoes[] = {
    {.opcao = TOpcao::Configuracao,
     .nomes = {"--configuracao", "--config"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "ARQUIVO",
     .ajuda = "lê o banco da seção BANCO, chave CAMINHO deste arquivo\n"
              "(padrão: BaseAudio.ini na pasta do programa)"},
    {.opcao = TOpcao::Banco,
     .nomes = {"--banco", "--database"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "NOME",
     .ajuda = "usa este banco e não lê arquivo de configuração"},
    {.opcao = TOpcao::Mapear,
     .nomes = {"--mapear"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "DE=PARA",
     .ajuda = "os caminhos do catálogo que começam com DE (um caminho do\n"
              "Windows, como C:\\Musicas\\) estão em PARA nesta máquina\n"
              "(como /srv/musicas/); pode vir várias vezes e vale junto com\n"
              "a seção CAMINHOS do arquivo de configuração",
     .repete = true},
    {.opcao = TOpcao::Detalhado,
     .nomes = {"--detalhado", "--verbose", "-v"},
     .ajuda = "uma linha por registro: tabela, código, caminho (e, quando\n"
              "é outro, o arquivo aberto), segundos, mm:ss e, quando deu 0,\n"
              "o motivo"},
    {.opcao = TOpcao::Simulacao,
     .nomes = {"--simulacao", "--dry-run", "-n"},
     .ajuda = "mede e informa como --detalhado, mas não grava nem confirma nada"},
    {.opcao = TOpcao::Conferir,
     .nomes = {"--conferir"},
     .valor = TValorOpcao::SoComIgual,
     .ajuda = "percorre também cada MP3 quadro a quadro e avisa quando a\n"
              "estimativa gravada não merece confiança: uma linha por\n"
              "arquivo (aviso, tabela, código, caminho, estimativa e\n"
              "duração percorrida em segundos, motivo: \"arquivo truncado\",\n"
              "\"VBR sem cabeçalho\" ou \"estimativa difere\") e a contagem no\n"
              "fim; o valor gravado continua sendo a estimativa",
     .formas = {{{.valor = "estrito", .ajuda = "o mesmo, terminando com 3 quando houve aviso"},
                 {.valor = "corrigir",
                  .ajuda = "o mesmo, mas grava nas linhas com aviso a duração\n"
                           "percorrida (arredondada como a estimativa), diz isso na\n"
                           "linha do aviso e conta essas linhas no fim"}}}},
    {.opcao = TOpcao::Paralelo,
     .nomes = {"--paralelo"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "N",
     .ajuda = "mede os arquivos das próximas linhas em N threads enquanto\n"
              "grava a linha atual (1 a 128, padrão: 128, como a janela;\n"
              "1 mede cada arquivo só quando chega a sua linha);\n"
              "gravação, confirmação e saída continuam uma linha por vez,\n"
              "em ordem; enquanto cada arquivo é medido depressa (disco\n"
              "local), uma só thread mede as linhas em lotes"},
    {.opcao = TOpcao::TempoLimite,
     .nomes = {"--tempo-limite"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "S",
     .ajuda = "espera o servidor no máximo S segundos (1 a 86400) em cada\n"
              "conexão e em cada comando; passado o limite, a conexão é\n"
              "encerrada e a atualização termina com \"O servidor não\n"
              "respondeu em S s.\" (padrão: TEMPO_LIMITE da seção BANCO\n"
              "do arquivo de configuração, ou 60)"},
    {.opcao = TOpcao::Ajuda, .nomes = {"--ajuda", "--help", "-h"}, .ajuda = "mostra este texto", .naSinopse = false},
    {.opcao = TOpcao::Versao, .nomes = {"--versao", "--version"}, .ajuda = "mostra a versão", .naSinopse = false},
};

const TDescricaoOpcao* Procura(std::string_view nome) {
  for (const TDescricaoOpcao& opcao : Opcoes) {
    for (const char* outro : opcao.nomes)
      if (outro != nullptr && nome == outro) return &opcao;
  }
  return nullptr;
}

// "--conferir, --conferir=estrito ou --conferir=corrigir"
std::string FormasAceitas(const std::string& nome, const TDescricaoOpcao& opcao) {
  std::string texto = nome;
  for (std::size_t i = 0; i < opcao.formas.size() && opcao.formas[i].valor != nullptr; ++i) {
    const bool ultima = i + 1 == opcao.formas.size() || opcao.formas[i + 1].valor == nullptr;
    texto += (ultima ? " ou " : ", ") + nome + "=" + opcao.formas[i].valor;
  }
  return texto;
}

// Where an option's help starts, and where it goes on.
constexpr std::size_t RecuoOpcao = 2;
constexpr std::size_t ColunaAjuda = 20;
// The synopsis' lines: their width, and where the lines after the first start.
constexpr std::size_t LarguraSinopse = 80;
constexpr std::size_t RecuoSinopse = 25;

// "  --paralelo N      mede os arquivos ..." and its further lines at the
// help's column. A head may end a character past that column
// (--conferir=corrigir), its help then starting two blanks after it; a
// longer one gets a line of its own.
void AcrescentaItem(std::string& texto, const std::string& cabeca, std::string_view ajuda) {
  texto += std::string(RecuoOpcao, ' ') + cabeca;
  const std::size_t fimCabeca = RecuoOpcao + cabeca.size();
  if (fimCabeca > ColunaAjuda + 1)
    texto += "\n" + std::string(ColunaAjuda, ' ');
  else
    texto += std::string(fimCabeca + 2 <= ColunaAjuda ? ColunaAjuda - fimCabeca : 2, ' ');
  for (std::size_t inicio = 0;;) {
    const std::size_t fim = ajuda.find('\n', inicio);
    texto += std::string(ajuda.substr(inicio, fim - inicio)) + "\n";
    if (fim == std::string_view::npos) break;
    inicio = fim + 1;
    texto += std::string(ColunaAjuda, ' ');
  }
}

std::string Sinopse() {
  std::string texto = "uso: atualiza-duracoes";
  std::size_t largura = texto.size();
  for (const TDescricaoOpcao& opcao : Opcoes) {
    if (!opcao.naSinopse) continue;
    std::string item = std::string("[") + opcao.nomes[0];
    if (opcao.valor == TValorOpcao::Obrigatorio) item += std::string(" ") + opcao.nomeValor;
    if (opcao.valor == TValorOpcao::SoComIgual) {
      item += "[";
      for (const TFormaOpcao& forma : opcao.formas)
        if (forma.valor != nullptr) item += std::string(item.back() == '[' ? "=" : "|=") + forma.valor;
      item += "]";
    }
    item += opcao.repete ? "]..." : "]";
    if (largura + 1 + item.size() > LarguraSinopse) {
      texto += "\n" + std::string(RecuoSinopse - 1, ' ');
      largura = RecuoSinopse - 1;
    }
    texto += " " + item;
    largura += 1 + item.size();
  }
  return texto + "\n";
}

std::string MontaAjuda() {
  std::string texto = Sinopse();
  texto +=
      "\n"
      "Preenche a duração das músicas e vinhetas do catálogo que ainda estão com \"00:00\",\n"
      "como o botão Atualizar da janela: primeiro Tb_Musicas, depois Tb_Vinhetas, cada\n"
      "linha gravada e confirmada (commit) uma a uma.\n"
      "\n";
  for (const TDescricaoOpcao& opcao : Opcoes) {
    std::string cabeca;
    for (const std::string& nome : NomesOpcao(opcao)) cabeca += (cabeca.empty() ? "" : ", ") + nome;
    if (opcao.nomeValor != nullptr) cabeca += std::string(" ") + opcao.nomeValor;
    AcrescentaItem(texto, cabeca, opcao.ajuda);
    for (const TFormaOpcao& forma : opcao.formas)
      if (forma.valor != nullptr) AcrescentaItem(texto, std::string(opcao.nomes[0]) + "=" + forma.valor, forma.ajuda);
  }
  const auto numero = [](int status) { return std::to_string(status); };
  texto += "\n"
           "Saída: " + numero(SaidaOk) + " quando a atualização termina, " + numero(SaidaErro) +
           " quando um erro a interrompe (o texto\n"
           "do erro vai para a saída de erros; as linhas gravadas antes continuam gravadas)\n"
           "ou quando a saída padrão não pode ser escrita, " + numero(SaidaUso) +
           " quando os argumentos ou a\n"
           "seção CAMINHOS ou TEMPO_LIMITE estão errados, " + numero(SaidaAvisos) +
           " com --conferir=estrito quando a atualização\n"
           "terminou mas houve aviso, " + numero(SaidaSinal) +
           " + o número do sinal quando SIGINT, SIGTERM ou\n"
           "SIGHUP a interrompe (" + numero(SaidaPorSinal(SIGINT)) + ", " + numero(SaidaPorSinal(SIGTERM)) + ", " +
           numero(SaidaPorSinal(SIGHUP)) +
           "): a linha em curso termina e é confirmada,\n"
           "e \"Interrompido.\" vai para a saída de erros; se o servidor não responde, a\n"
           "conexão é encerrada em poucos segundos e a linha em curso não é gravada.\n";
  return texto;
}

}  // namespace

std::span<const TDescricaoOpcao> TabelaOpcoes() { return Opcoes; }

std::vector<std::string> NomesOpcao(const TDescricaoOpcao& opcao) {
  std::vector<std::string> nomes;
  for (const char* nome : opcao.nomes)
    if (nome != nullptr) nomes.emplace_back(nome);
  return nomes;
}

const std::string& TextoAjuda() {
  static const std::string texto = MontaAjuda();
  return texto;
}

// An error about an option names it as it was typed, alias or not.
TOpcoesLinha LeOpcoes(const std::vector<std::string>& argumentos) {
  TOpcoesLinha opcoes;
  std::string comoConfiguracao, comoBanco;  // the spellings used, for the message when both are given
  for (std::size_t i = 0; i < argumentos.size() && opcoes.erro.empty(); ++i) {
    std::string nome = argumentos[i];
    std::string valor;
    bool temValor = false;
    if (const auto igual = nome.find('='); nome.rfind("--", 0) == 0 && igual != std::string::npos) {
      valor = nome.substr(igual + 1);
      nome = nome.substr(0, igual);
      temValor = true;
    }
    const TDescricaoOpcao* opcao = Procura(nome);
    if (opcao == nullptr) {
      opcoes.erro = "argumento desconhecido: " + nome;
      break;
    }
    if (opcao->valor == TValorOpcao::Nenhum && temValor) {
      opcoes.erro = nome + " não aceita valor";
      break;
    }
    if (opcao->valor == TValorOpcao::Obrigatorio && !temValor) {
      if (i + 1 >= argumentos.size()) {
        opcoes.erro = "falta o valor de " + nome;
        break;
      }
      valor = argumentos[++i];
    }
    switch (opcao->opcao) {
      case TOpcao::Configuracao:
        if (valor.empty()) opcoes.erro = nome + " precisa de um arquivo";
        opcoes.arquivoConfiguracao = valor;
        comoConfiguracao = nome;
        break;
      case TOpcao::Banco:
        opcoes.banco = valor;
        opcoes.temBanco = true;
        comoBanco = nome;
        break;
      case TOpcao::Mapear: opcoes.erro = AddArgumentRule(opcoes.mapeamento, valor); break;
      case TOpcao::Detalhado: opcoes.detalhado = true; break;
      case TOpcao::Simulacao: opcoes.simulacao = true; break;
      case TOpcao::Conferir:
        opcoes.estrita = temValor && valor == "estrito";
        if (!temValor || valor == "estrito") {
          opcoes.conferencia = TConferencia::Avisa;
        } else if (valor == "corrigir") {
          opcoes.conferencia = TConferencia::Corrige;
        } else {
          opcoes.erro = "valor desconhecido de " + nome + ": \"" + valor + "\" (use " + FormasAceitas(nome, *opcao) + ")";
        }
        break;
      case TOpcao::Paralelo: {
        int numero = 0;
        const auto [fim, erro] = std::from_chars(valor.data(), valor.data() + valor.size(), numero);
        if (erro != std::errc() || fim != valor.data() + valor.size() || numero < 1 || numero > ParaleloMaximo)
          opcoes.erro = nome + " precisa de um número de 1 a " + std::to_string(ParaleloMaximo);
        else
          opcoes.paralelo = numero;
        break;
      }
      case TOpcao::TempoLimite:
        if (const std::optional<int> segundos = ParseCallLimit(valor))
          opcoes.tempoLimite = *segundos;
        else
          opcoes.erro = nome + " precisa de um número de segundos de 1 a " + std::to_string(CallLimitMaxSeconds);
        break;
      case TOpcao::Ajuda: opcoes.ajuda = true; break;
      case TOpcao::Versao: opcoes.versao = true; break;
    }
  }
  if (opcoes.erro.empty() && opcoes.temBanco && !opcoes.arquivoConfiguracao.empty())
    opcoes.erro = "use " + comoConfiguracao + " ou " + comoBanco + ", não os dois";
  return opcoes;
}
