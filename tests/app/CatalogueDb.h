#pragma once

// Short forms over the catalogue tests' helpers (TTestDatabase, TSession),
// for checking and changing a catalogue as another program would.

#include "tests/catalogue/CatalogueTestSupport.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace dztest {

// The rows of a select, each as its columns joined by "|" (see Show); committed data only.
std::vector<std::string> Linhas(const std::string& databasePath, const std::string& sql);
// Runs the statements in a session of their own and commits.
void Executa(const std::string& databasePath, std::initializer_list<std::string> statements);

}  // namespace dztest
