#include "audio/U_Funcoes.h"

#include "audio/MPEGaudio.h"
#include "audio/ReadOnlyFile.h"
#include "audio/Rounding.h"
#include "audio/WAVfile.h"

#include <cstring>

thread_local std::unique_ptr<TMPEGaudio> LeitorMPEG;
thread_local std::unique_ptr<TWAVfile> LeitorWAV;

namespace {

std::int32_t Baixos32Bits(std::int64_t valor) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(valor));
}

// Frees the reader of a call however the call ends.
class TLiberaAoSair {
public:
  explicit TLiberaAoSair(const std::string& chave) : chave_(chave) {}
  ~TLiberaAoSair() { LiberaLeitores(chave_); }
  TLiberaAoSair(const TLiberaAoSair&) = delete;
  TLiberaAoSair& operator=(const TLiberaAoSair&) = delete;

private:
  const std::string& chave_;
};

}  // namespace

std::string ChaveExtensao(const std::string& path) {
  // Only "\" and ":" end a folder name here. A "/" after the last dot leaves a
  // key that contains it, which is never ".MP3", so such a path goes to the
  // WAV reader all the same.
  const std::size_t ponto = path.rfind('.');
  if (ponto == std::string::npos) return {};
  const std::size_t separador = path.find_last_of("\\:");
  if (separador != std::string::npos && separador > ponto) return {};
  std::string chave = path.substr(ponto);
  for (char& c : chave) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return chave;
}

void CriaLeitores(const std::string& chave) {
  if (chave == ChaveMPEG) {
    LeitorMPEG = std::make_unique<TMPEGaudio>();
  } else {
    LeitorWAV = std::make_unique<TWAVfile>();
  }
}

void LiberaLeitores(const std::string& chave) {
  if (chave == ChaveMPEG) {
    LeitorMPEG.reset();
  } else {
    LeitorWAV.reset();
  }
}

std::int32_t ArredondaSegundos(double duracao) {
  const std::optional<std::int64_t> inteiro = RoundTiesToEven(duracao);
  return inteiro ? Baixos32Bits(*inteiro) : 0;
}

namespace {

bool TemID(const VBRData& vbr, const char (&id)[5]) { return std::memcmp(vbr.ID, id, 4) == 0; }

// The rule TMPEGaudio::Duration took.
TOrigemDuracao OrigemMPEG(const TMPEGaudio& leitor) {
  if (!leitor.Frame.Found) return TOrigemDuracao::Nenhuma;
  const VBRData& vbr = leitor.VBR;
  if (vbr.Found && TemID(vbr, "Info"))
    return vbr.Frames > 0 && vbr.Bytes > 0 ? TOrigemDuracao::Info : TOrigemDuracao::EstimativaCBR;
  if (vbr.Found && vbr.Frames > 0) return TemID(vbr, "VBRI") ? TOrigemDuracao::VBRI : TOrigemDuracao::Xing;
  return TOrigemDuracao::EstimativaCBR;
}

TOrigemDuracao OrigemWAV(const TWAVfile& leitor) {
  if (!leitor.Valid) return TOrigemDuracao::Nenhuma;
  return leitor.DurationFromDisk() ? TOrigemDuracao::TamanhoWAVEmDisco : TOrigemDuracao::CabecalhoWAV;
}

// The steps after the open: arquivo is what opening the path gave. Something
// that exists and is not a folder but was refused (a pipe, a device, a
// socket, no access) is named by its own reason, and no reader is made.
std::int32_t DuracaoDoArquivoAberto(TReadOnlyFile& arquivo, const std::string& path, TMotivoDuracao* motivo,
                                    TOrigemDuracao* origem) {
  TMotivoDuracao porque = TMotivoDuracao::Medida;
  TOrigemDuracao como = TOrigemDuracao::Nenhuma;
  std::int32_t segundos = 0;
  if (arquivo.Found() != TPathKind::File) {
    porque = TMotivoDuracao::ArquivoInexistente;
  } else if (arquivo.Refusal() == TOpenRefusal::NotRegular) {
    porque = TMotivoDuracao::NaoEArquivoComum;
  } else if (arquivo.Refusal() == TOpenRefusal::NoAccess) {
    porque = TMotivoDuracao::SemPermissao;
  } else {
    const std::string chave = ChaveExtensao(path);
    CriaLeitores(chave);
    const TLiberaAoSair libera(chave);
    double duracao = 0.0;
    // The result of LoadFromFile only names the reason: the duration is taken
    // whatever it was, and a failed read leaves the reader at 0.
    if (chave == ChaveMPEG) {
      // The length needs the ID3v2 tag's size, not its texts, pictures and
      // rating: for a tag with a cover picture that is most of the reading.
      LeitorMPEG->LoadFromFile(arquivo, TTagReading::HeaderOnly);
      duracao = LeitorMPEG->Duration();
      como = OrigemMPEG(*LeitorMPEG);
      if (!LeitorMPEG->Frame.Found) porque = TMotivoDuracao::SemQuadroMPEG;
    } else {
      const bool lido = LeitorWAV->LoadFromFile(arquivo);
      duracao = LeitorWAV->Duration();
      como = OrigemWAV(*LeitorWAV);
      if (!lido || !LeitorWAV->Valid) porque = TMotivoDuracao::NaoEWave;
    }
    segundos = ArredondaSegundos(duracao);
    // The whole number before its 32-bit cut names the reason for a 0.
    if (porque == TMotivoDuracao::Medida) {
      if (const std::optional<std::int64_t> inteiro = RoundTiesToEven(duracao); !inteiro) {
        porque = TMotivoDuracao::DuracaoInvalida;
      } else if (*inteiro == 0) {
        porque = TMotivoDuracao::MeioSegundoOuMenos;
      }
    }
  }
  // No playout can schedule a negative length, nor show its "mm:ss".
  if (segundos < 0) {
    segundos = 0;
    porque = TMotivoDuracao::DuracaoNegativa;
  }
  if (motivo != nullptr) *motivo = porque;
  if (origem != nullptr) *origem = como;
  return segundos;
}

}  // namespace

std::int32_t DuracaoEmSegundos(const std::string& path) { return DuracaoEmSegundos(path, nullptr); }

std::int32_t DuracaoEmSegundos(const std::string& path, TMotivoDuracao* motivo) {
  TReadOnlyFile arquivo(path);
  return DuracaoDoArquivoAberto(arquivo, path, motivo, nullptr);
}

std::int32_t DuracaoEmSegundos(TReadOnlyFile& arquivo, const std::string& path, TMotivoDuracao* motivo,
                               TOrigemDuracao* origem) {
  return DuracaoDoArquivoAberto(arquivo, path, motivo, origem);
}

std::string SegundosParaTempo(std::int32_t segundos) {
  // Division truncates toward zero, so a negative input keeps its sign in both parts.
  return CompletaEsquerda(std::to_string(segundos / 60), '0', 2) + ":" +
         CompletaEsquerda(std::to_string(segundos % 60), '0', 2);
}

std::string CompletaEsquerda(const std::string& text, char fill, int width) {
  std::size_t inicio = 0;
  while (inicio < text.size() && static_cast<unsigned char>(text[inicio]) <= 32) ++inicio;
  const std::size_t largura = width > 0 ? static_cast<std::size_t>(width) : 0;
  const std::size_t tamanho = text.size() - inicio;
  if (tamanho > largura) return text.substr(inicio, largura);
  return std::string(largura - tamanho, fill) + text.substr(inicio);
}
