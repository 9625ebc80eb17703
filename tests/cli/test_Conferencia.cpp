// atualiza-duracoes --conferir: which files get a warning and why, the
// lines and the count it prints, its exit status, and that the catalogue
// still gets the estimate.

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

// MPEG 1 Layer III frames at 44100 Hz (1152 samples each): the header, then
// zeros; bitRateIndex 1 is 32 kbit/s (104 bytes), 9 is 128 (417), 14 is 320 (1044).
TBytes& Frames(TBytes& bytes, int count, std::uint8_t bitRateIndex) {
  const THeaderBytes header{0xFF, 0xFB, static_cast<std::uint8_t>(bitRateIndex << 4), 0x64};
  FrameData frame{};
  MPEGFrame::DecodeHeader(header, frame);
  for (int i = 0; i < count; ++i) {
    const std::size_t end = bytes.Size() + MPEGFrame::FrameLength(frame);
    bytes.U8s({header[0], header[1], header[2], header[3]}).PadTo(end);
  }
  return bytes;
}

// The row a warning is about, as the run reports it, with its file's walk.
TLinhaAtualizada Avisada(TTabela tabela, int codigo, const std::string& caminho,
                         const TConferenciaArquivo& conferencia) {
  TLinhaAtualizada linha{tabela, codigo, caminho, "", CharacterSetUtf8, {}};
  linha.medida.conferencia = conferencia;
  return linha;
}

TEST(Conferencia, WhichFilesAreWalkedAndWhichGetAWarning) {
  TTempDir dir;
  TBytes inteiro;
  Frames(inteiro, 100, 9);
  TBytes truncado;
  truncado.U8s({0xFF, 0xFB, 0x90, 0x64}).Zeros(32).Str("Xing").BE32(0x0F).BE32(200).BE32(0).PadTo(417);
  Frames(truncado, 100, 9);
  // A quiet first frame at 32 kbit/s, then loud ones at 320: the estimate
  // takes the whole file at the first frame's rate.
  TBytes vbr;
  Frames(Frames(vbr, 1, 1), 100, 14);
  TBytes lixo;
  Frames(lixo, 100, 9).Fill(70000, 0x11);
  TBytes cortado;
  Frames(cortado, 100, 9).U8s({0xFF, 0xFB, 0x90, 0x64}).Zeros(100);
  const double quadro = 1152.0 / 44100;
  const struct {
    const char* what;
    const char* arquivo;
    std::vector<std::uint8_t> bytes;
    bool percorrido;
    TMotivoAviso motivo;
    double estimativa, percorrida;
  } cases[] = {
      {"a whole stream", "inteiro.mp3", inteiro, true, TMotivoAviso::Nenhum, 41700 * 8 / 128000.0, 100 * quadro},
      {"any letter case of .mp3", "inteiro.Mp3", inteiro, true, TMotivoAviso::Nenhum, 41700 * 8 / 128000.0,
       100 * quadro},
      {"a Xing header announcing twice the frames", "truncado.mp3", truncado, true, TMotivoAviso::ArquivoTruncado,
       200 * quadro, 100 * quadro},
      {"a file that ends inside a frame, within a second of the estimate", "cortado.mp3", cortado, true,
       TMotivoAviso::ArquivoTruncado, (41700 + 104) * 8 / 128000.0, 100 * quadro},
      {"bit rates that vary without a VBR header", "vbr.mp3", vbr, true, TMotivoAviso::VBRSemCabecalho,
       (104 + 104400) * 8 / 32000.0, 101 * quadro},
      {"junk behind the audio", "lixo.mp3", lixo, true, TMotivoAviso::EstimativaDifere, 111700 * 8 / 128000.0,
       100 * quadro},
      {"an MPEG stream the catalogue measures as WAV", "inteiro.wav", inteiro, false, TMotivoAviso::Nenhum, 0, 0},
      {"an .mp3 without a frame", "texto.mp3", TBytes().Fill(5000, 'x'), false, TMotivoAviso::Nenhum, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string caminho = dir.File(c.arquivo);
    dztest::WriteFile(caminho, c.bytes);
    const TConferenciaArquivo conferencia = ConfereArquivo(caminho);
    EXPECT_EQ(conferencia.percorrido, c.percorrido);
    EXPECT_EQ(conferencia.motivo, c.motivo);
    EXPECT_NEAR(conferencia.estimativa, c.estimativa, 1e-9);
    EXPECT_NEAR(conferencia.percorrida, c.percorrida, 1e-9);
  }
  EXPECT_FALSE(ConfereArquivo(dir.File("falta.mp3")).percorrido);
}

TEST(Conferencia, Texts) {
  TConferenciaArquivo conferencia;
  conferencia.motivo = TMotivoAviso::VBRSemCabecalho;
  conferencia.estimativa = 26.126;
  conferencia.percorrida = 2.6383;
  EXPECT_EQ(LinhaAviso(Avisada(TTabela::Vinhetas, 7, "/srv/vinhetas/bip.mp3", conferencia)),
            "aviso\tTb_Vinhetas\t7\t/srv/vinhetas/bip.mp3\t26.13\t2.64\tVBR sem cabeçalho");
  EXPECT_STREQ(TextoMotivoAviso(TMotivoAviso::ArquivoTruncado), "arquivo truncado");
  EXPECT_STREQ(TextoMotivoAviso(TMotivoAviso::EstimativaDifere), "estimativa difere");
  EXPECT_STREQ(TextoMotivoAviso(TMotivoAviso::Nenhum), "");
  EXPECT_EQ(LinhaTotalConferencia(0, 0), "Conferência: 0 avisos em 0 arquivos MP3 percorridos.");
  EXPECT_EQ(LinhaTotalConferencia(1, 1), "Conferência: 1 aviso em 1 arquivo MP3 percorrido.");
  EXPECT_EQ(LinhaTotalConferencia(2, 5), "Conferência: 2 avisos em 5 arquivos MP3 percorridos.");
  EXPECT_EQ(LinhaTotalConferencia(1, 5, 1),
            "Conferência: 1 aviso em 5 arquivos MP3 percorridos; 1 linha com a duração percorrida.");
  EXPECT_EQ(LinhaTotalConferencia(2, 5, 0),
            "Conferência: 2 avisos em 5 arquivos MP3 percorridos; 0 linhas com a duração percorrida.");
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
                               Contagem + Simulacao);
  EXPECT_THAT(dztest::Versoes(db.Path()), ElementsAreArray(antes));
}

// The warnings come without --verbose too; the catalogue gets the estimate
// whatever the walk found; the exit status is 0 unless =estrito asks for 3.
TEST_F(AtualizaDuracoesConferir, WritesTheEstimateAndEndsAsAsked) {
  const std::string saida =
      AvisoTruncado() + AvisoSemXing() + FaseMusicas + AvisoLixo() + FaseVinhetas + Sucesso + Contagem;
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
                               Sucesso + "Conferência: 0 avisos em 1 arquivo MP3 percorrido.\n");
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
    const std::string raw = scratch.File("decoded.raw");
    ASSERT_EQ(dztest::RunCommand("ffmpeg -v quiet -y -i " + dztest::ShellQuote(caminho) + " -f s16le -ac 1 " +
                                 dztest::ShellQuote(raw)),
              0);
    const double decodificada = static_cast<double>(std::filesystem::file_size(raw) / 2) / 44100;
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
                                 contagem);
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
                Simulacao);
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
