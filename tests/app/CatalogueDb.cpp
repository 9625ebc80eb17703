#include "tests/app/CatalogueDb.h"

namespace dztest {

std::vector<std::string> Linhas(const std::string& databasePath, const std::string& sql) {
  TSession session(databasePath);
  std::vector<std::string> linhas;
  for (const auto& row : session.Query(sql)) {
    std::string linha;
    for (std::size_t i = 0; i < row.size(); ++i) linha += (i > 0 ? "|" : "") + Show(row[i]);
    linhas.push_back(linha);
  }
  return linhas;
}

void Executa(const std::string& databasePath, std::initializer_list<std::string> statements) {
  TSession session(databasePath);
  for (const auto& statement : statements) session.Exec(statement);
  session.Commit();
}

}  // namespace dztest
