// The manual page and the README of atualiza-duracoes against the program's
// own tables: the options (cli/OpcoesLinha) and the exit statuses
// (cli/StatusSaida.h), so that neither list drifts from what the program does.

#include "cli/OpcoesLinha.h"
#include "cli/StatusSaida.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::Not;

using TNomes = std::vector<std::string>;

std::vector<std::string> Linhas(const std::string& texto) {
  std::vector<std::string> linhas;
  std::istringstream entrada(texto);
  for (std::string linha; std::getline(entrada, linha);) linhas.push_back(linha);
  return linhas;
}

// The option names of a text, in order, each once: "--conferir=estrito"
// names --conferir; a hyphen inside a word ("atualiza-duracoes") is none.
TNomes NomesEm(const std::string& texto) {
  static const std::regex nome(R"((?:^|[^A-Za-z0-9-])(--?[a-z][a-z0-9-]*))");
  TNomes nomes;
  for (auto i = std::sregex_iterator(texto.begin(), texto.end(), nome); i != std::sregex_iterator(); ++i)
    if (std::find(nomes.begin(), nomes.end(), (*i)[1].str()) == nomes.end()) nomes.push_back((*i)[1].str());
  return nomes;
}

std::vector<int> NumerosEm(const std::string& texto) {
  static const std::regex numero(R"(\b([0-9]+)\b)");
  std::vector<int> numeros;
  for (auto i = std::sregex_iterator(texto.begin(), texto.end(), numero); i != std::sregex_iterator(); ++i)
    numeros.push_back(std::stoi((*i)[1].str()));
  return numeros;
}

// A roff line as it reads: "\-" is "-", font changes are nothing.
std::string SemRoff(std::string linha) {
  linha = std::regex_replace(linha, std::regex(R"(\\f[BIRP])"), "");
  return std::regex_replace(linha, std::regex(R"(\\-)"), "-");
}

std::string Manual() { return dztest::ReadFileText(dztest::SourceDir() + "/packaging/man/atualiza-duracoes.1"); }
std::string Readme() { return dztest::ReadFileText(dztest::SourceDir() + "/README.md"); }

// The lines of a manual page's section (".SH NAME" up to the next ".SH").
std::vector<std::string> Secao(const std::string& manual, const std::string& titulo) {
  std::vector<std::string> secao;
  bool dentro = false;
  for (const std::string& linha : Linhas(manual)) {
    if (linha.rfind(".SH", 0) == 0) {
      dentro = linha == ".SH " + titulo;
      continue;
    }
    if (dentro) secao.push_back(SemRoff(linha));
  }
  return secao;
}

// The tag of each item (the line after ".TP") of a section.
std::vector<std::string> Rotulos(const std::vector<std::string>& secao) {
  std::vector<std::string> rotulos;
  for (std::size_t i = 0; i + 1 < secao.size(); ++i)
    if (secao[i] == ".TP") rotulos.push_back(secao[i + 1]);
  return rotulos;
}

// The first cells of the rows of the README's table that is, or follows,
// the line "marca"; its header and rule left out.
std::vector<std::string> PrimeiraColuna(const std::string& readme, const std::string& marca) {
  std::vector<std::string> celulas;
  const std::vector<std::string> linhas = Linhas(readme);
  auto linha = std::find(linhas.begin(), linhas.end(), marca);
  if (linha == linhas.end()) return celulas;
  while (linha != linhas.end() && linha->rfind("|", 0) != 0) ++linha;
  if (std::distance(linha, linhas.end()) < 2) return celulas;
  for (linha += 2; linha < linhas.end() && linha->rfind("|", 0) == 0; ++linha)
    celulas.push_back(linha->substr(1, linha->find('|', 1) - 1));
  return celulas;
}

// Each option's names as the table has them, main name first.
std::vector<TNomes> NomesDaTabela() {
  std::vector<TNomes> nomes;
  for (const TDescricaoOpcao& opcao : TabelaOpcoes()) nomes.push_back(NomesOpcao(opcao));
  return nomes;
}

// Each item's names, in order; consecutive items of one option (the README
// gives --conferir=estrito a row of its own) count once.
std::vector<TNomes> NomesPorItem(const std::vector<std::string>& itens) {
  std::vector<TNomes> nomes;
  for (const std::string& item : itens) {
    TNomes desteItem = NomesEm(item);
    if (nomes.empty() || nomes.back() != desteItem) nomes.push_back(std::move(desteItem));
  }
  return nomes;
}

std::vector<int> StatusDoPrograma() {
  std::vector<int> status = {SaidaOk, SaidaErro, SaidaUso, SaidaAvisos};
  for (const int sinal : SinaisDeParada) status.push_back(SaidaPorSinal(sinal));
  std::sort(status.begin(), status.end());
  return status;
}

std::vector<int> StatusDosItens(const std::vector<std::string>& itens) {
  std::vector<int> status;
  for (const std::string& item : itens)
    for (const int numero : NumerosEm(item)) status.push_back(numero);
  std::sort(status.begin(), status.end());
  return status;
}

// One item per option, in the table's order, naming every name and alias
// and no other option.
TEST(DocumentacaoAtualiza, ManualOptions) {
  const std::vector<std::string> rotulos = Rotulos(Secao(Manual(), "OPÇÕES"));
  ASSERT_THAT(rotulos, Not(IsEmpty()));
  EXPECT_THAT(NomesPorItem(rotulos), ElementsAreArray(NomesDaTabela()));
}

// The synopsis names each option by its main name, and no alias.
TEST(DocumentacaoAtualiza, ManualSynopsis) {
  std::string sinopse;
  for (const std::string& linha : Secao(Manual(), "SINOPSE")) sinopse += linha + "\n";
  const TNomes nomes = NomesEm(sinopse);
  const std::set<std::string> naSinopse(nomes.begin(), nomes.end());
  std::set<std::string> principais;
  for (const TDescricaoOpcao& opcao : TabelaOpcoes()) principais.insert(opcao.nomes[0]);
  EXPECT_EQ(nomes.size(), naSinopse.size());
  EXPECT_THAT(naSinopse, ElementsAreArray(principais));
}

TEST(DocumentacaoAtualiza, ReadmeOptions) {
  const std::vector<std::string> celulas = PrimeiraColuna(Readme(), "| option | meaning |");
  ASSERT_THAT(celulas, Not(IsEmpty()));
  EXPECT_THAT(NomesPorItem(celulas), ElementsAreArray(NomesDaTabela()));
}

// Every exit status the program gives, each in one item, and no other.
TEST(DocumentacaoAtualiza, ExitStatuses) {
  EXPECT_THAT(StatusDosItens(Rotulos(Secao(Manual(), "STATUS DE SAÍDA"))), ElementsAreArray(StatusDoPrograma()));
  EXPECT_THAT(StatusDosItens(PrimeiraColuna(Readme(), "Exit status:")), ElementsAreArray(StatusDoPrograma()));
}

}  // namespace
