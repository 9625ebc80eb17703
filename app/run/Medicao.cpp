#include "app/run/Medicao.h"

TMedida MedeCaminho(TWindowsLookup& busca, const TPathMapping& mapeamento, const std::string& caminho) {
  // One open both finds the file at its exact path and measures it; the
  // lookup reads folders only when that open finds nothing.
  const TArquivoMedido medido = MedeArquivo(busca, mapeamento, caminho);
  TMedida medida;
  medida.arquivo = medido.Arquivo;
  medida.segundos = medido.Segundos;
  medida.motivo = medido.Motivo;
  return medida;
}
