#include "catalogue/Catalogue.h"

#include "catalogue/CharacterSets.h"
#include "catalogue/Tabelas.h"

#include <span>
#include <string_view>

namespace {
constexpr TColumnType Integer = TColumnType::Integer;
constexpr TColumnType Text = TColumnType::Text;
}  // namespace

const std::array<TColumnDef, 24> MusicasColumns = {{
    {"MUS_CODIGO", Integer, 0},
    {"MUS_NOME", Text, 45},
    {"MUS_INTERPRETE", Text, 45},
    {"MUS_TEMPO", Text, 5},
    {"MUS_TIPO", Text, 1},
    {"MUS_ALBUM", Text, 45},
    {"MUS_ANO", Integer, 0},
    {"MUS_FAIXA", Integer, 0},
    {"MUS_SUCESSO", Text, 1},
    {"MUS_NOMECOMPLETO", Text, 100},
    {"GEN_CODIGO", Integer, 0},
    {"SUB_CODIGO", Integer, 0},
    {"RIT_CODIGO", Integer, 0},
    {"VOC_CODIGO", Integer, 0},
    {"GRA_CODIGO", Integer, 0},
    {"IDI_CODIGO", Integer, 0},
    {"PAS_CODIGO", Integer, 0},
    {"MUS_ARQUIVO", Text, 256},
    {"MUS_COMPOSITOR", Text, 45},
    {"MUS_TIPOPERIODO", Text, 1},
    {"MUS_PERIODOINICIO", Text, 5},
    {"MUS_PERIODOFIM", Text, 5},
    {"MUS_SEGUNDOS", Integer, 0},
    {"PAS_PATH", Text, 256},  // from TB_PASTAS, read only
}};

const std::array<TColumnDef, 7> VinhetasColumns = {{
    {"VIN_CODIGO", Integer, 0},
    {"VIN_NOME", Text, 45},
    {"VIN_TEMPO", Text, 5},
    {"VIN_TIPO", Text, 1},
    {"VIN_ARQUIVO", Text, 256},
    {"CAV_CODIGO", Integer, 0},
    {"VIN_SEGUNDOS", Integer, 0},
}};

namespace {
// The listed size (characters) of a text column of a query.
int ListedSize(std::span<const TColumnDef> columns, std::string_view name) {
  for (const TColumnDef& column : columns) {
    if (name == column.Name) return column.Size;
  }
  return 0;
}

// The modify statements' test that a text column still holds the text the
// row was fetched with: byte for byte (a plain "=" ignores trailing blanks,
// but a file name with one names another file; a collation may ignore
// letter case) and null-safe. The bytes are compared as octets as long as
// the listed characters can take in any character set: a column declared
// wider than listed is refused before any write ("Size Mismatch"), so no
// name the column holds is cut.
std::string SameText(std::string_view column, std::string_view parameter, int listedSize) {
  const std::string octets =
      " as varchar(" + std::to_string(listedSize * MostBytesPerCharacter) + ") character set octets)";
  return "cast(" + std::string(column) + octets + " is not distinct from cast(:" + std::string(parameter) + octets;
}

// Which rows a query selects and a modify statement still finds.
enum class TLinhas {
  SemDuracao,  // the rows still without a length ("00:00")
  Todas,       // every row, for the check of the lengths written; a row is
               // written only while both length columns hold what was read
};

// The rows from the highest key down; a music row with its folder's path.
std::string SelectSql(const TTabelaCatalogo& tabela, TLinhas linhas) {
  const std::string codigo = tabela.colunaCodigo;
  const std::string tempo = tabela.colunaTempo;
  const bool semDuracao = linhas == TLinhas::SemDuracao;
  if (tabela.colunaPasta == nullptr) {
    return std::string("SELECT * FROM ") + tabela.nome + (semDuracao ? "\nWHERE " + tempo + " = '00:00'" : "") +
           "\nORDER BY " + codigo + " DESC";
  }
  const std::string pasta = tabela.colunaCodigoPasta;
  return std::string("SELECT Mus.*, Pas.") + tabela.colunaPasta + "\nFROM " + tabela.nome + " Mus\nINNER JOIN " +
         tabela.tabelaPastas + " Pas ON Mus." + pasta + " = Pas." + pasta +
         (semDuracao ? "\nWHERE Mus." + tempo + " = '00:00'" : "") + "\nORDER BY Mus." + codigo + " DESC";
}

std::string ModifySql(const TTabelaCatalogo& tabela, std::span<const TColumnDef> columns, TLinhas linhas) {
  const std::string codigo = tabela.colunaCodigo;
  const std::string segundos = tabela.colunaSegundos;
  const std::string tempo = tabela.colunaTempo;
  const std::string arquivo = tabela.colunaArquivo;
  const std::string duracao =
      linhas == TLinhas::SemDuracao
          ? tempo + " = '00:00'"
          : segundos + " is not distinct from :OLD_" + segundos + "\n  and " +
                SameText(tempo, "OLD_" + tempo, ListedSize(columns, tempo));
  std::string sql = std::string("update ") + tabela.nome + "\nset\n  " + segundos + " = :" + segundos + ",\n  " +
                    tempo + " = :" + tempo + "\nwhere\n  " + codigo + " = :OLD_" + codigo + "\n  and " + duracao +
                    "\n  and " + SameText(arquivo, "OLD_" + arquivo, ListedSize(columns, arquivo));
  if (tabela.colunaPasta != nullptr) {
    const std::string pasta = tabela.colunaCodigoPasta;
    const std::string caminho = tabela.colunaPasta;
    sql += "\n  and " + pasta + " is not distinct from :OLD_" + pasta + "\n  and exists (select 1 from " +
           tabela.tabelaPastas + " Pas where Pas." + pasta + " = " + tabela.nome + "." + pasta + "\n              and " +
           SameText("Pas." + caminho, "OLD_" + caminho, ListedSize(columns, caminho)) + ")";
  }
  return sql;
}

}  // namespace

const std::string MusicasSelectSql = SelectSql(TabelaCatalogo(TTabela::Musicas), TLinhas::SemDuracao);
const std::string VinhetasSelectSql = SelectSql(TabelaCatalogo(TTabela::Vinhetas), TLinhas::SemDuracao);
const std::string MusicasModifySql = ModifySql(TabelaCatalogo(TTabela::Musicas), MusicasColumns, TLinhas::SemDuracao);
const std::string VinhetasModifySql =
    ModifySql(TabelaCatalogo(TTabela::Vinhetas), VinhetasColumns, TLinhas::SemDuracao);
const std::string MusicasTodasSelectSql = SelectSql(TabelaCatalogo(TTabela::Musicas), TLinhas::Todas);
const std::string VinhetasTodasSelectSql = SelectSql(TabelaCatalogo(TTabela::Vinhetas), TLinhas::Todas);
const std::string MusicasTodasModifySql = ModifySql(TabelaCatalogo(TTabela::Musicas), MusicasColumns, TLinhas::Todas);
const std::string VinhetasTodasModifySql =
    ModifySql(TabelaCatalogo(TTabela::Vinhetas), VinhetasColumns, TLinhas::Todas);

// The queries are given the update sets declared after them: they only keep
// the reference until a write.
TCatalogo::TCatalogo()
    : DB_Velmar("DB_Velmar", DefaultDatabaseName),
      Trans_Velmar("Trans_Velmar", DB_Velmar),
      Q_Musicas("Q_Musicas", DB_Velmar, Trans_Velmar, MusicasSelectSql, MusicasColumns, Up_Musicas),
      Up_Musicas("Up_Musicas", DB_Velmar, Trans_Velmar, MusicasModifySql),
      Q_Vinhetas("Q_Vinhetas", DB_Velmar, Trans_Velmar, VinhetasSelectSql, VinhetasColumns, Up_Vinhetas),
      Up_Vinhetas("Up_Vinhetas", DB_Velmar, Trans_Velmar, VinhetasModifySql),
      Q_MusicasTodas("Q_MusicasTodas", DB_Velmar, Trans_Velmar, MusicasTodasSelectSql, MusicasColumns,
                     Up_MusicasTodas),
      Up_MusicasTodas("Up_MusicasTodas", DB_Velmar, Trans_Velmar, MusicasTodasModifySql),
      Q_VinhetasTodas("Q_VinhetasTodas", DB_Velmar, Trans_Velmar, VinhetasTodasSelectSql, VinhetasColumns,
                      Up_VinhetasTodas),
      Up_VinhetasTodas("Up_VinhetasTodas", DB_Velmar, Trans_Velmar, VinhetasTodasModifySql) {}
