#include "tests/support/CatalogueDb.h"

#include <fstream>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace dztest {

namespace {


}  // namespace

std::string CatalogueSchemaPath() { return DZ_SCHEMA_SQL; }

void CreateCatalogue(const std::string& path, std::string_view extraSql, int dialect, std::string_view characterSet) {
  const std::string script = path + ".sql";
  const std::string output = path + ".out";
  if (!std::ifstream(CatalogueSchemaPath())) throw std::runtime_error("cannot read " + CatalogueSchemaPath());
  // The database takes the dialect of its creation; the schema's own
  // "SET SQL DIALECT 1" then only sets the dialect of isql's statements.
  std::string text = "SET SQL DIALECT " + std::to_string(dialect) + ";\nCREATE DATABASE '" + path +
                     "' USER 'SYSDBA' PASSWORD 'bluecrane' PAGE_SIZE 8192" +
                     (characterSet.empty() ? std::string() : " DEFAULT CHARACTER SET " + std::string(characterSet)) +
                     ";\n" + ReadFileText(CatalogueSchemaPath());
  text += "\n";
  text += extraSql;
  text += "\nCOMMIT;\n";
  WriteFile(script, text);
  const int status = RunCommand("isql-fb -q -b -i " + ShellQuote(script) + " > " + ShellQuote(output) + " 2>&1");
  if (status != 0) throw std::runtime_error("isql-fb could not make the catalogue database:\n" + ReadFileText(output));
}

TTestDatabase::TTestDatabase(std::string_view extraSql, bool forServer, int dialect, std::string_view characterSet)
    : path_(dir_.File("catalogue.fdb")) {
  CreateCatalogue(path_, extraSql, dialect, characterSet);
  if (forServer) {
    const passwd* user = ::getpwnam("firebird");
    if (user == nullptr) throw std::runtime_error("no user firebird (package firebird3.0-server)");
    if (::chown(dir_.Path().c_str(), user->pw_uid, user->pw_gid) != 0 ||
        ::chown(path_.c_str(), user->pw_uid, user->pw_gid) != 0) {
      throw std::runtime_error("cannot give the test database to user firebird");
    }
  }
}

TSession::TSession(const std::string& databaseName, const std::string& transactionBlock)
    : Attachment(TFbAttachment::Attach(databaseName)),
      Transaction(TFbTransaction::Start(Attachment, transactionBlock)),
      transactionBlock_(transactionBlock) {}

std::int64_t TSession::Exec(const std::string& sql, const std::vector<TSqlValue>& parameters) {
  TFbStatement statement = TFbStatement::Prepare(Attachment, Transaction, sql);
  statement.Execute(Transaction, parameters);
  return statement.RowsChanged();
}

TRows TSession::Query(const std::string& sql, const std::vector<TSqlValue>& parameters) {
  TFbStatement statement = TFbStatement::Prepare(Attachment, Transaction, sql);
  statement.Execute(Transaction, parameters);
  TRows rows;
  while (statement.Fetch()) {
    std::vector<TSqlValue> row;
    for (int i = 0; i < statement.ColumnCount(); ++i) row.push_back(statement.Value(i));
    rows.push_back(std::move(row));
  }
  return rows;
}

TSqlValue TSession::Scalar(const std::string& sql, const std::vector<TSqlValue>& parameters) {
  const TRows rows = Query(sql, parameters);
  if (rows.size() != 1 || rows[0].size() != 1) throw std::runtime_error("not one value: " + sql);
  return rows[0][0];
}

void TSession::Commit() {
  Transaction.Commit();
  Transaction = TFbTransaction::Start(Attachment, transactionBlock_);
}

void TSession::Rollback() {
  Transaction.Rollback();
  Transaction = TFbTransaction::Start(Attachment, transactionBlock_);
}

std::string Show(const TSqlValue& value) {
  if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_string(*number);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return "<null>";
}

std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const EDatabaseError& error) {
    return error.what();
  }
  return "(no error)";
}

std::string InserePasta(int codigo, const std::string& caminho) {
  return "INSERT INTO TB_PASTAS (PAS_CODIGO, PAS_PATH) VALUES (" + std::to_string(codigo) + ", '" + caminho + "');\n";
}

std::string InsereMusica(int codigo, const std::string& tempo, int pasta, const std::string& arquivo,
                         const std::string& segundos) {
  return "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_NOME, MUS_TEMPO, MUS_SEGUNDOS, PAS_CODIGO, MUS_ARQUIVO) VALUES (" +
         std::to_string(codigo) + ", 'Faixa " + std::to_string(codigo) + "', '" + tempo + "', " + segundos + ", " +
         std::to_string(pasta) + ", '" + arquivo + "');\n";
}

std::string InsereVinheta(int codigo, const std::string& tempo, const std::string& arquivo,
                          const std::string& segundos) {
  return "INSERT INTO TB_VINHETAS (VIN_CODIGO, VIN_NOME, VIN_TEMPO, VIN_SEGUNDOS, VIN_ARQUIVO) VALUES (" +
         std::to_string(codigo) + ", 'Vinheta " + std::to_string(codigo) + "', '" + tempo + "', " + segundos + ", '" +
         arquivo + "');\n";
}

void AddPasta(TSession& session, std::int32_t codigo, const TSqlValue& path) {
  session.Exec("insert into TB_PASTAS (PAS_CODIGO, PAS_PATH) values (?, ?)", {codigo, path});
}

void AddMusica(TSession& session, std::int32_t codigo, const TSqlValue& tempo, const TSqlValue& pasta,
               const TSqlValue& arquivo) {
  session.Exec(
      "insert into TB_MUSICAS (MUS_CODIGO, MUS_NOME, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) values (?, ?, ?, ?, ?)",
      {codigo, std::string("Musica ") + std::to_string(codigo), tempo, pasta, arquivo});
}

void AddVinheta(TSession& session, std::int32_t codigo, const TSqlValue& tempo) {
  session.Exec("insert into TB_VINHETAS (VIN_CODIGO, VIN_NOME, VIN_TEMPO, VIN_ARQUIVO) values (?, ?, ?, ?)",
               {codigo, std::string("Vinheta ") + std::to_string(codigo), tempo,
                std::string("/v/") + std::to_string(codigo) + ".wav"});
}

std::unique_ptr<TTestDatabase> DatabaseWithRows(int count, std::string_view extraSql) {
  auto db = std::make_unique<TTestDatabase>(extraSql);
  TSession s(db->Path());
  AddPasta(s, 1, std::string("/musicas/"));
  for (int key = 1; key <= count; ++key) {
    AddMusica(s, key, std::string("00:00"), 1);
    AddVinheta(s, key, std::string("00:00"));
  }
  s.Commit();
  return db;
}

void Executa(const std::string& databasePath, std::initializer_list<std::string> statements) {
  TSession session(databasePath);
  for (const auto& statement : statements) session.Exec(statement);
  session.Commit();
}

std::vector<std::string> Linhas(const std::string& databasePath, const std::string& sql) {
  TSession session(databasePath);
  std::vector<std::string> linhas;
  for (const auto& row : session.Query(sql)) {
    std::string linha;
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i > 0) linha += '|';
      linha += Show(row[i]);
    }
    linhas.push_back(linha);
  }
  return linhas;
}

std::vector<std::string> Musicas(const std::string& databasePath) {
  return Linhas(databasePath, "SELECT MUS_CODIGO, MUS_SEGUNDOS, MUS_TEMPO FROM TB_MUSICAS ORDER BY MUS_CODIGO");
}

std::vector<std::string> Vinhetas(const std::string& databasePath) {
  return Linhas(databasePath, "SELECT VIN_CODIGO, VIN_SEGUNDOS, VIN_TEMPO FROM TB_VINHETAS ORDER BY VIN_CODIGO");
}

std::vector<std::string> Versoes(const std::string& databasePath) {
  std::vector<std::string> versoes =
      Linhas(databasePath,
             "SELECT 'M ' || MUS_CODIGO, CAST(RDB$RECORD_VERSION AS INTEGER) FROM TB_MUSICAS ORDER BY MUS_CODIGO");
  const std::vector<std::string> vinhetas =
      Linhas(databasePath,
             "SELECT 'V ' || VIN_CODIGO, CAST(RDB$RECORD_VERSION AS INTEGER) FROM TB_VINHETAS ORDER BY VIN_CODIGO");
  versoes.insert(versoes.end(), vinhetas.begin(), vinhetas.end());
  return versoes;
}

std::string MusicaInDatabase(TSession& session, std::int32_t codigo) {
  const TRows rows =
      session.Query("select MUS_SEGUNDOS, MUS_TEMPO from TB_MUSICAS where MUS_CODIGO = ?", {codigo});
  return rows.empty() ? "(gone)" : Show(rows[0][0]) + " " + Show(rows[0][1]);
}

}  // namespace dztest
