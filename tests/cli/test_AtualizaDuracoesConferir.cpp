// atualiza-duracoes --conferir on a catalogue: the lines and the count it
// prints, its exit status, and what the catalogue gets. (Which files get a
// warning and why: tests/run/test_Conferencia; the wording:
// test_LinhasConferencia.)

#include "cli/LinhasConferencia.h"

#include "audio/MPEGFrameWalk.h"
#include "audio/MPEGaudio.h"
#include "audio/U_Funcoes.h"
#include "tests/cli/CliTestSupport.h"
#include "cli/StatusSaida.h"
#include "tests/support/SampleFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using dztest::InsereMusica;
using dztest::InserePasta;
using dztest::InsereVinheta;
using dztest::LinhaDetalhada;
using dztest::Roda;
using dztest::TBytes;
using dztest::TRodada;
using dztest::TTempDir;
using dztest::TTestDatabase;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// The row a warning is about, as the run reports it, with its file's walk.
TLinhaAtualizada Avisada(TTabela tabela, int codigo, const std::string& caminho,
                         const TConferenciaArquivo& conferencia) {
  TLinhaAtualizada linha{tabela, codigo, caminho, "", CharacterSetUtf8, {}};
  linha.medida.conferencia = conferencia;
  return linha;
}

// ---------------------------------------------------------------- the program on a catalogue

// The sample set Conferencia: one file of each kind.
class AtualizaDuracoesConferir : public ::testing::Test {
protected:
  static void SetUpTestSuite() { pasta_ = dztest::SampleFolder(dztest::TSampleSet::Conferencia); }

  static std::string Pasta() { return pasta_.string() + "/"; }
  static std::string Arquivo(const std::string& nome) { return (pasta_ / nome).string(); }

  static constexpr const char* Bom = "bom.mp3";
  static constexpr const char* Truncado = "truncado.mp3";
  static constexpr const char* SemXing = "vbr sem xing.mp3";
  static constexpr const char* Lixo = "lixo no fim.mp3";
  static constexpr const char* Wav = "bom.wav";

  static std::string Catalogo() {
    return InserePasta(1, Pasta()) + InsereMusica(40, "00:00", 1, Bom) + InsereMusica(30, "00:00", 1, Truncado) +
           InsereMusica(20, "00:00", 1, SemXing) + InsereMusica(10, "00:00", 1, Wav) +
           InsereVinheta(1, "00:00", Arquivo(Lixo));
  }
  // A row's --verbose line, with what the catalogue gets for its file.
  static std::string Linha(const char* tabela, int codigo, const std::string& caminho) {
    const std::int32_t segundos = DuracaoEmSegundos(caminho);
    return LinhaDetalhada(tabela, codigo, caminho, segundos, SegundosParaTempo(segundos).c_str());
  }
  // The warning for a file, checking its reason.
  static std::string Aviso(TTabela tabela, int codigo, const std::string& caminho, TMotivoAviso motivo) {
    const TConferenciaArquivo conferencia = ConfereArquivo(caminho);
    EXPECT_EQ(conferencia.motivo, motivo) << caminho;
    return LinhaAviso(Avisada(tabela, codigo, caminho, conferencia)) + "\n";
  }
  static std::string AvisoTruncado() {
    return Aviso(TTabela::Musicas, 30, Pasta() + Truncado, TMotivoAviso::ArquivoTruncado);
  }
  static std::string AvisoSemXing() {
    return Aviso(TTabela::Musicas, 20, Pasta() + SemXing, TMotivoAviso::VBRSemCabecalho);
  }
  static std::string AvisoLixo() { return Aviso(TTabela::Vinhetas, 1, Arquivo(Lixo), TMotivoAviso::EstimativaDifere); }
  // The music rows after a run that wrote them: each holds the estimate.
  static std::vector<std::string> Depois() {
    const std::pair<int, const char*> musicas[] = {{10, Wav}, {20, SemXing}, {30, Truncado}, {40, Bom}};
    std::vector<std::string> linhas;
    for (const auto& [codigo, arquivo] : musicas) {
      const std::int32_t segundos = DuracaoEmSegundos(Pasta() + arquivo);
      linhas.push_back(std::to_string(codigo) + "|" + std::to_string(segundos) + "|" + SegundosParaTempo(segundos));
    }
    return linhas;
  }

  static std::filesystem::path pasta_;
};

std::filesystem::path AtualizaDuracoesConferir::pasta_;

const std::string FaseMusicas = "Progresso: Músicas 4/4 (100%); geral 4/5 (80%)\n";
const std::string FaseVinhetas = "Progresso: Vinhetas 1/1 (100%); geral 5/5 (100%)\n";
const std::string Sucesso = "Atualização realizada com sucesso.\n";
const std::string Contagem = "Conferência: 3 avisos em 4 arquivos MP3 percorridos.\n";
const std::string Simulacao = "Simulação (--dry-run): nenhuma linha foi gravada nem confirmada.\n";
// The five rows written (or, in a dry run, not), every file measured.
const std::string Gravadas = dztest::Resumo(5, 0, 5, 0, 0);
const std::string NaoGravadas = dztest::Resumo(5, 0, 0, 0, 0);

// With --dry-run every row is told and its warning follows it; nothing is
// written, so a whole catalogue can be audited.
TEST_F(AtualizaDuracoesConferir, DryRunTellsEveryRowAndWarnsAfterIt) {
  TTestDatabase db(Catalogo());
  const std::vector<std::string> antes = dztest::Versoes(db.Path());
  const TRodada r = Roda({"--database", db.Path(), "--conferir", "--dry-run"});
  EXPECT_EQ(r.saida, SaidaOk);
  EXPECT_EQ(r.saidaErros, "");
  EXPECT_EQ(r.saidaPadrao, Linha("Tb_Musicas", 40, Pasta() + Bom) + Linha("Tb_Musicas", 30, Pasta() + Truncado) +
                               AvisoTruncado() + Linha("Tb_Musicas", 20, Pasta() + SemXing) + AvisoSemXing() +
                               Linha("Tb_Musicas", 10, Pasta() + Wav) + FaseMusicas +
                               Linha("Tb_Vinhetas", 1, Arquivo(Lixo)) + AvisoLixo() + FaseVinhetas + Sucesso +
                               Contagem + NaoGravadas + Simulacao);
  EXPECT_THAT(dztest::Versoes(db.Path()), ElementsAreArray(antes));
}

// The warnings come without --verbose too; the catalogue gets the estimate
// whatever the walk found; the exit status is 0 unless =estrito asks for 3.
TEST_F(AtualizaDuracoesConferir, WritesTheEstimateAndEndsAsAsked) {
  const std::string saida =
      AvisoTruncado() + AvisoSemXing() + FaseMusicas + AvisoLixo() + FaseVinhetas + Sucesso + Contagem + Gravadas;
  const struct {
    const char* opcao;
    int saida;
  } cases[] = {{"--conferir", SaidaOk}, {"--conferir=estrito", SaidaAvisos}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.opcao);
    TTestDatabase db(Catalogo());
    const TRodada r = Roda({"--database", db.Path(), c.opcao});
    EXPECT_EQ(r.saida, c.saida);
    EXPECT_EQ(r.saidaPadrao, saida);
    EXPECT_EQ(r.saidaErros, "");
    EXPECT_THAT(dztest::Musicas(db.Path()), ElementsAreArray(Depois()));
  }
  // The truncated file's row holds the length its Xing header announces: twice what is there.
  TMPEGFrameWalk walk;
  ASSERT_TRUE(walk.LoadFromFile(Pasta() + Truncado));
  EXPECT_GT(DuracaoEmSegundos(Pasta() + Truncado), 1.8 * walk.Duration());
}

TEST_F(AtualizaDuracoesConferir, StrictWithoutWarningsEndsWithZero) {
  TTestDatabase db(InserePasta(1, Pasta()) + InsereMusica(2, "00:00", 1, Bom) + InsereMusica(1, "00:00", 1, Wav));
  const TRodada r = Roda({"--database", db.Path(), "--conferir=estrito"});
  EXPECT_EQ(r.saida, SaidaOk);
  EXPECT_EQ(r.saidaPadrao, "Progresso: Músicas 2/2 (100%); geral 2/2 (100%)\n"
                           "Progresso: Vinhetas 0/0 (0%); geral 2/2 (100%)\n" +
                               Sucesso + "Conferência: 0 avisos em 1 arquivo MP3 percorrido.\n" +
                               dztest::Resumo(2, 0, 2, 0, 0));
  EXPECT_EQ(r.saidaErros, "");
  EXPECT_THAT(dztest::Musicas(db.Path()), ElementsAre("1|3|00:03", "2|5|00:05"));
}

// --conferir=corrigir: the rows warned of get the walked length, which is
// what a decoder plays; the others keep the estimate.
TEST_F(AtualizaDuracoesConferir, CorrectingWritesTheWalkedLength) {
  // Each file warned of, its walked seconds, and what ffmpeg decodes of it.
  struct TArquivo {
    std::string caminho;
    std::int32_t estimativa, percorrida;
  };
  std::vector<TArquivo> arquivos;
  TTempDir scratch;
  for (const std::string& caminho : {Pasta() + Truncado, Pasta() + SemXing, Arquivo(Lixo)}) {
    SCOPED_TRACE(caminho);
    const TConferenciaArquivo conferencia = ConfereArquivo(caminho);
    ASSERT_NE(conferencia.motivo, TMotivoAviso::Nenhum);
    const std::int32_t percorrida = SegundosPercorridos(conferencia);
    const std::int32_t estimativa = DuracaoEmSegundos(caminho);
    EXPECT_GT(std::abs(percorrida - estimativa), 1);
    const std::int64_t amostras = dztest::DecodedSamples(caminho, scratch);
    ASSERT_GE(amostras, 0) << "ffmpeg failed";
    const double decodificada = static_cast<double>(amostras) / 44100;
    EXPECT_NEAR(percorrida, decodificada, 1.0);
    arquivos.push_back({caminho, estimativa, percorrida});
  }
  const auto com = [](const TArquivo& a) { return std::to_string(a.percorrida) + "|" + SegundosParaTempo(a.percorrida); };
  const std::int32_t bom = DuracaoEmSegundos(Pasta() + Bom), wav = DuracaoEmSegundos(Pasta() + Wav);
  const std::vector<std::string> musicas = {"10|" + std::to_string(wav) + "|" + SegundosParaTempo(wav),
                                            "20|" + com(arquivos[1]), "30|" + com(arquivos[0]),
                                            "40|" + std::to_string(bom) + "|" + SegundosParaTempo(bom)};
  const auto aviso = [](TTabela tabela, int codigo, const std::string& caminho, const char* nota) {
    return LinhaAviso(Avisada(tabela, codigo, caminho, ConfereArquivo(caminho)), nota) + "\n";
  };
  const std::string contagem = "Conferência: 3 avisos em 4 arquivos MP3 percorridos; 3 linhas com a duração percorrida.\n";

  for (const char* paralelo : {"1", "8"}) {
    SCOPED_TRACE(paralelo);
    TTestDatabase db(Catalogo());
    const TRodada r = Roda({"--database", db.Path(), "--conferir=corrigir", "--paralelo", paralelo});
    EXPECT_EQ(r.saida, SaidaOk);
    EXPECT_EQ(r.saidaErros, "");
    const char* nota = TextoGravadaPercorrida;
    EXPECT_EQ(r.saidaPadrao, aviso(TTabela::Musicas, 30, arquivos[0].caminho, nota) +
                                 aviso(TTabela::Musicas, 20, arquivos[1].caminho, nota) + FaseMusicas +
                                 aviso(TTabela::Vinhetas, 1, arquivos[2].caminho, nota) + FaseVinhetas + Sucesso +
                                 contagem + Gravadas);
    EXPECT_THAT(dztest::Musicas(db.Path()), ElementsAreArray(musicas));
    EXPECT_THAT(dztest::Vinhetas(db.Path()), ElementsAre("1|" + com(arquivos[2])));
  }

  // A dry run tells the walked length in the row's line and writes nothing.
  TTestDatabase db(Catalogo());
  const std::vector<std::string> antes = dztest::Versoes(db.Path());
  const TRodada r = Roda({"--database", db.Path(), "--conferir=corrigir", "--dry-run"});
  EXPECT_EQ(r.saida, SaidaOk);
  const char* nota = TextoSeriaGravadaPercorrida;
  const auto linha = [](const char* tabela, int codigo, const std::string& caminho, std::int32_t segundos) {
    return LinhaDetalhada(tabela, codigo, caminho, segundos, SegundosParaTempo(segundos).c_str());
  };
  EXPECT_EQ(r.saidaPadrao,
            Linha("Tb_Musicas", 40, Pasta() + Bom) + linha("Tb_Musicas", 30, arquivos[0].caminho, arquivos[0].percorrida) +
                aviso(TTabela::Musicas, 30, arquivos[0].caminho, nota) +
                linha("Tb_Musicas", 20, arquivos[1].caminho, arquivos[1].percorrida) +
                aviso(TTabela::Musicas, 20, arquivos[1].caminho, nota) + Linha("Tb_Musicas", 10, Pasta() + Wav) +
                FaseMusicas + linha("Tb_Vinhetas", 1, arquivos[2].caminho, arquivos[2].percorrida) +
                aviso(TTabela::Vinhetas, 1, arquivos[2].caminho, nota) + FaseVinhetas + Sucesso + contagem +
                NaoGravadas + Simulacao);
  EXPECT_THAT(dztest::Versoes(db.Path()), ElementsAreArray(antes));
}

TEST_F(AtualizaDuracoesConferir, WrongValue) {
  const TRodada r = Roda({"--database", "x.fdb", "--conferir=sempre"});
  EXPECT_EQ(r.saida, SaidaUso);
  EXPECT_EQ(r.saidaPadrao, "");
  EXPECT_EQ(r.saidaErros.rfind("atualiza-duracoes: valor desconhecido de --conferir: \"sempre\"", 0), 0u)
      << r.saidaErros;
}

}  // namespace
