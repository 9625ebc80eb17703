#include "app/run/Medicao.h"

TMedida MedeCaminho(TWindowsLookup& busca, const TPathMapping& mapeamento, const std::string& caminho) {
  TMedida medida;
  medida.arquivo = busca.Find(mapeamento, caminho);
  if (medida.arquivo.Result == TLookupResult::Ambiguous) {
    medida.motivo = TMotivoDuracao::NomeAmbiguo;  // nothing to read
  } else {
    medida.segundos = DuracaoEmSegundos(medida.arquivo.Path, &medida.motivo);
  }
  return medida;
}
