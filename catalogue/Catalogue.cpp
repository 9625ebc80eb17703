#include "catalogue/Catalogue.h"

#include "catalogue/CharacterSets.h"

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

const char* const MusicasSelectSql =
    "SELECT Mus.*, Pas.Pas_Path\n"
    "FROM Tb_Musicas Mus\n"
    "INNER JOIN Tb_Pastas Pas ON Mus.Pas_Codigo = Pas.Pas_Codigo\n"
    "WHERE Mus.Mus_Tempo = '00:00'\n"
    "ORDER BY Mus.Mus_Codigo DESC";

const char* const VinhetasSelectSql =
    "SELECT * FROM Tb_Vinhetas\n"
    "WHERE Vin_Tempo = '00:00'\n"
    "ORDER BY Vin_Codigo DESC";

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
}  // namespace

const std::string MusicasModifySql =
    "update TB_Musicas\n"
    "set\n"
    "  MUS_SEGUNDOS = :MUS_SEGUNDOS,\n"
    "  MUS_TEMPO = :MUS_TEMPO\n"
    "where\n"
    "  MUS_CODIGO = :OLD_MUS_CODIGO\n"
    "  and MUS_TEMPO = '00:00'\n"
    "  and " + SameText("MUS_ARQUIVO", "OLD_MUS_ARQUIVO", ListedSize(MusicasColumns, "MUS_ARQUIVO")) + "\n"
    "  and PAS_CODIGO is not distinct from :OLD_PAS_CODIGO\n"
    "  and exists (select 1 from TB_Pastas Pas where Pas.PAS_CODIGO = TB_Musicas.PAS_CODIGO\n"
    "              and " + SameText("Pas.PAS_PATH", "OLD_PAS_PATH", ListedSize(MusicasColumns, "PAS_PATH")) + ")";

const std::string VinhetasModifySql =
    "update Tb_Vinhetas\n"
    "set\n"
    "  VIN_SEGUNDOS = :VIN_SEGUNDOS,\n"
    "  VIN_TEMPO = :VIN_TEMPO\n"
    "where\n"
    "  VIN_CODIGO = :OLD_VIN_CODIGO\n"
    "  and VIN_TEMPO = '00:00'\n"
    "  and " + SameText("VIN_ARQUIVO", "OLD_VIN_ARQUIVO", ListedSize(VinhetasColumns, "VIN_ARQUIVO"));

// The queries are given the update sets declared after them: they only keep
// the reference until a write.
TCatalogo::TCatalogo()
    : DB_Velmar("DB_Velmar", DefaultDatabaseName),
      Trans_Velmar("Trans_Velmar", DB_Velmar),
      Q_Musicas("Q_Musicas", DB_Velmar, Trans_Velmar, MusicasSelectSql, MusicasColumns, Up_Musicas),
      Up_Musicas("Up_Musicas", DB_Velmar, Trans_Velmar, MusicasModifySql),
      Q_Vinhetas("Q_Vinhetas", DB_Velmar, Trans_Velmar, VinhetasSelectSql, VinhetasColumns, Up_Vinhetas),
      Up_Vinhetas("Up_Vinhetas", DB_Velmar, Trans_Velmar, VinhetasModifySql) {}
