#pragma once

#include <string>

class TDatabase;

// The start-up configuration, read the same way by the window and the
// companion: when the file exists, the database name becomes its BANCO /
// CAMINHO value, also when that is empty (connecting then fails with
// "Database name is missing"); without the file the connection keeps its
// built-in name. False when there is no file.
bool AplicaConfiguracao(TDatabase& banco, const std::string& arquivo);
