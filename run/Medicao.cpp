#include "run/Medicao.h"

#include "audio/ReadOnlyFile.h"

TMedida MedeCaminho(TWindowsLookup& busca, const TPathMapping& mapeamento, const std::string& caminho) {
  const TTranslatedPath traduzido = mapeamento.Translate(caminho);
  TMedida medida;
  medida.motivo = TMotivoDuracao::ArquivoInexistente;
  if (traduzido.Outside) {
    medida.arquivo = {TLookupResult::Outside, traduzido.Path};
    medida.motivo = TMotivoDuracao::ForaDaPastaMapeada;
    return medida;
  }
  TReadOnlyFile arquivo(traduzido.Path);
  if (arquivo.Found() == TPathKind::File) {
    medida.arquivo = {TLookupResult::Exact, traduzido.Path};
    medida.segundos = DuracaoEmSegundos(arquivo, traduzido.Path, &medida.motivo);
    return medida;
  }
  medida.arquivo = busca.FindElsewhere(traduzido.Path, traduzido.LocalLength);
  switch (medida.arquivo.Result) {
    case TLookupResult::Ambiguous: medida.motivo = TMotivoDuracao::NomeAmbiguo; break;
    case TLookupResult::Outside: medida.motivo = TMotivoDuracao::ForaDaPastaMapeada; break;
    // The path looked for is the one just opened, which holds no file.
    case TLookupResult::Missing: medida.motivo = TMotivoDuracao::ArquivoInexistente; break;
    case TLookupResult::Exact:
    case TLookupResult::Found: medida.segundos = DuracaoEmSegundos(medida.arquivo.Path, &medida.motivo); break;
  }
  return medida;
}
