#pragma once

// Databases for the catalogue tests: each test makes its own catalogue
// database from the schema script, in a temporary folder removed with it,
// and a session plays the other program that shares the database.

#include "catalogue/FbClient.h"
#include "tests/support/TestSupport.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dztest {

// The schema script of the catalogue tables.
std::string CatalogueSchemaPath();

// A fresh dialect 1 catalogue database made by isql-fb (embedded engine)
// from the schema script, then extraSql (more statements, ";"-terminated).
// Made for a server, the folder and the file belong to user firebird, the
// server's user. characterSet is the database's default character set (NONE
// when empty). The folder and the database go when the object goes.
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

}  // namespace dztest
