#pragma once

// The one place where the update run meets the audio readers: file path in,
// whole seconds out, and whole seconds into the "mm:ss" text of the catalogue.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TMPEGaudio;
class TReadOnlyFile;
class TWAVfile;

// The reader of the call in progress; both are empty between calls of
// DuracaoEmSegundos (which is therefore not reentrant). Each thread has its
// own, so that files can be measured on several threads at once.
extern thread_local std::unique_ptr<TMPEGaudio> LeitorMPEG;
extern thread_local std::unique_ptr<TWAVfile> LeitorWAV;

// Why DuracaoEmSegundos gave the value it gave; every reason but Medida
// explains a result of 0.
enum class TMotivoDuracao {
  Medida,              // the reader's duration, rounded (may itself be 0 only through the 32-bit cut)
  ArquivoInexistente,  // no file at the path (a folder counts as none); nothing was read
  NaoEWave,            // WAV reader: header unreadable, or not RIFF/WAVE with 1 or 2 channels
  SemQuadroMPEG,       // MPEG reader: no frame found
  MeioSegundoOuMenos,  // the duration rounds to 0 (half a second or less)
  DuracaoInvalida,     // the duration is not a number, infinite, or outside the 64-bit range
  NomeAmbiguo,         // given by the update run, not here: its lookup met names that differ only in letter case
                       // (paths/WindowsLookup.h), so nothing was read
  NaoEArquivoComum,    // something is there but it is no regular file (a pipe, a device, a socket): never opened
  SemPermissao,        // the file, or a folder on its way, may not be read by this user; nothing was read
  ForaDaPastaMapeada,  // given by the update run: the path's ".." lead out of the folder its [CAMINHOS] rule
                       // maps (paths/PathMapping.h), so nothing was looked up or opened
  DuracaoNegativa,     // the rounded duration's low 32 bits are negative (a header's sizes and rates far off):
                       // 0 is given, as for a file that can't be measured
  ModificadoHaPouco,   // given by the companion's run: the file was modified too short a time ago (it may still
                       // be being copied), so it was not measured
};

// Which of the readers' rules gave the duration.
enum class TOrigemDuracao {
  Nenhuma,             // no reader found anything to measure
  Xing,                // MPEG: the frame count of a Xing header
  Info,                // MPEG: the audio's bytes at the byte rate of an Info header
  VBRI,                // MPEG: the frame count of a VBRI header
  EstimativaCBR,       // MPEG: the audio's bytes at the first frame's bit rate
  CabecalhoWAV,        // WAV: the header's sizes, or its fact chunk's count
  TamanhoWAVEmDisco,   // WAV: the length on disk, where the header states more than the file holds
  QuadrosPercorridos,  // given by the update run: the frame walk's length (a file warned of, corrected)
};

// Play length of the file in whole seconds: ".MP3" files (any letter case)
// by the MPEG reader, every other file by the WAV reader; 0 when no file
// exists at the path or nothing can be measured, and never negative. The file is opened once:
// that open also tells whether it exists, and the reader and its tag readers
// all read through it.
std::int32_t DuracaoEmSegundos(const std::string& path);
// The same, telling also why (motivo may be null).
std::int32_t DuracaoEmSegundos(const std::string& path, TMotivoDuracao* motivo);

// The same for a path the caller has just opened (arquivo is what that open
// gave, found or not): the open of the update run's lookup, which is also
// its first try of the exact path, measures the file without a second one.
// origem, when given, is told which rule gave the duration.
std::int32_t DuracaoEmSegundos(TReadOnlyFile& arquivo, const std::string& path, TMotivoDuracao* motivo,
                               TOrigemDuracao* origem = nullptr);

// "mm:ss": minutes and seconds each fitted to 2 characters by CompletaEsquerda
// (6000 s give "10:00"). Negative input is converted the same way, digit by
// digit with its minus sign (-5 gives "00:-5").
std::string SegundosParaTempo(std::int32_t segundos);

// The text without its leading characters of code 32 or less, cut to its first
// width characters or left-padded with fill to width. A width of 0 or less gives "".
std::string CompletaEsquerda(const std::string& text, char fill, int width);

// Steps of DuracaoEmSegundos, open for the tests.

// The extension with its dot, letters a to z upper-cased, when the last "."
// comes after the last "\" and ":"; else "".
std::string ChaveExtensao(const std::string& path);
// The key of the files the MPEG reader measures; every other key goes to the WAV reader.
inline constexpr std::string_view ChaveMPEG = ".MP3";
// Whether the facade measures the file at path with the MPEG reader.
inline bool MedidoPeloMPEG(const std::string& path) { return ChaveExtensao(path) == ChaveMPEG; }
// Creates the reader for the key: LeitorMPEG for ChaveMPEG, else LeitorWAV.
void CriaLeitores(const std::string& chave);
// Frees the reader for the key and leaves its reference empty.
void LiberaLeitores(const std::string& chave);
// Nearest whole number, halves to the even neighbour, taken as a 64-bit
// integer whose low 32 bits are the result. A value that has no 64-bit
// integer (not a number, infinite, or rounding outside -2^63 .. 2^63 - 1) gives 0.
std::int32_t ArredondaSegundos(double duracao);
