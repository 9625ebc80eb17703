#pragma once

// The check of atualiza-duracoes --conferir: each MP3 file is also walked
// frame by frame, and a file whose estimated length can't be trusted gets a
// warning. The value written stays the estimate; the check only tells.

#include "app/run/FrenteAtualizacao.h"

#include <string>

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

// Walks the file when the catalogue measures it with the MPEG reader (an
// ".MP3" extension in any letter case) and that reader finds a frame.
TConferenciaArquivo ConfereArquivo(const std::string& caminho);

const char* TextoMotivoAviso(TMotivoAviso motivo);

// "aviso", table, key, path, estimate and walked length in seconds with two
// decimals, and the reason, separated by tabs.
std::string LinhaAviso(const TLinhaAtualizada& linha, const TConferenciaArquivo& conferencia);

// "Conferência: 1 aviso em 3 arquivos MP3 percorridos."
std::string LinhaTotalConferencia(int avisos, int percorridos);
