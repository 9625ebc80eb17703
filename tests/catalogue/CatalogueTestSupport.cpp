#include "tests/catalogue/CatalogueTestSupport.h"

#include <fstream>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace dztest {

std::string CatalogueSchemaPath() { return SourceDir() + "/catalogue/schema/catalogue.sql"; }

TTestDatabase::TTestDatabase(std::string_view extraSql, bool forServer, int dialect, std::string_view characterSet)
    : path_(dir_.File("catalogue.fdb")) {
  const std::string script = dir_.File("create.sql");
  const std::string output = dir_.File("create.out");
  std::ifstream schemaFile(CatalogueSchemaPath());
  if (!schemaFile) throw std::runtime_error("cannot read " + CatalogueSchemaPath());
  std::stringstream schema;
  schema << schemaFile.rdbuf();
  // The database takes the dialect of its creation; the schema's own
  // "SET SQL DIALECT 1" then only sets the dialect of isql's statements.
  std::string text = "SET SQL DIALECT " + std::to_string(dialect) + ";\nCREATE DATABASE '" + path_ +
                     "' USER 'SYSDBA' PASSWORD 'bluecrane' PAGE_SIZE 8192" +
                     (characterSet.empty() ? std::string() : " DEFAULT CHARACTER SET " + std::string(characterSet)) +
                     ";\n" + schema.str();
  text += "\n";
  text += extraSql;
  text += "\nCOMMIT;\n";
  WriteFile(script, text);
  const int status = RunCommand("isql-fb -q -b -i " + ShellQuote(script) + " > " + ShellQuote(output) + " 2>&1");
  if (status != 0) {
    std::ifstream log(output);
    std::stringstream messages;
    messages << log.rdbuf();
    throw std::runtime_error("isql-fb could not make the test database:\n" + messages.str());
  }
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

}  // namespace dztest
