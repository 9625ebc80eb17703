#pragma once

// The program DerozaviZirizid from its entry to its end: the application and
// its title, the main window (whose creation runs the start-up), the event
// loop until the window is closed. SIGINT, SIGTERM and SIGHUP (a desktop
// logout, kill) close it as "Fechar" does: a run going on stops after its
// current row, a message box still open is closed too, and the program
// commits, detaches and ends with status 0 (main ends it through
// FimDoProcesso, run/FimProcesso.h: at once when a stop left an attach
// waiting on a server that does not answer).

#include <functional>

class TFrmPrincipal;

// aoMostrar, when given, runs once the window is shown, before the event loop.
int ExecutaPrograma(int argc, char** argv, const std::function<void(TFrmPrincipal&)>& aoMostrar = {});
