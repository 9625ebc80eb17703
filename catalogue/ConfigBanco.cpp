#include "catalogue/ConfigBanco.h"

#include "catalogue/DataSet.h"

#include <optional>

bool AplicaConfiguracao(TDatabase& database, const std::string& fileName) {
  if (!ConfigFileExists(fileName)) return false;
  database.SetDatabaseName(ReadConfiguredDatabaseName(fileName));
  return true;
}

std::string ReadConfiguredCallLimit(const std::string& fileName, TDatabase& database) {
  const std::string text = ReadIniValue(fileName, ConfigSection, ConfigCallLimitKey);
  if (text.empty()) return "";
  const std::optional<int> seconds = ParseCallLimit(text);
  if (!seconds) {
    return fileName + ": [" + ConfigSection + "] " + ConfigCallLimitKey + "=" + text +
           " não é um número de segundos de " +
           std::to_string(CallLimitMinSeconds) + " a " + std::to_string(CallLimitMaxSeconds);
  }
  database.SetCallLimit(*seconds);
  return "";
}
