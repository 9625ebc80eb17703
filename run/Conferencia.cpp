#include "run/Conferencia.h"

#include "audio/MPEGFrameWalk.h"
#include "audio/MPEGaudio.h"
#include "audio/ReadOnlyFile.h"
#include "audio/U_Funcoes.h"

#include <cmath>

TConferenciaArquivo ConfereArquivo(const std::string& caminho) {
  TConferenciaArquivo conferencia;
  if (!MedidoPeloMPEG(caminho)) return conferencia;
  // One open for the estimate and the walk.
  TReadOnlyFile arquivo(caminho);
  TMPEGaudio mpeg;
  mpeg.LoadFromFile(arquivo);
  TMPEGFrameWalk walk;
  if (!walk.LoadFromFile(arquivo, mpeg)) return conferencia;
  conferencia.percorrido = true;
  conferencia.estimativa = mpeg.Duration();
  conferencia.percorrida = walk.Duration();
  if (walk.Truncated()) {
    conferencia.motivo = TMotivoAviso::ArquivoTruncado;
  } else if (std::fabs(conferencia.estimativa - conferencia.percorrida) > ToleranciaConferencia) {
    conferencia.motivo =
        !mpeg.VBR.Found && walk.BitRateChanges ? TMotivoAviso::VBRSemCabecalho : TMotivoAviso::EstimativaDifere;
  }
  return conferencia;
}

std::int32_t SegundosPercorridos(const TConferenciaArquivo& conferencia) {
  return ArredondaSegundos(conferencia.percorrida);
}
