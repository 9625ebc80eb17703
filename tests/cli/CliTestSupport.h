#pragma once

// Helpers of the atualiza-duracoes tests: the program run as a subprocess
// (its standard output, standard error and exit status kept apart), real
// audio files to point a catalogue at, and the lines the program prints.

#include "tests/support/CatalogueDb.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace dztest {

// The atualiza-duracoes built with the tests.
std::string AtualizaPath();

// One run of the program.
struct TRodada {
  int saida = -1;           // exit status; -1 when it did not exit normally
  std::string saidaPadrao;  // standard output
  std::string saidaErros;   // standard error
  double segundos = 0.0;    // wall time of the whole run
};

// The arguments of a run of atualiza-duracoes whose files the test has just
// made: "--idade-minima=0" in front, unless the test gives that option
// itself (the wait for files being copied is not what most tests are about).
// Other programs' arguments as they are.
std::vector<std::string> SemIdadeMinima(const std::string& programa, const std::vector<std::string>& argumentos);

// Runs the program with the arguments (SemIdadeMinima), standard input from
// /dev/null, at most limite seconds (then it is stopped, and its exit status
// is timeout's 124).
TRodada Roda(const std::vector<std::string>& argumentos, const std::string& programa = AtualizaPath(), int limite = 60);
// The same on a pseudo-terminal (util-linux script): the program sees a
// terminal; what it writes to either output arrives in saidaPadrao, with the
// terminal's "\r\n" line ends.
TRodada RodaNoTerminal(const std::vector<std::string>& argumentos);

// Real audio files made with sox and lame (the sample set Catalogue).
class TAmostras {
public:
  TAmostras();
  // The folder with its trailing separator, as a Tb_Pastas row holds it.
  std::string Pasta() const { return pasta_.string() + "/"; }
  std::string Arquivo(const std::string& nome) const { return (pasta_ / nome).string(); }

  // The files and what the tool measures of each.
  static constexpr const char* Tres = "tres.wav";       // WAV, 3 s
  static constexpr const char* Dois = "dois.wav";       // WAV, 2 s
  static constexpr const char* Cinco = "cinco.mp3";     // MP3 made by lame, 5 s
  static constexpr const char* Curto = "curto.wav";     // WAV, 0.4 s: rounds to 0
  static constexpr const char* TextoWav = "texto.wav";  // text: not RIFF/WAVE
  static constexpr const char* TextoMp3 = "texto.mp3";  // text: no MPEG frame

private:
  std::filesystem::path pasta_;
};

// A line of --verbose: table, key, path, seconds, "mm:ss" and, for a row
// that got 0, the reason.
std::string LinhaDetalhada(const char* tabela, int codigo, const std::string& caminho, int segundos, const char* tempo,
                           const char* motivo = nullptr);

// The closing summary line of a run, with its line break.
std::string Resumo(int visitadas, int diferentes, int gravadas, int recentes, int semMedida);

// A BaseAudio.ini's text as a Windows station writes it: the lines, each
// ended by CR LF.
std::string Ini(std::initializer_list<std::string> linhas);

}  // namespace dztest
