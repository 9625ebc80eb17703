#include "run/RegrasCaminhos.h"

#include "catalogue/Config.h"

std::string ReadConfiguredPathMapping(const std::string& fileName, TPathMapping& mapping) {
  const std::string error = AddSectionRules(mapping, ReadIniSection(fileName, PathSection));
  return error.empty() ? error : fileName + ": " + error;
}
