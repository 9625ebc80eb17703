#include "Configuracao.h"

#include "Config.h"
#include "DataSet.h"
#include "ReadOnlyFile.h"

bool AplicaConfiguracao(TDatabase& banco, const std::string& arquivo) {
  if (!FileExists(arquivo)) return false;
  banco.SetDatabaseName(ReadConfiguredDatabaseName(arquivo));
  return true;
}
