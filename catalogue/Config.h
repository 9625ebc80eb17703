#pragma once

// The start-up configuration: the file BaseAudio.ini beside the executable,
// whose section "BANCO" holds the database name under the key "CAMINHO".
// Reading it needs no database client (audioinfo reads its [CAMINHOS]);
// ConfigBanco.h applies it to the catalogue's connection.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr const char* ConfigFileName = "BaseAudio.ini";
inline constexpr const char* ConfigSection = "BANCO";
inline constexpr const char* ConfigKey = "CAMINHO";
// How long the catalogue's calls may wait for the server, in seconds (see
// TDatabase::SetCallLimit): the key in section "BANCO", and its range.
inline constexpr const char* ConfigCallLimitKey = "TEMPO_LIMITE";
inline constexpr int CallLimitMinSeconds = 1;
inline constexpr int CallLimitMaxSeconds = 86400;
// At most this many characters of a value are used (the rest is cut off).
inline constexpr std::size_t ConfigValueMaxLength = 2047;

// The folder of the running executable, with its trailing separator
// ("/opt/dz/" for "/opt/dz/DerozaviZirizid"); the empty text when the system
// cannot tell. This is the one place that asks the system for it.
std::string ExecutableFolder();

// The value of a key in a section of an INI file, as written (backslashes and
// all; blanks around it removed), cut to ConfigValueMaxLength characters.
// Section and key names are compared without regard to letter case; when a
// key is given twice in its section, the first one counts. The empty text
// when the file, the section or the key is missing. Never throws.
std::string ReadIniValue(const std::string& fileName, const std::string& section, const std::string& key);

// The database name that the configuration file names: ReadIniValue of
// section "BANCO", key "CAMINHO".
std::string ReadConfiguredDatabaseName(const std::string& fileName);

// Whether the configuration file is there: anything but a folder counts as
// the file; an empty name, or one holding a NUL byte, names no file.
bool ConfigFileExists(const std::string& fileName);

// A number of seconds from CallLimitMinSeconds to CallLimitMaxSeconds, in decimal digits and
// nothing else; nothing for any other text.
std::optional<int> ParseCallLimit(std::string_view text);

// A section's keys and values, in file order.
using TIniEntries = std::vector<std::pair<std::string, std::string>>;

// Every key and value of a section, in file order, read as ReadIniValue reads
// one (section names without regard to letter case; empty when the file or
// the section is missing).
TIniEntries ReadIniSection(const std::string& fileName, const std::string& section);
