// Program entry: the application, its title, the main window (whose creation
// runs the start-up), then the event loop until the window is closed.

#include "app/Programa.h"

int main(int argc, char** argv) { return ExecutaPrograma(argc, argv); }
