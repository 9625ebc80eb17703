// How atualiza-duracoes words the frame-walk check: a warning line and the
// closing count.

#include "cli/LinhasConferencia.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The row a warning is about, as the run reports it, with its file's walk.
TLinhaAtualizada Avisada(TTabela tabela, int codigo, const std::string& caminho,
                         const TConferenciaArquivo& conferencia) {
  TLinhaAtualizada linha{tabela, codigo, caminho, "", CharacterSetUtf8, {}};
  linha.medida.conferencia = conferencia;
  return linha;
}

TEST(LinhasConferencia, Texts) {
  TConferenciaArquivo conferencia;
  conferencia.motivo = TMotivoAviso::VBRSemCabecalho;
  conferencia.estimativa = 26.126;
  conferencia.percorrida = 2.6383;
  EXPECT_EQ(LinhaAviso(Avisada(TTabela::Vinhetas, 7, "/srv/vinhetas/bip.mp3", conferencia)),
            "aviso\tTb_Vinhetas\t7\t/srv/vinhetas/bip.mp3\t26.13\t2.64\tVBR sem cabeçalho");
  EXPECT_STREQ(TextoMotivoAviso(TMotivoAviso::ArquivoTruncado), "arquivo truncado");
  EXPECT_STREQ(TextoMotivoAviso(TMotivoAviso::EstimativaDifere), "estimativa difere");
  EXPECT_STREQ(TextoMotivoAviso(TMotivoAviso::Nenhum), "");
  EXPECT_EQ(LinhaTotalConferencia(0, 0), "Conferência: 0 avisos em 0 arquivos MP3 percorridos.");
  EXPECT_EQ(LinhaTotalConferencia(1, 1), "Conferência: 1 aviso em 1 arquivo MP3 percorrido.");
  EXPECT_EQ(LinhaTotalConferencia(2, 5), "Conferência: 2 avisos em 5 arquivos MP3 percorridos.");
  EXPECT_EQ(LinhaTotalConferencia(1, 5, 1),
            "Conferência: 1 aviso em 5 arquivos MP3 percorridos; 1 linha com a duração percorrida.");
  EXPECT_EQ(LinhaTotalConferencia(2, 5, 0),
            "Conferência: 2 avisos em 5 arquivos MP3 percorridos; 0 linhas com a duração percorrida.");
}

}  // namespace
