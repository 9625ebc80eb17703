#include "tests/support/CatalogoGrande.h"

#include "tests/support/CatalogueDb.h"

#include <variant>

namespace dztest {

namespace {

int Inteiro(const TSqlValue& valor) {
  const auto* inteiro = std::get_if<std::int32_t>(&valor);
  return inteiro != nullptr ? *inteiro : 0;
}

}  // namespace

void InsereMusicas(const std::string& banco, int linhas, int pasta, const std::string& arquivo) {
  // One statement on the server side: far quicker than a script of single inserts.
  TSession sessao(banco);
  sessao.Exec(
      "EXECUTE BLOCK (LINHAS INTEGER = ?, PASTA INTEGER = ?, ARQUIVO VARCHAR(256) = ?) AS\n"
      "DECLARE I INTEGER = 1;\n"
      "BEGIN\n"
      "  WHILE (I <= LINHAS) DO BEGIN\n"
      "    INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO)\n"
      "      VALUES (:I, '00:00', :PASTA, :ARQUIVO);\n"
      "    I = I + 1;\n"
      "  END\n"
      "END",
      {linhas, pasta, arquivo});
  sessao.Commit();
}

TEstadoMusicas EstadoMusicas(const std::string& banco, int segundos, const std::string& tempo) {
  TSession sessao(banco);
  const TRows linhas = sessao.Query(
      "SELECT COUNT(*),"
      " CAST(SUM(CASE WHEN MUS_SEGUNDOS = ? AND MUS_TEMPO = ? THEN 1 ELSE 0 END) AS INTEGER),"
      " CAST(SUM(CASE WHEN MUS_SEGUNDOS IS NULL AND MUS_TEMPO = '00:00' THEN 1 ELSE 0 END) AS INTEGER),"
      " MIN(CASE WHEN MUS_SEGUNDOS = ? AND MUS_TEMPO = ? THEN MUS_CODIGO END)"
      " FROM TB_MUSICAS",
      {segundos, tempo, segundos, tempo});
  TEstadoMusicas estado;
  if (linhas.size() == 1 && linhas[0].size() == 4) {
    estado.total = Inteiro(linhas[0][0]);
    estado.medidas = Inteiro(linhas[0][1]);
    estado.vazias = Inteiro(linhas[0][2]);
    estado.menorMedida = Inteiro(linhas[0][3]);
  }
  return estado;
}

}  // namespace dztest
