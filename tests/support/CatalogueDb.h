#pragma once

// Catalogue databases for the tests and the update benchmark: a database made
// from the schema script, rows added as another program would add them, and
// rows read back. Each test makes its own database in a temporary folder
// removed with it, and a session plays the other program that shares the
// database.

#include "catalogue/FbClient.h"
#include "tests/support/TestSupport.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dztest {

// The schema script of the catalogue tables.
std::string CatalogueSchemaPath();

// Makes a catalogue database at path with isql-fb (embedded engine): the
// database in the given dialect, the schema script, then extraSql (more
// statements, ";"-terminated). isql's script and output stay beside it
// (path + ".sql", path + ".out"). Throws std::runtime_error with isql's
// messages when it fails, also when the file exists already. characterSet is
// the database's default character set (NONE when empty).
void CreateCatalogue(const std::string& path, std::string_view extraSql = {}, int dialect = 1,
                     std::string_view characterSet = {});

// A fresh catalogue database (see CreateCatalogue) in a folder of its own.
// Made for a server, the folder and the file belong to user firebird, the
// server's user. The folder and the database go when the object goes.
class TTestDatabase {
public:
  explicit TTestDatabase(std::string_view extraSql = {}, bool forServer = false, int dialect = 1,
                         std::string_view characterSet = {});
  TTestDatabase(const TTestDatabase&) = delete;
  TTestDatabase& operator=(const TTestDatabase&) = delete;

  // Plain local path (embedded engine).
  const std::string& Path() const { return path_; }
  const TTempDir& Dir() const { return dir_; }

private:
  TTempDir dir_;
  std::string path_;
};

using TRows = std::vector<std::vector<TSqlValue>>;

// An attachment with a transaction of its own (by default the tool's own
// kind: read committed, record version, no wait).
class TSession {
public:
  explicit TSession(const std::string& databaseName,
                    const std::string& transactionBlock = FbBlocks::TransactionBlock());
  // Executes a statement with "?" parameters; returns the rows it changed.
  std::int64_t Exec(const std::string& sql, const std::vector<TSqlValue>& parameters = {});
  TRows Query(const std::string& sql, const std::vector<TSqlValue>& parameters = {});
  TSqlValue Scalar(const std::string& sql, const std::vector<TSqlValue>& parameters = {});
  // Commit or roll back, then go on in a new transaction.
  void Commit();
  void Rollback();

  TFbAttachment Attachment;
  TFbTransaction Transaction;

private:
  std::string transactionBlock_;
};

// A value as text for messages and comparisons: "<null>", the integer, or the text.
std::string Show(const TSqlValue& value);

// The text of the database error that the action raises, or "(no error)".
std::string ErrorText(const std::function<void()>& action);

// ---- Rows as statements, for the extra SQL of a new database ----

// A seconds value of "NULL" leaves the row without one.
std::string InserePasta(int codigo, const std::string& caminho);
std::string InsereMusica(int codigo, const std::string& tempo, int pasta, const std::string& arquivo,
                         const std::string& segundos = "NULL");
std::string InsereVinheta(int codigo, const std::string& tempo, const std::string& arquivo,
                          const std::string& segundos = "NULL");

// ---- Rows added through a session, their values bound (null, or any text) ----

void AddPasta(TSession& session, std::int32_t codigo, const TSqlValue& path);
// Named "Musica <codigo>".
void AddMusica(TSession& session, std::int32_t codigo, const TSqlValue& tempo, const TSqlValue& pasta,
               const TSqlValue& arquivo = std::string("faixa.mp3"));
// Named "Vinheta <codigo>", its file "/v/<codigo>.wav".
void AddVinheta(TSession& session, std::int32_t codigo, const TSqlValue& tempo);

// A database with music rows 1..count in folder 1 ("/musicas/") and jingle
// rows 1..count, all still without a length.
std::unique_ptr<TTestDatabase> DatabaseWithRows(int count, std::string_view extraSql = {});

// Runs the statements in a session of their own and commits.
void Executa(const std::string& databasePath, std::initializer_list<std::string> statements);

// ---- Rows read back ----

// The rows of a select, each as its columns joined by "|" (see Show); committed data only.
std::vector<std::string> Linhas(const std::string& databasePath, const std::string& sql);
// The rows of Tb_Musicas and Tb_Vinhetas as "key|seconds|time", key order.
std::vector<std::string> Musicas(const std::string& databasePath);
std::vector<std::string> Vinhetas(const std::string& databasePath);
// Every row of both tables as "M key|record version" or "V key|record
// version": the record version changes with every write of the row, even one
// that writes the values it had.
std::vector<std::string> Versoes(const std::string& databasePath);
// One music row as the session sees it: "seconds time", or "(gone)".
std::string MusicaInDatabase(TSession& session, std::int32_t codigo);

}  // namespace dztest
