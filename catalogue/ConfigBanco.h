#pragma once

// The start-up configuration (Config.h) applied to the catalogue's connection.

#include "catalogue/Config.h"

#include <string>

class TDatabase;

// The start-up configuration, read the same way by the window and the
// companion: when the file exists, the database name becomes its BANCO /
// CAMINHO value, also when that is empty (connecting then fails with
// "Database name is missing"); without the file the connection keeps its
// built-in name. False when there is no file. Anything but a folder counts as
// the file; an empty name, or one holding a NUL byte, names no file.
bool AplicaConfiguracao(TDatabase& database, const std::string& fileName);

// Sets the database's call limit from the configuration file's BANCO /
// TEMPO_LIMITE when the key has a value (else the limit stays as it is).
// Returns "" or the file's name and what is wrong
// ("/opt/dz/BaseAudio.ini: [BANCO] TEMPO_LIMITE=abc não é um número de segundos de 1 a 86400").
std::string ReadConfiguredCallLimit(const std::string& fileName, TDatabase& database);
