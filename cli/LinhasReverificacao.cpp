#include "cli/LinhasReverificacao.h"

#include "cli/LinhasConferencia.h"
#include "cli/TextoVisivel.h"

namespace {

std::string Quantas(int n, const char* singular, const char* plural) {
  return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

// Table, key and path, each after a tab.
std::string Identifica(const TLinhaAtualizada& linha) { return "\t" + IdentificaLinha(linha); }

std::string Antes(const TLinhaAtualizada& linha) {
  return "\t" + std::to_string(linha.segundosAntes) + "\t" + TextoUtf8Visivel(linha.tempoAntes);
}

}  // namespace

const char* TextoDesfecho(TDesfecho desfecho) {
  switch (desfecho) {
    case TDesfecho::Gravada: return "gravada";
    case TDesfecho::Inalterada: return "inalterada";
    case TDesfecho::Difere: return "difere";
    case TDesfecho::Ignorada: return "ignorada";
    case TDesfecho::Falhou: return "falhou";
    case TDesfecho::NaoConfirmada: return "não confirmada";
  }
  return "";
}

std::string LinhaNaoConfirmada(const TLinhaAtualizada& linha) {
  return "gravação não confirmada" + Identifica(linha) + "\t" + std::to_string(linha.medida.segundos) + "\t" +
         TextoUtf8Visivel(linha.tempo);
}

std::string LinhaDiferenca(const TLinhaAtualizada& linha) {
  const char* nota = linha.desfecho == TDesfecho::Gravada  ? "gravada"
                     : linha.desfecho == TDesfecho::Falhou ? "não gravada: Update Failed"
                                                           : "não gravada";
  return "difere" + Identifica(linha) + Antes(linha) + "\t" + std::to_string(linha.medida.segundos) + "\t" + nota;
}

std::string LinhaSemMedida(const TLinhaAtualizada& linha) {
  return "sem medida" + Identifica(linha) + Antes(linha) + "\t" + TextoMotivo(linha.medida);
}

std::string LinhaIgnorada(const TLinhaAtualizada& linha) {
  return "ignorada" + Identifica(linha) + "\t" + TextoMotivo(linha.medida);
}

std::string LinhaDesfecho(const TLinhaAtualizada& linha) {
  if (linha.desfecho == TDesfecho::NaoConfirmada) return LinhaNaoConfirmada(linha);
  if (linha.medida.motivo == TMotivoDuracao::ModificadoHaPouco) return LinhaIgnorada(linha);
  if (!linha.comDuracao) return {};
  switch (linha.desfecho) {
    case TDesfecho::Gravada:
    case TDesfecho::Difere:
    case TDesfecho::Falhou: return LinhaDiferenca(linha);
    case TDesfecho::Ignorada: return LinhaSemMedida(linha);
    case TDesfecho::Inalterada:
    case TDesfecho::NaoConfirmada: return {};
  }
  return {};
}

std::string LinhaResumo(const TContagemAtualizacao& contagem) {
  return "Resumo: " + Quantas(contagem.visitadas, "linha visitada", "linhas visitadas") + ", " +
         std::to_string(contagem.diferentes) + " com duração diferente da do arquivo, " +
         Quantas(contagem.gravadas, "gravada", "gravadas") + ", " +
         Quantas(contagem.recentes, "ignorada por ser recente", "ignoradas por serem recentes") + ", " +
         std::to_string(contagem.semMedida) + " sem medida.";
}
