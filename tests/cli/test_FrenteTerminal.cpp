#include "cli/FrenteTerminal.h"

#include "run/SinaisParada.h"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A pipe whose writing end is a buffered FILE, as the standard output of a
// scheduled job that goes to a log; the reading end never waits.
class TCano {
public:
  TCano() {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    leitura_ = fds[0];
    ::fcntl(leitura_, F_SETFL, ::fcntl(leitura_, F_GETFL) | O_NONBLOCK);
    escrita_ = ::fdopen(fds[1], "w");
  }
  ~TCano() {
    std::fclose(escrita_);
    ::close(leitura_);
  }
  TCano(const TCano&) = delete;
  TCano& operator=(const TCano&) = delete;

  std::FILE* Escrita() { return escrita_; }
  // Everything that has reached the pipe so far.
  std::string Chegou() {
    std::string texto;
    char bloco[4096];
    ssize_t lidos;
    while ((lidos = ::read(leitura_, bloco, sizeof bloco)) > 0) texto.append(bloco, static_cast<std::size_t>(lidos));
    return texto;
  }

private:
  int leitura_ = -1;
  std::FILE* escrita_ = nullptr;
};

// A row as the run reports it; aberto: the file opened when it is not the catalogue's path.
TLinhaAtualizada Linha(TTabela tabela, std::int32_t codigo, const std::string& caminho, std::int32_t segundos,
                       const std::string& tempo, TMotivoDuracao motivo, const std::string& aberto = "") {
  TMedida medida;
  medida.arquivo = {TLookupResult::Exact, aberto.empty() ? caminho : aberto};
  medida.segundos = segundos;
  medida.motivo = motivo;
  return {tabela, codigo, caminho, tempo, CharacterSetUtf8, medida};
}

// A row's line reaches the output as soon as the row is committed, not when
// the phase or the run ends: a run killed later still leaves in its log every
// row it committed.
TEST(FrenteTerminal, RowLineGoesOutAtOnce) {
  struct TCase {
    const char* what;
    bool terminal;
  } cases[] = {{"not a terminal", false}, {"a terminal", true}};
  const TLinhaAtualizada linha = Linha(TTabela::Musicas, 7, "/m/faixa.mp3", 0, "00:00", TMotivoDuracao::SemQuadroMPEG);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TCano cano;
    TFrenteTerminal frente(cano.Escrita(), c.terminal, true);
    frente.DefineMaximo(TBarra::Geral, 2);
    frente.DefineProgresso(TBarra::Geral, 0);
    frente.DefineProgresso(TBarra::Atual, 0);
    frente.DefineMaximo(TBarra::Atual, 2);
    frente.DefineRotulo("Progresso: Músicas");
    frente.DefineProgresso(TBarra::Atual, 1);
    frente.DefineProgresso(TBarra::Geral, 1);
    cano.Chegou();
    frente.LinhaAtualizada(linha);
    EXPECT_NE(cano.Chegou().find("Tb_Musicas\t7\t/m/faixa.mp3\t0\t00:00\tnenhum quadro MPEG encontrado\n"),
              std::string::npos);
  }
}

// The file actually opened (or looked for) follows the catalogue's path when
// it is another (the catalogue's backslashes shown doubled); an ambiguous name
// has its own reason.
TEST(FrenteTerminal, VerboseLineNamesTheFileOpened) {
  struct TCase {
    const char* what;
    TLinhaAtualizada linha;
    std::string texto;
  };
  const TCase cases[] = {
      {"the catalogue's path opened",
       Linha(TTabela::Musicas, 3, "/m/a.mp3", 95, "01:35", TMotivoDuracao::Medida),
       "Tb_Musicas\t3\t/m/a.mp3\t95\t01:35\n"},
      {"a translated path",
       Linha(TTabela::Musicas, 3, "C:\\M\\a.mp3", 95, "01:35", TMotivoDuracao::Medida, "/srv/m/A.MP3"),
       "Tb_Musicas\t3\tC:\\\\M\\\\a.mp3 → /srv/m/A.MP3\t95\t01:35\n"},
      {"an ambiguous name",
       Linha(TTabela::Vinhetas, 4, "C:\\V\\b.wav", 0, "00:00", TMotivoDuracao::NomeAmbiguo, "/srv/v/b.wav"),
       "Tb_Vinhetas\t4\tC:\\\\V\\\\b.wav → /srv/v/b.wav\t0\t00:00\tnome ambíguo\n"},
      {"a header whose length has no place in the catalogue",
       Linha(TTabela::Musicas, 5, "/m/esparso.wav", 0, "00:00", TMotivoDuracao::DuracaoNegativa),
       "Tb_Musicas\t5\t/m/esparso.wav\t0\t00:00\tduração inválida no cabeçalho\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TCano cano;
    TFrenteTerminal frente(cano.Escrita(), false, true);
    frente.LinhaAtualizada(c.linha);
    EXPECT_EQ(cano.Chegou(), c.texto);
  }
}

// An output that can no longer be written (/dev/full: a full disk) asks the
// run to stop before its next row, and keeps the reason; nothing more is
// written after it.
TEST(FrenteTerminal, UnwritableOutputStopsTheRun) {
  std::FILE* cheio = std::fopen("/dev/full", "w");
  ASSERT_NE(cheio, nullptr);
  TFrenteTerminal frente(cheio, false, true);
  EXPECT_FALSE(frente.Interromper());
  frente.LinhaAtualizada(Linha(TTabela::Vinhetas, 1, "/v/bip.wav", 2, "00:02", TMotivoDuracao::Medida));
  EXPECT_EQ(frente.ErroSaida(), "No space left on device");
  EXPECT_TRUE(frente.Interromper());
  EXPECT_EQ(frente.SinalInterrupcao(), 0);
  std::fclose(cheio);
}

// A stop signal asks the run to stop, and is kept to end the program with.
TEST(FrenteTerminal, StopSignalStopsTheRun) {
  TSinaisParada sinais;
  TCano cano;
  TFrenteTerminal frente(cano.Escrita(), false, true, &sinais);
  EXPECT_FALSE(frente.Interromper());
  EXPECT_EQ(frente.SinalInterrupcao(), 0);
  ASSERT_EQ(std::raise(SIGTERM), 0);
  EXPECT_TRUE(frente.Interromper());
  EXPECT_EQ(frente.SinalInterrupcao(), SIGTERM);
  EXPECT_EQ(frente.ErroSaida(), "");
}

}  // namespace
