#include "tests/cli/CliTestSupport.h"

#include "tests/support/SampleFiles.h"

#include <chrono>

namespace dztest {

namespace {

std::string LinhaDeComando(const std::string& programa, const std::vector<std::string>& argumentos) {
  std::string linha = ShellQuote(programa);
  for (const auto& argumento : argumentos) linha += " " + ShellQuote(argumento);
  return linha;
}

// Runs a shell command line whose outputs go to the files "saida" and "erros" of pasta.
TRodada RodaComando(const TTempDir& pasta, const std::string& comando) {
  TRodada rodada;
  const auto inicio = std::chrono::steady_clock::now();
  rodada.saida =
      RunCommand(comando + " </dev/null >" + ShellQuote(pasta.File("saida")) + " 2>" + ShellQuote(pasta.File("erros")));
  rodada.segundos = std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
  rodada.saidaPadrao = ReadFileText(pasta.File("saida"));
  rodada.saidaErros = ReadFileText(pasta.File("erros"));
  return rodada;
}

}  // namespace

std::string AtualizaPath() { return ATUALIZA_PATH; }

TRodada Roda(const std::vector<std::string>& argumentos, const std::string& programa, int limite) {
  const TTempDir pasta;
  return RodaComando(pasta, "timeout " + std::to_string(limite) + " " + LinhaDeComando(programa, argumentos));
}

TRodada RodaNoTerminal(const std::vector<std::string>& argumentos) {
  const TTempDir pasta;
  // -e: script's own exit status is the program's.
  return RodaComando(pasta, "script -qfec " + ShellQuote(LinhaDeComando(AtualizaPath(), argumentos)) + " /dev/null");
}

TAmostras::TAmostras() : pasta_(SampleFolder(TSampleSet::Catalogue)) {}

std::string LinhaDetalhada(const char* tabela, int codigo, const std::string& caminho, int segundos, const char* tempo,
                           const char* motivo) {
  return std::string(tabela) + "\t" + std::to_string(codigo) + "\t" + caminho + "\t" + std::to_string(segundos) + "\t" +
         tempo + (motivo != nullptr ? std::string("\t") + motivo : std::string()) + "\n";
}

std::string Ini(std::initializer_list<std::string> linhas) {
  std::string texto;
  for (const auto& linha : linhas) texto += linha + "\r\n";
  return texto;
}

}  // namespace dztest
