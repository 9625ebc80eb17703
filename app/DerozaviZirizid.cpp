// Program entry: the application, its title, the main window (whose creation
// runs the start-up), then the event loop until the window is closed.

#include "app/Programa.h"
#include "catalogue/EngineSettings.h"
#include "run/FimProcesso.h"

int main(int argc, char** argv) {
  int saida = 0;
  {
    // Before anything calls the database client: a local catalogue's engine
    // runs in this program, and sorts in little memory (EngineSettings.h). For
    // a catalogue on a server the client reads the same settings as without
    // it, and the catalogue may change from one press to the next (the
    // configuration is read at start-up, the connection made on demand), so
    // the settings are made whatever the catalogue. Released after the window.
    const TEngineSettings motor = ApplyCatalogueEngineSettings();
    saida = ExecutaPrograma(argc, argv);
  }
  // A stop during an attach that waits on a silent server ends here at once.
  return FimDoProcesso(saida);
}
