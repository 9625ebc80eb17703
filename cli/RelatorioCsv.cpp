#include "cli/RelatorioCsv.h"

#include "cli/LinhasConferencia.h"
#include "cli/LinhasReverificacao.h"
#include "cli/TextoVisivel.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

const char* const TRelatorioCsv::Cabecalho =
    "tabela,codigo,caminho,arquivo,segundos_antes,tempo_antes,segundos_medidos,segundos_gravados,origem,"
    "conferencia,motivo,desfecho\r\n";

namespace {

// A field as RFC 4180 writes it: in double quotes, its quotes doubled, when
// it holds a comma, a quote or a line break (the escaped names never hold a
// line break; a comma is common in them).
std::string Campo(const std::string& texto) {
  if (texto.find_first_of(",\"\r\n") == std::string::npos) return texto;
  std::string campo = "\"";
  for (const char c : texto) {
    if (c == '"') campo += '"';
    campo += c;
  }
  return campo + "\"";
}

std::string Erro(const std::string& caminho, int numero) {
  return "não foi possível escrever o relatório " + caminho + ": " + std::strerror(numero);
}

}  // namespace

TRelatorioCsv::~TRelatorioCsv() {
  if (arquivo_ >= 0) ::close(arquivo_);
}

std::string TRelatorioCsv::Abre(const std::string& caminho) {
  caminho_ = caminho;
  const std::size_t barra = caminho.rfind('/');
  const std::string pasta = barra == std::string::npos ? "." : caminho.substr(0, barra + 1);
  const std::string nome = barra == std::string::npos ? caminho : caminho.substr(barra + 1);
  if (nome.empty()) return Erro(caminho, EISDIR);
  std::string modelo = pasta + (barra == std::string::npos ? "/" : "") + "." + nome + ".XXXXXX";
  std::vector<char> temporario(modelo.begin(), modelo.end());
  temporario.push_back('\0');
  const int arquivo = ::mkstemp(temporario.data());
  if (arquivo < 0) return Erro(caminho, errno);
  // A report is read by whoever reads the log: the permissions of a new file.
  const mode_t mascara = ::umask(0);
  ::umask(mascara);
  ::fchmod(arquivo, 0666 & ~mascara);
  arquivo_ = arquivo;
  if (std::string erro = EscreveTudo(Cabecalho); !erro.empty()) {
    ::unlink(temporario.data());
    return erro;
  }
  if (::rename(temporario.data(), caminho.c_str()) != 0) {
    const int numero = errno;
    ::unlink(temporario.data());
    ::close(arquivo_);
    arquivo_ = -1;
    return erro_ = Erro(caminho, numero);
  }
  return {};
}

std::string TRelatorioCsv::Escreve(const TLinhaAtualizada& linha) {
  if (!erro_.empty()) return erro_;
  if (arquivo_ < 0) return {};
  return EscreveTudo(Linha(linha));
}

std::string TRelatorioCsv::EscreveTudo(const std::string& texto) {
  // One write a line, straight to the file: a run killed after a row leaves
  // its line there.
  for (std::size_t feito = 0; feito < texto.size();) {
    const ssize_t escrito = ::write(arquivo_, texto.data() + feito, texto.size() - feito);
    if (escrito < 0 && errno == EINTR) continue;
    if (escrito <= 0) {
      erro_ = Erro(caminho_, escrito < 0 ? errno : EIO);
      ::close(arquivo_);
      arquivo_ = -1;
      return erro_;
    }
    feito += static_cast<std::size_t>(escrito);
  }
  return {};
}

std::string TRelatorioCsv::Linha(const TLinhaAtualizada& linha) {
  const TMedida& medida = linha.medida;
  const bool medido = medida.motivo != TMotivoDuracao::ModificadoHaPouco;
  std::string conferencia;
  if (medida.conferencia.percorrido)
    conferencia = medida.conferencia.motivo == TMotivoAviso::Nenhum ? "ok" : TextoMotivoAviso(medida.conferencia.motivo);
  const std::string campos[] = {
      TabelaCatalogo(linha.tabela).nome,
      std::to_string(linha.codigo),
      TextoVisivel(linha.caminho, linha.conjuntoCaracteres),
      TextoUtf8Visivel(medida.arquivo.Path),
      std::to_string(linha.segundosAntes),
      TextoUtf8Visivel(linha.tempoAntes),
      medido ? std::to_string(medida.segundos) : "",
      linha.desfecho == TDesfecho::Gravada ? std::to_string(medida.segundos) : "",
      TextoOrigem(medida.origem),
      conferencia,
      TextoMotivo(medida),
      TextoDesfecho(linha.desfecho),
  };
  std::string texto;
  for (const std::string& campo : campos) texto += (texto.empty() ? "" : ",") + Campo(campo);
  return texto + "\r\n";
}
