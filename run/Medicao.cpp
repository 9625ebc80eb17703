#include "run/Medicao.h"

#include "audio/ReadOnlyFile.h"

namespace {

// busca null: a path that names no file as it is is not looked up elsewhere.
TMedida AchaEMede(TWindowsLookup* busca, const TPathMapping& mapeamento, const std::string& caminho) {
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
  medida.arquivo = busca != nullptr ? busca->FindElsewhere(traduzido.Path, traduzido.LocalLength)
                                    : TLookup{TLookupResult::Missing, traduzido.Path};
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

// The walk of the file found, and with Corrige its walked length for a file warned of.
void Confere(TMedida& medida, TConferencia conferir) {
  if (conferir == TConferencia::Nenhuma) return;
  medida.conferencia = ConfereArquivo(medida.arquivo.Path);
  if (conferir == TConferencia::Corrige && medida.conferencia.motivo != TMotivoAviso::Nenhum) {
    medida.segundos = SegundosPercorridos(medida.conferencia);
    medida.comPercorrida = true;
  }
}

}  // namespace

TMedida MedeCaminho(TWindowsLookup& busca, const TPathMapping& mapeamento, const std::string& caminho,
                    TConferencia conferir) {
  TMedida medida = AchaEMede(&busca, mapeamento, caminho);
  Confere(medida, conferir);
  return medida;
}

TMedida TMedidor::Mede(const std::string& caminho) {
  TMedida medida = AchaEMede(procura_ ? &busca_ : nullptr, mapeamento_, caminho);
  Confere(medida, conferir_);
  return medida;
}

const char* TextoMotivo(TMotivoDuracao motivo) {
  switch (motivo) {
    case TMotivoDuracao::Medida: return "";
    case TMotivoDuracao::ArquivoInexistente: return "arquivo inexistente";
    case TMotivoDuracao::NaoEWave: return "não é um arquivo RIFF/WAVE";
    case TMotivoDuracao::SemQuadroMPEG: return "nenhum quadro MPEG encontrado";
    case TMotivoDuracao::MeioSegundoOuMenos: return "meio segundo ou menos";
    case TMotivoDuracao::DuracaoInvalida: return "duração inválida";
    case TMotivoDuracao::NomeAmbiguo: return "nome ambíguo";
    case TMotivoDuracao::NaoEArquivoComum: return "não é um arquivo comum";
    case TMotivoDuracao::SemPermissao: return "sem permissão de leitura";
    case TMotivoDuracao::ForaDaPastaMapeada: return "caminho fora da pasta mapeada";
    case TMotivoDuracao::DuracaoNegativa: return "duração inválida no cabeçalho";
  }
  return "";
}
