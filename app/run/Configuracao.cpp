#include "app/run/Configuracao.h"

#include "catalogue/Config.h"
#include "catalogue/DataSet.h"
#include "audio/ReadOnlyFile.h"

bool AplicaConfiguracao(TDatabase& banco, const std::string& arquivo) {
  if (!FileExists(arquivo)) return false;
  banco.SetDatabaseName(ReadConfiguredDatabaseName(arquivo));
  return true;
}
