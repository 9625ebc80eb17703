#pragma once

// The path rules of the configuration file, as the run, its context and
// audioinfo read them.

#include "paths/PathMapping.h"

#include <string>

// Adds the rules of the configuration file's section [CAMINHOS]
// (paths/PathMapping.h) to mapping; without the section nothing is added.
// Returns "" or the file's name and what is wrong
// ("/opt/dz/BaseAudio.ini: [CAMINHOS] DE2 sem PARA2").
std::string ReadConfiguredPathMapping(const std::string& fileName, TPathMapping& mapping);
