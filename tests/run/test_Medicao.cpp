// The one entry from a row's path to its measurement, as the run's thread
// and the measuring threads call it: the rules, the lookup and the facade.

#include "run/Medicao.h"

#include "audio/MPEGFrameWalk.h"
#include "audio/MPEGaudio.h"
#include "audio/ReadOnlyFile.h"
#include "audio/WAVfile.h"
#include "tests/support/SampleFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using dztest::TTempDir;

using dztest::ExpectNoReader;

// A real MP3 made by lame (the sample set Mp3), in a folder of the suite's own.
class Medicao : public dztest::TSuiteComMp3 {};

// The update run's lookup and measurement in one: the same results as the
// lookup followed by the facade, and for a path that names a file as it is,
// the open that measures it is the only question asked of the file system.
TEST_F(Medicao, MedeCaminhoIsTheLookupAndTheFacade) {
  ASSERT_EQ(samplesFailure_, "");
  const std::filesystem::path root = dir_->Path() / "share";
  for (const char* folder : {"Acervo/Samba", "Acervo/Dupla", "Acervo/pasta.mp3"})
    std::filesystem::create_directories(root / folder);
  dztest::WriteFile((root / "Acervo/Samba/Aquarela.MP3").string(), mp3Bytes_);
  dztest::WriteFile((root / "Acervo/Samba/Cora\xC3\xA7\xC3\xA3o.wav").string(), dztest::PlainWav(3000, 1000));
  dztest::WriteFile((root / "Acervo/Dupla/Faixa.wav").string(), dztest::PlainWav(3000, 1000));
  dztest::WriteFile((root / "Acervo/Dupla/FAIXA.wav").string(), dztest::PlainWav(3000, 1000));
  dztest::WriteFile((root / "fora.wav").string(), dztest::PlainWav(3000, 1000));  // beside the mapped folder
  const std::string local = root.string() + "/Acervo/";
  TPathMapping mapping;
  ASSERT_EQ(mapping.Add("C:\\Musicas\\", local, "DE1", "PARA1"), "");

  const struct {
    const char* what;
    std::string path;  // as the catalogue holds it
    TLookupResult result;
    std::int32_t seconds;
    TMotivoDuracao reason;
  } cases[] = {
      {"translated, exact", "C:\\Musicas\\Samba\\Aquarela.MP3", TLookupResult::Exact, 5, TMotivoDuracao::Medida},
      {"translated, another letter case", "c:\\MUSICAS\\samba\\aquarela.mp3", TLookupResult::Found, 5,
       TMotivoDuracao::Medida},
      {"translated, Windows-1252 name", "C:\\Musicas\\Samba\\Cora\xE7\xE3o.wav", TLookupResult::Found, 3,
       TMotivoDuracao::Medida},
      {"ambiguous name", "C:\\Musicas\\Dupla\\faixa.wav", TLookupResult::Ambiguous, 0,
       TMotivoDuracao::NomeAmbiguo},
      {"missing file", "C:\\Musicas\\Samba\\falta.mp3", TLookupResult::Missing, 0,
       TMotivoDuracao::ArquivoInexistente},
      {"a folder is no file", "C:\\Musicas\\PASTA.MP3", TLookupResult::Missing, 0,
       TMotivoDuracao::ArquivoInexistente},
      {"no rule: only as it is", "D:\\Outra\\x.mp3", TLookupResult::Missing, 0,
       TMotivoDuracao::ArquivoInexistente},
      {"out and back in", "C:\\Musicas\\..\\Musicas\\Samba\\Aquarela.MP3", TLookupResult::Exact, 5,
       TMotivoDuracao::Medida},
      {"out of the mapped folder, to a file that is there", "C:\\Musicas\\..\\fora.wav", TLookupResult::Outside, 0,
       TMotivoDuracao::ForaDaPastaMapeada},
      {"far out of the mapped folder", "C:\\Musicas\\..\\..\\..\\etc\\passwd", TLookupResult::Outside, 0,
       TMotivoDuracao::ForaDaPastaMapeada},
      {"local path, exact", local + "Samba/Aquarela.MP3", TLookupResult::Exact, 5, TMotivoDuracao::Medida},
      {"local path, another letter case", local + "SAMBA/aquarela.mp3", TLookupResult::Found, 5,
       TMotivoDuracao::Medida},
  };
  TWindowsLookup lookup;
  TWindowsLookup reference;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TFileCalls before = FileCallsOnThisThread();
    const TMedida measured = MedeCaminho(lookup, mapping, c.path);
    const TFileCalls calls = FileCallsOnThisThread() - before;
    EXPECT_EQ(measured.arquivo.Result, c.result);
    EXPECT_EQ(measured.segundos, c.seconds);
    EXPECT_EQ(measured.motivo, c.reason);
    if (c.result == TLookupResult::Exact) {
      EXPECT_EQ(calls.Opens, 1u);
      EXPECT_EQ(calls.PathQueries, 0u);
    }
    if (c.result == TLookupResult::Outside) {
      EXPECT_EQ(calls.Opens, 0u);
      EXPECT_EQ(calls.PathQueries, 0u);
    }

    const TLookup found = reference.Find(mapping, c.path);
    const bool readable = found.Result != TLookupResult::Ambiguous && found.Result != TLookupResult::Outside;
    TMotivoDuracao reason = found.Result == TLookupResult::Outside ? TMotivoDuracao::ForaDaPastaMapeada
                                                                   : TMotivoDuracao::NomeAmbiguo;
    const std::int32_t seconds = readable ? DuracaoEmSegundos(found.Path, &reason) : 0;
    EXPECT_EQ(measured.arquivo.Result, found.Result);
    EXPECT_EQ(measured.arquivo.Path, found.Path);
    EXPECT_EQ(measured.segundos, seconds);
    EXPECT_EQ(measured.motivo, reason);
    ExpectNoReader(c.what);
  }
  EXPECT_EQ(lookup.DirectoryReads(), reference.DirectoryReads());
}

// One path outside a run (a context's Mede, audioinfo): the same measurement
// as the run's; without its lookup (audioinfo without rules) a path is read
// only as it is, never found in another letter case.
TEST_F(Medicao, MedidorMeasuresAsTheRun) {
  ASSERT_EQ(samplesFailure_, "");
  const std::filesystem::path root = dir_->Path() / "medidor";
  std::filesystem::create_directories(root / "Samba");
  dztest::WriteFile((root / "Samba/Aquarela.MP3").string(), mp3Bytes_);
  const std::string local = root.string() + "/";
  TPathMapping mapping;
  ASSERT_EQ(mapping.Add("C:\\Musicas\\", local, "DE1", "PARA1"), "");
  const struct {
    const char* what;
    bool procura;
    std::string path;
    TLookupResult result;
    std::int32_t seconds;
    TMotivoDuracao reason;
  } cases[] = {
      {"looked up: another letter case", true, "c:\\musicas\\SAMBA\\aquarela.mp3", TLookupResult::Found, 5,
       TMotivoDuracao::Medida},
      {"looked up: a local path in another letter case", true, local + "samba/AQUARELA.mp3", TLookupResult::Found, 5,
       TMotivoDuracao::Medida},
      {"read as it is: exact", false, local + "Samba/Aquarela.MP3", TLookupResult::Exact, 5, TMotivoDuracao::Medida},
      {"read as it is: another letter case is no file", false, local + "samba/AQUARELA.mp3", TLookupResult::Missing,
       0, TMotivoDuracao::ArquivoInexistente},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TMedidor medidor(c.procura ? mapping : TPathMapping(), TConferencia::Nenhuma, c.procura);
    const TMedida medida = medidor.Mede(c.path);
    EXPECT_EQ(medida.arquivo.Result, c.result);
    EXPECT_EQ(medida.segundos, c.seconds);
    EXPECT_EQ(medida.motivo, c.reason);
    if (c.procura) {
      TWindowsLookup lookup;
      const TMedida run = MedeCaminho(lookup, mapping, c.path);
      EXPECT_EQ(medida.arquivo.Path, run.arquivo.Path);
      EXPECT_EQ(medida.segundos, run.segundos);
    }
  }
}

// The words of each reason, as the companion's log and audioinfo show them.
TEST(TextoMotivo, EveryReason) {
  const struct {
    TMotivoDuracao motivo;
    const char* texto;
  } cases[] = {
      {TMotivoDuracao::Medida, ""},
      {TMotivoDuracao::ArquivoInexistente, "arquivo inexistente"},
      {TMotivoDuracao::NaoEWave, "não é um arquivo RIFF/WAVE"},
      {TMotivoDuracao::SemQuadroMPEG, "nenhum quadro MPEG encontrado"},
      {TMotivoDuracao::MeioSegundoOuMenos, "meio segundo ou menos"},
      {TMotivoDuracao::DuracaoInvalida, "duração inválida"},
      {TMotivoDuracao::NomeAmbiguo, "nome ambíguo"},
      {TMotivoDuracao::NaoEArquivoComum, "não é um arquivo comum"},
      {TMotivoDuracao::SemPermissao, "sem permissão de leitura"},
      {TMotivoDuracao::ForaDaPastaMapeada, "caminho fora da pasta mapeada"},
      {TMotivoDuracao::DuracaoNegativa, "duração inválida no cabeçalho"},
  };
  for (const auto& c : cases) EXPECT_STREQ(TextoMotivo(c.motivo), c.texto) << static_cast<int>(c.motivo);
}


// Junk in front of the audio hides the first frames from the reader's first
// search: the check still walks the whole stream, so a row is corrected to
// what a decoder plays, and only where the estimate is off.
TEST(MedicaoConferida, CorrectingWalksTheWholeStream) {
  const std::filesystem::path walkSet = dztest::SampleFolder(dztest::TSampleSet::Walk);
  const struct {
    const char* file;
    std::int64_t junk;
    bool estimateRight;
  } cases[] = {
      {"junk-1730-cbr.mp3", 1730, true},  {"junk-2500-cbr.mp3", 2500, true},
      {"junk-1730-vbr.mp3", 1730, true},  {"junk-2500-vbr.mp3", 2500, true},
      {"junk-sync-vbr.mp3", 2500, true},  {"junk-2500-join.mp3", 2500, false},
  };
  TTempDir scratch;
  TWindowsLookup lookup;
  const TPathMapping noRules;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = (walkSet / c.file).string();
    const TMedida measured = MedeCaminho(lookup, noRules, path, TConferencia::Corrige);
    ASSERT_TRUE(measured.conferencia.percorrido);
    const std::int64_t decoded = dztest::DecodedSamples(path, scratch);
    ASSERT_GT(decoded, 0) << "ffmpeg failed";
    EXPECT_NEAR(measured.conferencia.percorrida, static_cast<double>(decoded) / 44100, 0.05);
    TMPEGFrameWalk walk;
    ASSERT_TRUE(walk.LoadFromFile(path));
    EXPECT_EQ(walk.StreamStart, c.junk);
    EXPECT_EQ(walk.Resyncs, 0);
    const std::int32_t estimate = DuracaoEmSegundos(path);
    if (c.estimateRight) {
      EXPECT_EQ(measured.conferencia.motivo, TMotivoAviso::Nenhum);
      EXPECT_EQ(measured.segundos, estimate);
    } else {
      EXPECT_NE(measured.conferencia.motivo, TMotivoAviso::Nenhum);
      EXPECT_GT(std::abs(estimate - measured.segundos), 1);
      EXPECT_EQ(measured.segundos, std::llround(static_cast<double>(decoded) / 44100));
    }
    ExpectNoReader(c.file);
  }
}

}  // namespace
