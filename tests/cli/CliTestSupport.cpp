#include "tests/cli/CliTestSupport.h"

#include "tests/support/SampleFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  // Whatever bytes a catalogue or a disk holds, every line the program
  // prints is UTF-8 that a person and grep can read.
  for (const std::string* saida : {&rodada.saidaPadrao, &rodada.saidaErros}) {
    std::size_t inicio = 0;
    while (inicio < saida->size()) {
      const std::size_t fim = std::min(saida->find('\n', inicio), saida->size());
      const std::string linha = saida->substr(inicio, fim - inicio);
      EXPECT_TRUE(WellFormedUtf8(linha)) << "a line not in UTF-8: " << ShellQuote(linha);
      inicio = fim + 1;
    }
  }
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
