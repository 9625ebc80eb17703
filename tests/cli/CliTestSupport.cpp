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

std::vector<std::string> SemIdadeMinima(const std::string& programa, const std::vector<std::string>& argumentos) {
  if (std::filesystem::path(programa).filename() != "atualiza-duracoes") return argumentos;
  for (const std::string& argumento : argumentos)
    if (argumento.rfind("--idade-minima", 0) == 0) return argumentos;
  std::vector<std::string> todos = {"--idade-minima=0"};
  todos.insert(todos.end(), argumentos.begin(), argumentos.end());
  return todos;
}

TRodada Roda(const std::vector<std::string>& argumentos, const std::string& programa, int limite) {
  const TTempDir pasta;
  return RodaComando(pasta, "timeout " + std::to_string(limite) + " " +
                                LinhaDeComando(programa, SemIdadeMinima(programa, argumentos)));
}

TRodada RodaNoTerminal(const std::vector<std::string>& argumentos) {
  const TTempDir pasta;
  // -e: script's own exit status is the program's.
  return RodaComando(pasta, "script -qfec " +
                                ShellQuote(LinhaDeComando(AtualizaPath(), SemIdadeMinima(AtualizaPath(), argumentos))) +
                                " /dev/null");
}

TAmostras::TAmostras() : pasta_(SampleFolder(TSampleSet::Catalogue)) {}

std::string LinhaDetalhada(const char* tabela, int codigo, const std::string& caminho, int segundos, const char* tempo,
                           const char* motivo) {
  return std::string(tabela) + "\t" + std::to_string(codigo) + "\t" + caminho + "\t" + std::to_string(segundos) + "\t" +
         tempo + (motivo != nullptr ? std::string("\t") + motivo : std::string()) + "\n";
}

std::string Resumo(int visitadas, int diferentes, int gravadas, int recentes, int semMedida) {
  const auto n = [](int quantas, const char* uma, const char* varias) {
    return std::to_string(quantas) + " " + (quantas == 1 ? uma : varias);
  };
  return "Resumo: " + n(visitadas, "linha visitada", "linhas visitadas") + ", " + std::to_string(diferentes) +
         " com duração diferente da do arquivo, " + n(gravadas, "gravada", "gravadas") + ", " +
         n(recentes, "ignorada por ser recente", "ignoradas por serem recentes") + ", " + std::to_string(semMedida) +
         " sem medida.\n";
}

std::string Ini(std::initializer_list<std::string> linhas) {
  std::string texto;
  for (const auto& linha : linhas) texto += linha + "\r\n";
  return texto;
}

}  // namespace dztest
