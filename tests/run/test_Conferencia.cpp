// The frame-walk check of a measured file: which files are walked, and
// which estimates can't be trusted and why.

#include "run/Conferencia.h"

#include "audio/MPEGaudio.h"
#include "tests/support/MpegFrames.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using dztest::TBytes;
using dztest::TTempDir;

// MPEG 1 Layer III frames at 44100 Hz (1152 samples each): the header, then
// zeros; bitRateIndex 1 is 32 kbit/s (104 bytes), 9 is 128 (417), 14 is 320 (1044).
TBytes& Frames(TBytes& bytes, int count, std::uint8_t bitRateIndex) {
  return bytes.Append(dztest::MpegFrames({0xFF, 0xFB, static_cast<std::uint8_t>(bitRateIndex << 4), 0x64}, count));
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

}  // namespace
