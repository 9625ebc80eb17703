#include "cli/OpcoesLinha.h"

#include "catalogue/Config.h"
#include "catalogue/DataSet.h"
#include "cli/StatusSaida.h"
#include "run/MedicaoAntecipada.h"

#include <charconv>
#include <optional>
#include <string_view>
#include <utility>

const char* const TextoVersao = "atualiza-duracoes " DZ_VERSION "\n";

// What the parser keeps while it reads the arguments: the options, and the
// spellings used, for the message when two options exclude each other.
struct TLeituraOpcoes {
  TOpcoesLinha& opcoes;
  std::string comoConfiguracao;
  std::string comoBanco;
};

namespace {

std::string FormasAceitas(const std::string& nome, const TDescricaoOpcao& opcao);

// A whole number of faixa's, in decimal digits and nothing else.
std::optional<int> NumeroNaFaixa(const std::string& valor, const TFaixaOpcao& faixa) {
  int numero = 0;
  const auto [fim, erro] = std::from_chars(valor.data(), valor.data() + valor.size(), numero);
  if (erro != std::errc() || fim != valor.data() + valor.size() || numero < faixa.minimo || numero > faixa.maximo)
    return std::nullopt;
  return numero;
}

// A flag: sets the field of the options it names.
template <bool TOpcoesLinha::*Campo>
std::string Liga(TLeituraOpcoes& leitura, const TDescricaoOpcao&, const std::string&, const std::string&, bool) {
  leitura.opcoes.*Campo = true;
  return "";
}

std::string AplicaConfiguracao(TLeituraOpcoes& leitura, const TDescricaoOpcao&, const std::string& nome,
                               const std::string& valor, bool) {
  leitura.opcoes.arquivoConfiguracao = valor;
  leitura.comoConfiguracao = nome;
  return valor.empty() ? nome + " precisa de um arquivo" : "";
}

std::string AplicaBanco(TLeituraOpcoes& leitura, const TDescricaoOpcao&, const std::string& nome,
                        const std::string& valor, bool) {
  leitura.opcoes.banco = valor;
  leitura.opcoes.temBanco = true;
  leitura.comoBanco = nome;
  return "";
}

std::string AplicaMapear(TLeituraOpcoes& leitura, const TDescricaoOpcao&, const std::string&,
                         const std::string& valor, bool) {
  return AddArgumentRule(leitura.opcoes.mapeamento, valor);
}

std::string AplicaConferir(TLeituraOpcoes& leitura, const TDescricaoOpcao& opcao, const std::string& nome,
                           const std::string& valor, bool temValor) {
  TOpcoesLinha& opcoes = leitura.opcoes;
  opcoes.estrita = temValor && valor == "estrito";
  if (!temValor || valor == "estrito") {
    opcoes.conferencia = TConferencia::Avisa;
  } else if (valor == "corrigir") {
    opcoes.conferencia = TConferencia::Corrige;
  } else {
    return "valor desconhecido de " + nome + ": \"" + valor + "\" (use " + FormasAceitas(nome, opcao) + ")";
  }
  return "";
}

std::string AplicaParalelo(TLeituraOpcoes& leitura, const TDescricaoOpcao& opcao, const std::string& nome,
                           const std::string& valor, bool) {
  const std::optional<int> numero = NumeroNaFaixa(valor, opcao.faixa);
  if (!numero)
    return nome + " precisa de um número de " + std::to_string(opcao.faixa.minimo) + " a " +
           std::to_string(opcao.faixa.maximo);
  leitura.opcoes.paralelo = *numero;
  return "";
}

std::string AplicaReverificar(TLeituraOpcoes& leitura, const TDescricaoOpcao& opcao, const std::string& nome,
                              const std::string& valor, bool temValor) {
  if (!temValor) {
    leitura.opcoes.reverificacao = TReverificacao::Relata;
  } else if (valor == "corrigir") {
    leitura.opcoes.reverificacao = TReverificacao::Corrige;
  } else {
    return "valor desconhecido de " + nome + ": \"" + valor + "\" (use " + FormasAceitas(nome, opcao) + ")";
  }
  return "";
}

std::string AplicaIdadeMinima(TLeituraOpcoes& leitura, const TDescricaoOpcao& opcao, const std::string& nome,
                              const std::string& valor, bool) {
  const std::optional<int> segundos = NumeroNaFaixa(valor, opcao.faixa);
  if (!segundos)
    return nome + " precisa de um número de segundos de " + std::to_string(opcao.faixa.minimo) + " a " +
           std::to_string(opcao.faixa.maximo);
  leitura.opcoes.idadeMinima = *segundos;
  return "";
}

std::string AplicaRelatorio(TLeituraOpcoes& leitura, const TDescricaoOpcao&, const std::string& nome,
                            const std::string& valor, bool) {
  leitura.opcoes.relatorio = valor;
  return valor.empty() ? nome + " precisa de um arquivo" : "";
}

// The same rule as the configuration's TEMPO_LIMITE.
std::string AplicaTempoLimite(TLeituraOpcoes& leitura, const TDescricaoOpcao& opcao, const std::string& nome,
                              const std::string& valor, bool) {
  const std::optional<int> segundos = ParseCallLimit(valor);
  if (!segundos)
    return nome + " precisa de um número de segundos de " + std::to_string(opcao.faixa.minimo) + " a " +
           std::to_string(opcao.faixa.maximo);
  leitura.opcoes.tempoLimite = *segundos;
  return "";
}

constexpr TDescricaoOpcao Opcoes[] = {
    {     .nomes = {"--configuracao", "--config"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "ARQUIVO",
     .ajuda = "lê o banco da seção BANCO, chave CAMINHO deste arquivo\n"
              "(padrão: BaseAudio.ini na pasta do programa)",
     .aplica = AplicaConfiguracao},
    {.nomes = {"--banco", "--database"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "NOME",
     .ajuda = "usa este banco e não lê arquivo de configuração",
     .aplica = AplicaBanco},
    {.nomes = {"--mapear"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "DE=PARA",
     .ajuda = "os caminhos do catálogo que começam com DE (um caminho do\n"
              "Windows, como C:\\Musicas\\) estão em PARA nesta máquina\n"
              "(como /srv/musicas/); pode vir várias vezes e vale junto com\n"
              "a seção CAMINHOS do arquivo de configuração",
     .repete = true,
     .aplica = AplicaMapear},
    {.nomes = {"--detalhado", "--verbose", "-v"},
     .ajuda = "uma linha por registro: tabela, código, caminho (e, quando\n"
              "é outro, o arquivo aberto), segundos, mm:ss e, quando deu 0,\n"
              "o motivo",
     .aplica = Liga<&TOpcoesLinha::detalhado>},
    {.nomes = {"--simulacao", "--dry-run", "-n"},
     .ajuda = "mede e informa como --detalhado, mas não grava nem confirma nada",
     .aplica = Liga<&TOpcoesLinha::simulacao>},
    {.nomes = {"--conferir"},
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
                           "linha do aviso e conta essas linhas no fim"}}},
     .aplica = AplicaConferir},
    {.nomes = {"--reverificar"},
     .valor = TValorOpcao::SoComIgual,
     .ajuda = "confere também as linhas que já têm duração: mede o arquivo\n"
              "de cada linha (não só das que estão com \"00:00\") e informa\n"
              "cada uma cuja duração gravada difere da do arquivo (mais de\n"
              "1 s de diferença, ou mm:ss que não corresponde aos segundos):\n"
              "uma linha por linha do catálogo (difere, tabela, código,\n"
              "caminho, segundos e mm:ss gravados, segundos medidos); um\n"
              "arquivo que dá 0 (inexistente, ilegível, não é áudio) é\n"
              "informado com o motivo e nunca apaga uma duração; as linhas\n"
              "com \"00:00\" são preenchidas como sempre",
     .formas = {{{.valor = "corrigir",
                  .ajuda = "o mesmo, e grava nas linhas que diferem os segundos e o\n"
                           "mm:ss medidos, só enquanto a linha ainda tem o que foi\n"
                           "lido (uma edição feita nesse meio-tempo fica, e a linha\n"
                           "é contada como falha: \"Update Failed\")"}}},
     .aplica = AplicaReverificar},
    {.nomes = {"--idade-minima"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "S",
     .ajuda = "não mede um arquivo modificado há menos de S segundos\n"
              "({minimo} a {maximo}, padrão: {padrao}; 0 desliga): ele pode ainda\n"
              "estar sendo copiado; a linha fica como está, para a próxima\n"
              "execução (ignorada, tabela, código, caminho, motivo)",
     .faixa = {.minimo = 0, .maximo = IdadeMinimaMaxima, .padrao = IdadeMinimaPadrao},
     .aplica = AplicaIdadeMinima},
    {.nomes = {"--relatorio"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "ARQUIVO",
     .ajuda = "escreve também um relatório CSV (UTF-8) com uma linha por\n"
              "linha visitada do catálogo, escrita à medida que a execução\n"
              "anda; um relatório anterior com o mesmo nome é substituído\n"
              "no início",
     .aplica = AplicaRelatorio},
    {.nomes = {"--paralelo"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "N",
     .ajuda = "mede os arquivos das próximas linhas em N threads enquanto\n"
              "grava a linha atual ({minimo} a {maximo}, padrão: {padrao}, como a janela;\n"
              "1 mede cada arquivo só quando chega a sua linha);\n"
              "gravação, confirmação e saída continuam uma linha por vez,\n"
              "em ordem; enquanto cada arquivo é medido depressa (disco\n"
              "local), uma só thread mede as linhas em lotes",
     .faixa = {.minimo = 1, .maximo = ParaleloMaximo, .padrao = ParaleloPadrao},
     .aplica = AplicaParalelo},
    {.nomes = {"--tempo-limite"},
     .valor = TValorOpcao::Obrigatorio,
     .nomeValor = "S",
     .ajuda = "espera o servidor no máximo S segundos ({minimo} a {maximo}) em cada\n"
              "conexão e em cada comando; passado o limite, a conexão é\n"
              "encerrada e a atualização termina com \"O servidor não\n"
              "respondeu em S s.\" (padrão: TEMPO_LIMITE da seção BANCO\n"
              "do arquivo de configuração, ou {padrao})",
     .faixa = {.minimo = CallLimitMinSeconds, .maximo = CallLimitMaxSeconds, .padrao = DefaultCallLimitSeconds},
     .aplica = AplicaTempoLimite},
    {.nomes = {"--ajuda", "--help", "-h"},
     .ajuda = "mostra este texto",
     .naSinopse = false,
     .aplica = Liga<&TOpcoesLinha::ajuda>},
    {.nomes = {"--versao", "--version"},
     .ajuda = "mostra a versão",
     .naSinopse = false,
     .aplica = Liga<&TOpcoesLinha::versao>},
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

// The help of a row with its numbers in place of "{minimo}", "{maximo}" and "{padrao}".
std::string ComNumeros(std::string ajuda, const TFaixaOpcao& faixa) {
  for (const auto& [marca, numero] : {std::pair<std::string_view, int>{"{minimo}", faixa.minimo},
                                      {"{maximo}", faixa.maximo},
                                      {"{padrao}", faixa.padrao}}) {
    for (std::size_t onde; (onde = ajuda.find(marca)) != std::string::npos;)
      ajuda.replace(onde, marca.size(), std::to_string(numero));
  }
  return ajuda;
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
      "linha gravada e confirmada (commit) uma a uma. Com --reverificar, confere também\n"
      "as durações já gravadas. No fim, uma linha de resumo: linhas visitadas, com\n"
      "duração diferente, gravadas, ignoradas por serem recentes e sem medida.\n"
      "\n";
  for (const TDescricaoOpcao& opcao : Opcoes) {
    std::string cabeca;
    for (const std::string& nome : NomesOpcao(opcao)) cabeca += (cabeca.empty() ? "" : ", ") + nome;
    if (opcao.nomeValor != nullptr) cabeca += std::string(" ") + opcao.nomeValor;
    AcrescentaItem(texto, cabeca, ComNumeros(opcao.ajuda, opcao.faixa));
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
           "terminou mas houve aviso, e com --reverificar quando ficaram linhas com duração\n"
           "diferente sem gravar, " + numero(SaidaSinal) +
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
  TLeituraOpcoes leitura{opcoes, {}, {}};
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
    opcoes.erro = opcao->aplica(leitura, *opcao, nome, valor, temValor);
  }
  if (opcoes.erro.empty() && opcoes.temBanco && !opcoes.arquivoConfiguracao.empty())
    opcoes.erro = "use " + leitura.comoConfiguracao + " ou " + leitura.comoBanco + ", não os dois";
  return opcoes;
}
