#include "cli/OpcoesLinha.h"
#include "catalogue/Config.h"
#include "catalogue/DataSet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::StartsWith;

std::string Mostra(const std::vector<std::string>& argumentos) {
  std::string texto;
  for (const auto& argumento : argumentos) texto += "[" + argumento + "]";
  return texto;
}

TEST(OpcoesLinha, LeOpcoes) {
  struct TCase {
    const char* what;
    std::vector<std::string> argumentos;
    TOpcoesLinha esperadas;
  };
  auto opcoes = [](auto preenche) {
    TOpcoesLinha o;
    preenche(o);
    return o;
  };
  const TCase cases[] = {
      {"no argument: BaseAudio.ini beside the program", {}, {}},
      {"--config with its value in the next argument", {"--config", "/etc/BaseAudio.ini"}, opcoes([](TOpcoesLinha& o) {
         o.arquivoConfiguracao = "/etc/BaseAudio.ini";
       })},
      {"--config=value", {"--config=/etc/BaseAudio.ini"}, opcoes([](TOpcoesLinha& o) {
         o.arquivoConfiguracao = "/etc/BaseAudio.ini";
       })},
      {"only the first \"=\" ends the name", {"--config=a=b.ini"}, opcoes([](TOpcoesLinha& o) {
         o.arquivoConfiguracao = "a=b.ini";
       })},
      {"the next argument is the value even when it looks like an option",
       {"--config", "--verbose"},
       opcoes([](TOpcoesLinha& o) { o.arquivoConfiguracao = "--verbose"; })},
      {"--database with its value in the next argument",
       {"--database", "localhost:/dados/VELMARAUDIO.FDB"},
       opcoes([](TOpcoesLinha& o) {
         o.banco = "localhost:/dados/VELMARAUDIO.FDB";
         o.temBanco = true;
       })},
      {"--database=value", {"--database=C:\\Velmar\\VELMARAUDIO.FDB"}, opcoes([](TOpcoesLinha& o) {
         o.banco = "C:\\Velmar\\VELMARAUDIO.FDB";
         o.temBanco = true;
       })},
      {"an empty --database= counts as given", {"--database="}, opcoes([](TOpcoesLinha& o) { o.temBanco = true; })},
      {"an empty --database value counts as given", {"--database", ""}, opcoes([](TOpcoesLinha& o) {
         o.temBanco = true;
       })},
      {"--verbose and --dry-run", {"--verbose", "--dry-run"}, opcoes([](TOpcoesLinha& o) {
         o.detalhado = true;
         o.simulacao = true;
       })},
      {"their short forms", {"-n", "-v"}, opcoes([](TOpcoesLinha& o) {
         o.detalhado = true;
         o.simulacao = true;
       })},
      {"--conferir", {"--conferir"}, opcoes([](TOpcoesLinha& o) { o.conferencia = TConferencia::Avisa; })},
      {"--conferir=estrito", {"--conferir=estrito"}, opcoes([](TOpcoesLinha& o) {
         o.conferencia = TConferencia::Avisa;
         o.estrita = true;
       })},
      {"--conferir=corrigir", {"--conferir=corrigir"}, opcoes([](TOpcoesLinha& o) {
         o.conferencia = TConferencia::Corrige;
       })},
      {"the last --conferir counts", {"--conferir=estrito", "--conferir"}, opcoes([](TOpcoesLinha& o) {
         o.conferencia = TConferencia::Avisa;
       })},
      {"--conferir takes no separate value", {"--conferir", "estrito"}, opcoes([](TOpcoesLinha& o) {
         o.conferencia = TConferencia::Avisa;
         o.erro = "argumento desconhecido: estrito";
       })},
      {"--conferir with another value", {"--conferir=sim"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "valor desconhecido de --conferir: \"sim\" (use --conferir, --conferir=estrito ou --conferir=corrigir)";
       })},
      {"--conferir= with an empty value", {"--conferir="}, opcoes([](TOpcoesLinha& o) {
         o.erro = "valor desconhecido de --conferir: \"\" (use --conferir, --conferir=estrito ou --conferir=corrigir)";
       })},
      {"--paralelo with its value in the next argument", {"--paralelo", "4"}, opcoes([](TOpcoesLinha& o) {
         o.paralelo = 4;
       })},
      {"--paralelo=1: each file as its row comes", {"--paralelo=1"}, opcoes([](TOpcoesLinha& o) {
         o.paralelo = 1;
       })},
      {"--paralelo at its most", {"--paralelo=128"}, opcoes([](TOpcoesLinha& o) { o.paralelo = 128; })},
      {"--tempo-limite", {"--tempo-limite", "5"}, opcoes([](TOpcoesLinha& o) { o.tempoLimite = 5; })},
      {"--tempo-limite at its most", {"--tempo-limite=86400"}, opcoes([](TOpcoesLinha& o) { o.tempoLimite = 86400; })},
      {"--tempo-limite 0", {"--tempo-limite=0"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "--tempo-limite precisa de um número de segundos de 1 a 86400";
       })},
      {"--tempo-limite with a unit", {"--tempo-limite", "2m"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "--tempo-limite precisa de um número de segundos de 1 a 86400";
       })},
      {"--tempo-limite without its value", {"--tempo-limite"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "falta o valor de --tempo-limite";
       })},
      {"--paralelo 0", {"--paralelo", "0"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "--paralelo precisa de um número de 1 a 128";
       })},
      {"--paralelo past its most", {"--paralelo=129"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "--paralelo precisa de um número de 1 a 128";
       })},
      {"--paralelo with more than digits", {"--paralelo=4x"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "--paralelo precisa de um número de 1 a 128";
       })},
      {"--paralelo with a sign", {"--paralelo=-2"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "--paralelo precisa de um número de 1 a 128";
       })},
      {"--paralelo without its value", {"--paralelo"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "falta o valor de --paralelo";
       })},
      {"--help", {"--help"}, opcoes([](TOpcoesLinha& o) { o.ajuda = true; })},
      {"-h", {"-h"}, opcoes([](TOpcoesLinha& o) { o.ajuda = true; })},
      {"--version", {"--version"}, opcoes([](TOpcoesLinha& o) { o.versao = true; })},
      {"the Portuguese names", {"--banco", "b.fdb", "--detalhado", "--simulacao", "--ajuda", "--versao"},
       opcoes([](TOpcoesLinha& o) {
         o.banco = "b.fdb";
         o.temBanco = true;
         o.detalhado = true;
         o.simulacao = true;
         o.ajuda = true;
         o.versao = true;
       })},
      {"--configuracao=value", {"--configuracao=/etc/BaseAudio.ini"}, opcoes([](TOpcoesLinha& o) {
         o.arquivoConfiguracao = "/etc/BaseAudio.ini";
       })},
      {"a name and its alias: the last counts", {"--configuracao", "a.ini", "--config", "b.ini"},
       opcoes([](TOpcoesLinha& o) { o.arquivoConfiguracao = "b.ini"; })},
      {"an error names the spelling typed", {"--banco"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "falta o valor de --banco";
       })},
      {"a Portuguese flag given a value", {"--simulacao=sim"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "--simulacao não aceita valor";
       })},
      {"an empty --configuracao=", {"--configuracao="}, opcoes([](TOpcoesLinha& o) {
         o.erro = "--configuracao precisa de um arquivo";
       })},
      {"both, in Portuguese", {"--configuracao=a.ini", "--banco=b.fdb"}, opcoes([](TOpcoesLinha& o) {
         o.arquivoConfiguracao = "a.ini";
         o.banco = "b.fdb";
         o.temBanco = true;
         o.erro = "use --configuracao ou --banco, não os dois";
       })},
      {"both, one spelling of each", {"--banco=b.fdb", "--config=a.ini"}, opcoes([](TOpcoesLinha& o) {
         o.arquivoConfiguracao = "a.ini";
         o.banco = "b.fdb";
         o.temBanco = true;
         o.erro = "use --config ou --banco, não os dois";
       })},
      {"an accent is no other spelling", {"--simulação"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "argumento desconhecido: --simulação";
       })},
      {"the last --config counts", {"--config", "a.ini", "--config=b.ini"}, opcoes([](TOpcoesLinha& o) {
         o.arquivoConfiguracao = "b.ini";
       })},
      {"--config without its value", {"--config"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "falta o valor de --config";
       })},
      {"--database without its value", {"--verbose", "--database"}, opcoes([](TOpcoesLinha& o) {
         o.detalhado = true;
         o.erro = "falta o valor de --database";
       })},
      {"an empty --config=", {"--config="}, opcoes([](TOpcoesLinha& o) { o.erro = "--config precisa de um arquivo"; })},
      {"a flag given a value", {"--verbose=1"}, opcoes([](TOpcoesLinha& o) { o.erro = "--verbose não aceita valor"; })},
      {"an unknown option", {"--force"}, opcoes([](TOpcoesLinha& o) { o.erro = "argumento desconhecido: --force"; })},
      {"an unknown option with a value: its name is told", {"--force=sim"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "argumento desconhecido: --force";
       })},
      {"a bare database name is no argument", {"VELMARAUDIO.FDB"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "argumento desconhecido: VELMARAUDIO.FDB";
       })},
      {"the first error ends the reading", {"--force", "--config"}, opcoes([](TOpcoesLinha& o) {
         o.erro = "argumento desconhecido: --force";
       })},
      {"both --config and --database", {"--config", "a.ini", "--database", "b.fdb"}, opcoes([](TOpcoesLinha& o) {
         o.arquivoConfiguracao = "a.ini";
         o.banco = "b.fdb";
         o.temBanco = true;
         o.erro = "use --config ou --database, não os dois";
       })},
      {"both, --database first", {"--database=b.fdb", "--config=a.ini"}, opcoes([](TOpcoesLinha& o) {
         o.arquivoConfiguracao = "a.ini";
         o.banco = "b.fdb";
         o.temBanco = true;
         o.erro = "use --config ou --database, não os dois";
       })},
      {"an empty --database still clashes with --config",
       {"--database=", "--config=a.ini"},
       opcoes([](TOpcoesLinha& o) {
         o.arquivoConfiguracao = "a.ini";
         o.temBanco = true;
         o.erro = "use --config ou --database, não os dois";
       })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + ": " + Mostra(c.argumentos));
    const TOpcoesLinha o = LeOpcoes(c.argumentos);
    EXPECT_EQ(o.arquivoConfiguracao, c.esperadas.arquivoConfiguracao);
    EXPECT_EQ(o.banco, c.esperadas.banco);
    EXPECT_EQ(o.temBanco, c.esperadas.temBanco);
    EXPECT_EQ(o.detalhado, c.esperadas.detalhado);
    EXPECT_EQ(o.simulacao, c.esperadas.simulacao);
    EXPECT_EQ(o.conferencia, c.esperadas.conferencia);
    EXPECT_EQ(o.estrita, c.esperadas.estrita);
    EXPECT_EQ(o.paralelo, c.esperadas.paralelo);
    EXPECT_EQ(o.tempoLimite, c.esperadas.tempoLimite);
    EXPECT_EQ(o.ajuda, c.esperadas.ajuda);
    EXPECT_EQ(o.versao, c.esperadas.versao);
    EXPECT_EQ(o.erro, c.esperadas.erro);
  }
}

// --mapear may be given many times; each adds a rule, in order, so the first
// of two rules for the same folder wins. A wrong rule is a wrong argument.
TEST(OpcoesLinha, Mapear) {
  struct TCase {
    const char* what;
    std::vector<std::string> argumentos;
    std::size_t regras;
    std::string erro;
  };
  const TCase cases[] = {
      {"none", {}, 0, ""},
      {"one, value in the next argument", {"--mapear", "C:\\Musicas\\=/srv/musicas/"}, 1, ""},
      {"two, one with \"=\"", {"--mapear=C:\\=/c/", "--mapear", "\\\\s\\v\\=/v/"}, 2, ""},
      {"with --database", {"--database", "x.fdb", "--mapear", "C:\\=/c/"}, 1, ""},
      {"without its value", {"--mapear"}, 0, "falta o valor de --mapear"},
      {"without \"=\"", {"--mapear", "C:\\"}, 0, "--mapear C:\\: falta o sinal = entre DE e PARA"},
      {"an empty PARA", {"--mapear=C:\\="}, 0, "--mapear C:\\=: PARA vazio"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + ": " + Mostra(c.argumentos));
    const TOpcoesLinha o = LeOpcoes(c.argumentos);
    EXPECT_EQ(o.mapeamento.Size(), c.regras);
    EXPECT_EQ(o.erro, c.erro);
  }
  const TOpcoesLinha o = LeOpcoes({"--mapear", "C:\\M\\=/primeira/", "--mapear", "c:\\m\\=/segunda/"});
  EXPECT_EQ(o.mapeamento.Translate("C:\\M\\a.mp3").Path, "/primeira/a.mp3");
}

// Every alias of the option table reads as its main name: with a value when
// the option takes one, and with each value it accepts after "=".
TEST(OpcoesLinha, AliasesReadAsTheMainName) {
  const auto mesmas = [](const TOpcoesLinha& a, const TOpcoesLinha& b) {
    EXPECT_EQ(a.arquivoConfiguracao, b.arquivoConfiguracao);
    EXPECT_EQ(a.banco, b.banco);
    EXPECT_EQ(a.temBanco, b.temBanco);
    EXPECT_EQ(a.mapeamento.Size(), b.mapeamento.Size());
    EXPECT_EQ(a.detalhado, b.detalhado);
    EXPECT_EQ(a.simulacao, b.simulacao);
    EXPECT_EQ(a.conferencia, b.conferencia);
    EXPECT_EQ(a.estrita, b.estrita);
    EXPECT_EQ(a.paralelo, b.paralelo);
    EXPECT_EQ(a.tempoLimite, b.tempoLimite);
    EXPECT_EQ(a.ajuda, b.ajuda);
    EXPECT_EQ(a.versao, b.versao);
    EXPECT_EQ(a.erro, "");
    EXPECT_EQ(b.erro, "");
  };
  const TOpcoesLinha padrao;
  for (const TDescricaoOpcao& opcao : TabelaOpcoes()) {
    const std::vector<std::string> nomes = NomesOpcao(opcao);
    ASSERT_FALSE(nomes.empty());
    std::vector<std::string> valores = {""};
    if (opcao.valor == TValorOpcao::Obrigatorio) valores = {opcao.nomes[0] == std::string("--mapear") ? "C:\\=/c/" : "7"};
    for (const TFormaOpcao& forma : opcao.formas)
      if (forma.valor != nullptr) valores.push_back(std::string("=") + forma.valor);
    for (const std::string& valor : valores) {
      const auto argumentos = [&](const std::string& nome) {
        if (opcao.valor == TValorOpcao::Obrigatorio) return std::vector<std::string>{nome, valor};
        return std::vector<std::string>{nome + valor};
      };
      const TOpcoesLinha principal = LeOpcoes(argumentos(nomes[0]));
      SCOPED_TRACE(Mostra(argumentos(nomes[0])));
      // Each reading sets something, and the values after "=" differ from the bare option.
      EXPECT_EQ(principal.erro, "");
      EXPECT_TRUE(principal.arquivoConfiguracao != padrao.arquivoConfiguracao || principal.temBanco ||
                  principal.mapeamento.Size() > 0 || principal.detalhado || principal.simulacao ||
                  principal.conferencia != padrao.conferencia || principal.paralelo != padrao.paralelo ||
                  principal.tempoLimite != padrao.tempoLimite || principal.ajuda || principal.versao ||
                  principal.reverificacao != padrao.reverificacao || principal.idadeMinima != padrao.idadeMinima ||
                  principal.relatorio != padrao.relatorio);
      if (!valor.empty() && valor[0] == '=') {
        const TOpcoesLinha nua = LeOpcoes({nomes[0]});
        EXPECT_TRUE(principal.conferencia != nua.conferencia || principal.estrita != nua.estrita ||
                    principal.reverificacao != nua.reverificacao);
      }
      for (std::size_t i = 1; i < nomes.size(); ++i) {
        SCOPED_TRACE(Mostra(argumentos(nomes[i])));
        mesmas(LeOpcoes(argumentos(nomes[i])), principal);
      }
    }
  }
}

// The help is made from the table: each option's names, main name first,
// with its value's name; its lines at column 20; a head too long for that
// column on a line of its own.
TEST(OpcoesLinha, HelpFromTheTable) {
  const std::string& ajuda = TextoAjuda();
  EXPECT_THAT(ajuda, StartsWith("uso: atualiza-duracoes [--configuracao ARQUIVO] [--banco NOME]\n"
                                "                         [--mapear DE=PARA]... [--detalhado] [--simulacao]\n"
                                "                         [--conferir[=estrito|=corrigir]]\n"
                                "                         [--reverificar[=corrigir]] [--idade-minima S]\n"
                                "                         [--relatorio ARQUIVO] [--paralelo N] [--tempo-limite S]\n\n"));
  for (const char* trecho : {
           "\n  --configuracao, --config ARQUIVO\n"
           "                    lê o banco da seção BANCO, chave CAMINHO deste arquivo\n"
           "                    (padrão: BaseAudio.ini na pasta do programa)\n"
           "  --banco, --database NOME\n",
           "\n  --mapear DE=PARA  os caminhos do catálogo",
           "\n  --detalhado, --verbose, -v\n                    uma linha por registro",
           "\n  --simulacao, --dry-run, -n\n                    mede e informa como --detalhado,",
           "\n  --conferir        percorre também",
           "\n  --conferir=estrito  o mesmo, terminando com 3 quando houve aviso\n"
           "  --conferir=corrigir  o mesmo, mas grava",
           "\n  --paralelo N      mede",
           "\n  --tempo-limite S  espera",
           "\n  --ajuda, --help, -h  mostra este texto\n"
           "  --versao, --version  mostra a versão\n\n"
           "Saída: 0 quando a atualização termina, 1 quando",
           "ou quando a saída padrão não pode ser escrita, 2 quando os argumentos ou a\n",
           "errados, 3 com --conferir=estrito quando a atualização\nterminou mas houve aviso, e com --reverificar "
           "quando ficaram linhas com duração\ndiferente sem gravar, 128 + o número",
           "SIGHUP a interrompe (130, 143, 129): a linha",
       }) {
    EXPECT_NE(ajuda.find(trecho), std::string::npos) << trecho;
  }
  for (const TDescricaoOpcao& opcao : TabelaOpcoes())
    for (const std::string& nome : NomesOpcao(opcao)) EXPECT_NE(ajuda.find(" " + nome), std::string::npos) << nome;
}

// The numbers an option takes are written once, in its row: the help shows
// the constants the parser checks, and the parser refuses what is beyond them.
TEST(OpcoesLinha, NumbersFromTheConstants) {
  const std::string& ajuda = TextoAjuda();
  EXPECT_EQ(ajuda.find('{'), std::string::npos) << "a number left out of the help";
  const auto numero = [](int n) { return std::to_string(n); };
  EXPECT_NE(ajuda.find("(1 a " + numero(ParaleloMaximo) + ", padrão: " + numero(ParaleloPadrao) + ", como a janela;"),
            std::string::npos);
  EXPECT_NE(ajuda.find("S segundos (" + numero(CallLimitMinSeconds) + " a " + numero(CallLimitMaxSeconds) + ")"),
            std::string::npos);
  EXPECT_NE(ajuda.find("do arquivo de configuração, ou " + numero(DefaultCallLimitSeconds) + ")"), std::string::npos);
  const struct {
    std::vector<std::string> argumentos;
    std::string erro;
  } cases[] = {
      {{"--paralelo", numero(ParaleloMaximo)}, ""},
      {{"--paralelo", numero(ParaleloMaximo + 1)}, "--paralelo precisa de um número de 1 a " + numero(ParaleloMaximo)},
      {{"--paralelo", "0"}, "--paralelo precisa de um número de 1 a " + numero(ParaleloMaximo)},
      {{"--tempo-limite", numero(CallLimitMaxSeconds)}, ""},
      {{"--tempo-limite", numero(CallLimitMaxSeconds + 1)},
       "--tempo-limite precisa de um número de segundos de " + numero(CallLimitMinSeconds) + " a " +
           numero(CallLimitMaxSeconds)},
  };
  for (const auto& c : cases) EXPECT_EQ(LeOpcoes(c.argumentos).erro, c.erro) << c.argumentos[1];
  EXPECT_EQ(TOpcoesLinha().paralelo, ParaleloPadrao);
}

}  // namespace
