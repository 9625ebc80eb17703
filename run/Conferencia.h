#pragma once

// The frame-walk check of a measured file (atualiza-duracoes --conferir):
// each MP3 file is also walked frame by frame, and a file whose estimated
// length can't be trusted is warned of. The value written stays the
// estimate, unless the check is asked to correct: then a row warned of gets
// the walked length. The measuring threads make the check with the
// measurement; the front end words it (cli/LinhasConferencia.h).

#include <cstdint>
#include <string>

// What the check does.
enum class TConferencia {
  Nenhuma,  // no walk
  Avisa,    // walk each MP3 file and warn
  Corrige,  // the same, and write the walked length for a file warned of
};

// Why an estimate can't be trusted.
enum class TMotivoAviso {
  Nenhum,
  ArquivoTruncado,   // the file ends inside a frame, or before the frames its VBR header announces
  VBRSemCabecalho,   // the bit rate varies, there is no VBR header, and the estimate is off
  EstimativaDifere,  // the estimate is off for another reason (junk behind the audio, a join)
};

// Largest difference between the estimate and the walked length without a warning, in seconds.
inline constexpr double ToleranciaConferencia = 1.0;

struct TConferenciaArquivo {
  bool percorrido = false;  // an MP3 file with a frame to start from, walked
  TMotivoAviso motivo = TMotivoAviso::Nenhum;
  double estimativa = 0.0;  // seconds: the MPEG reader's duration, before rounding
  double percorrida = 0.0;  // seconds: the frame walk's
};

// Walks the file when the catalogue measures it with the MPEG reader
// (MedidoPeloMPEG: an ".MP3" extension in any letter case) and that reader
// finds a frame.
TConferenciaArquivo ConfereArquivo(const std::string& caminho);

// The seconds a row gets in the mode Corrige when its file was warned of: the
// walked length, rounded as the duration facade rounds the estimate.
std::int32_t SegundosPercorridos(const TConferenciaArquivo& conferencia);
