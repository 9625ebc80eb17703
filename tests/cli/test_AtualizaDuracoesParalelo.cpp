// atualiza-duracoes --paralelo: the next rows' files measured on several
// threads while the run writes the current row. Whatever the number of
// threads, a run prints the same bytes, writes the same rows and ends at the
// same row as a run that measures each file as its row comes (--paralelo 1).

#include "tests/cli/CliTestSupport.h"
#include "cli/StatusSaida.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using dztest::InsereMusica;
using dztest::InserePasta;
using dztest::InsereVinheta;
using dztest::Musicas;
using dztest::Roda;
using dztest::TAmostras;
using dztest::TRodada;
using dztest::TTestDatabase;
using dztest::Vinhetas;
using ::testing::HasSubstr;

// More rows than the most threads of the cases, so the rows measured ahead
// slide along the catalogue: every kind of file the samples have, a missing
// file, the same file on many rows, and rows of both tables.
constexpr int LinhasMusica = 60;
constexpr int LinhasVinheta = 12;

std::string Catalogo(const TAmostras& amostras, const std::string& extra = {}) {
  const char* arquivos[] = {TAmostras::Tres,     TAmostras::Cinco,    TAmostras::Curto, TAmostras::Dois,
                            TAmostras::TextoWav, TAmostras::TextoMp3, "falta.wav"};
  std::string sql = InserePasta(1, amostras.Pasta());
  for (int codigo = 1; codigo <= LinhasMusica; ++codigo)
    sql += InsereMusica(codigo, "00:00", 1, arquivos[codigo % std::size(arquivos)]);
  for (int codigo = 1; codigo <= LinhasVinheta; ++codigo)
    sql += InsereVinheta(codigo, "00:00", amostras.Arquivo(arquivos[(codigo * 3) % std::size(arquivos)]));
  return sql + extra;
}

// A write the database refuses at music row 25, as a lock held by another
// program would make it fail: the run ends there.
const std::string RecusaLinha25 =
    "CREATE EXCEPTION E_RECUSA 'linha 25 recusada';\n"
    "SET TERM ^ ;\n"
    "CREATE TRIGGER T_RECUSA FOR TB_MUSICAS BEFORE UPDATE AS\n"
    "BEGIN\n"
    "  IF (OLD.MUS_CODIGO = 25) THEN EXCEPTION E_RECUSA;\n"
    "END^\n"
    "SET TERM ; ^\n";

struct TResultado {
  TRodada rodada;
  std::vector<std::string> musicas, vinhetas;
};

TResultado Roda(const TAmostras& amostras, const std::string& extra, const std::vector<std::string>& opcoes,
                int paralelo) {
  TTestDatabase db(Catalogo(amostras, extra));
  std::vector<std::string> argumentos = {"--database", db.Path(), "--paralelo", std::to_string(paralelo)};
  argumentos.insert(argumentos.end(), opcoes.begin(), opcoes.end());
  TResultado resultado{Roda(argumentos), {}, {}};
  resultado.musicas = Musicas(db.Path());
  resultado.vinhetas = Vinhetas(db.Path());
  return resultado;
}

std::size_t Linhas(const std::string& texto) { return static_cast<std::size_t>(std::count(texto.begin(), texto.end(), '\n')); }

TEST(AtualizaDuracoesParalelo, SameOutputAndRowsAsOneFileAtATime) {
  const TAmostras amostras;
  struct TCase {
    const char* what;
    std::string extra;
    std::vector<std::string> opcoes;
    int saida;
    std::size_t linhasSaida;  // of the run that measures one file at a time
    const char* erro;         // part of standard error
  };
  const std::size_t linhas = LinhasMusica + LinhasVinheta;
  const TCase cases[] = {
      {"one line per phase", {}, {}, SaidaOk, 4, ""},
      {"--verbose", {}, {"--verbose"}, SaidaOk, linhas + 4, ""},
      {"--dry-run", {}, {"--dry-run"}, SaidaOk, linhas + 5, ""},
      {"--conferir with --dry-run", {}, {"--conferir", "--dry-run", "--verbose"}, SaidaOk, linhas + 6, ""},
      {"a refused write ends the run at its row", RecusaLinha25, {"--verbose"}, SaidaErro, LinhasMusica - 25,
       "linha 25 recusada"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TResultado umPorVez = Roda(amostras, c.extra, c.opcoes, 1);
    EXPECT_EQ(umPorVez.rodada.saida, c.saida);
    EXPECT_EQ(Linhas(umPorVez.rodada.saidaPadrao), c.linhasSaida) << umPorVez.rodada.saidaPadrao;
    EXPECT_THAT(umPorVez.rodada.saidaErros, HasSubstr(c.erro));
    // 2 threads lag the run; 7 keep ahead of it; 128 take a phase's rows at once.
    for (const int paralelo : {2, 7, 128}) {
      SCOPED_TRACE("--paralelo " + std::to_string(paralelo));
      const TResultado adiante = Roda(amostras, c.extra, c.opcoes, paralelo);
      EXPECT_EQ(adiante.rodada.saida, umPorVez.rodada.saida);
      EXPECT_EQ(adiante.rodada.saidaPadrao, umPorVez.rodada.saidaPadrao);
      EXPECT_EQ(adiante.rodada.saidaErros, umPorVez.rodada.saidaErros);
      EXPECT_EQ(adiante.musicas, umPorVez.musicas);
      EXPECT_EQ(adiante.vinhetas, umPorVez.vinhetas);
    }
  }
}

}  // namespace
