#include "cli/LinhasConferencia.h"

#include "cli/TextoVisivel.h"

#include <cstdio>

const char* TextoMotivoAviso(TMotivoAviso motivo) {
  switch (motivo) {
    case TMotivoAviso::Nenhum: return "";
    case TMotivoAviso::ArquivoTruncado: return "arquivo truncado";
    case TMotivoAviso::VBRSemCabecalho: return "VBR sem cabeçalho";
    case TMotivoAviso::EstimativaDifere: return "estimativa difere";
  }
  return "";
}

std::string IdentificaLinha(const TLinhaAtualizada& linha) {
  return std::string(TabelaCatalogo(linha.tabela).nome) + "\t" + std::to_string(linha.codigo) + "\t" +
         TextoVisivel(linha.caminho, linha.conjuntoCaracteres);
}

std::string LinhaAviso(const TLinhaAtualizada& linha, const char* nota) {
  const TConferenciaArquivo& conferencia = linha.medida.conferencia;
  char segundos[64];
  std::snprintf(segundos, sizeof segundos, "%.2f\t%.2f", conferencia.estimativa, conferencia.percorrida);
  return "aviso\t" + IdentificaLinha(linha) + "\t" + segundos + "\t" + TextoMotivoAviso(conferencia.motivo) +
         (nota != nullptr ? std::string("\t") + nota : std::string());
}

std::string LinhaTotalConferencia(int avisos, int percorridos, std::optional<int> comPercorrida) {
  std::string linha = "Conferência: " + std::to_string(avisos) + (avisos == 1 ? " aviso" : " avisos") + " em " +
                      std::to_string(percorridos) +
                      (percorridos == 1 ? " arquivo MP3 percorrido" : " arquivos MP3 percorridos");
  if (comPercorrida) {
    linha += "; " + std::to_string(*comPercorrida) + (*comPercorrida == 1 ? " linha" : " linhas") +
             " com a duração percorrida";
  }
  return linha + ".";
}
