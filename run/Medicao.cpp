#include "run/Medicao.h"

#include "audio/ReadOnlyFile.h"

#include <chrono>

namespace {

// Whether the open file was modified less than idadeMinima seconds ago (a
// time in the future counts: the copy's clock may run ahead).
bool ModificadoHaPouco(const TReadOnlyFile& arquivo, std::int32_t idadeMinima) {
  if (idadeMinima <= 0 || !arquivo.IsOpen() || arquivo.ModifiedAt() == 0) return false;
  const std::int64_t agora = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
  return agora - arquivo.ModifiedAt() < std::int64_t{idadeMinima} * 1'000'000'000;
}

// The file just opened, measured unless it is too recent.
void MedeAberto(TMedida& medida, TReadOnlyFile& arquivo, const std::string& caminho, std::int32_t idadeMinima) {
  if (ModificadoHaPouco(arquivo, idadeMinima)) {
    medida.motivo = TMotivoDuracao::ModificadoHaPouco;
    medida.idadeMinima = idadeMinima;
    return;
  }
  medida.segundos = DuracaoEmSegundos(arquivo, caminho, &medida.motivo, &medida.origem);
}

// busca null: a path that names no file as it is is not looked up elsewhere.
TMedida AchaEMede(TWindowsLookup* busca, const TPathMapping& mapeamento, const std::string& caminho,
                  std::int32_t idadeMinima) {
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
    MedeAberto(medida, arquivo, traduzido.Path, idadeMinima);
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
    case TLookupResult::Found: {
      TReadOnlyFile achado(medida.arquivo.Path);
      MedeAberto(medida, achado, medida.arquivo.Path, idadeMinima);
      break;
    }
  }
  return medida;
}

// The walk of the file found, and with Corrige its walked length for a file warned of.
void Confere(TMedida& medida, TConferencia conferir) {
  if (conferir == TConferencia::Nenhuma || medida.motivo == TMotivoDuracao::ModificadoHaPouco) return;
  medida.conferencia = ConfereArquivo(medida.arquivo.Path);
  if (conferir == TConferencia::Corrige && medida.conferencia.motivo != TMotivoAviso::Nenhum) {
    medida.segundos = SegundosPercorridos(medida.conferencia);
    medida.origem = TOrigemDuracao::QuadrosPercorridos;
    medida.comPercorrida = true;
  }
}

}  // namespace

TMedida MedeCaminho(TWindowsLookup& busca, const TPathMapping& mapeamento, const std::string& caminho,
                    TConferencia conferir, std::int32_t idadeMinima) {
  TMedida medida = AchaEMede(&busca, mapeamento, caminho, idadeMinima);
  Confere(medida, conferir);
  return medida;
}

TMedida TMedidor::Mede(const std::string& caminho) {
  TMedida medida = AchaEMede(procura_ ? &busca_ : nullptr, mapeamento_, caminho, 0);
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
    case TMotivoDuracao::ModificadoHaPouco: return "arquivo modificado há pouco";
  }
  return "";
}

std::string TextoMotivo(const TMedida& medida) {
  if (medida.motivo == TMotivoDuracao::ModificadoHaPouco)
    return "arquivo modificado há menos de " + std::to_string(medida.idadeMinima) + " s";
  return TextoMotivo(medida.motivo);
}

const char* TextoOrigem(TOrigemDuracao origem) {
  switch (origem) {
    case TOrigemDuracao::Nenhuma: return "—";
    case TOrigemDuracao::Xing: return "Xing";
    case TOrigemDuracao::Info: return "Info";
    case TOrigemDuracao::VBRI: return "VBRI";
    case TOrigemDuracao::EstimativaCBR: return "estimativa CBR";
    case TOrigemDuracao::CabecalhoWAV: return "cabeçalho WAV";
    case TOrigemDuracao::TamanhoWAVEmDisco: return "tamanho do WAV em disco";
    case TOrigemDuracao::QuadrosPercorridos: return "quadros percorridos";
  }
  return "—";
}
