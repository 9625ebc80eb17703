#pragma once

// The last step of both programs' main. A stop that came while an attach
// waited on a server that does not answer leaves that attach behind
// (TFbWatchdog::Attach), still waiting inside the database client; the
// client's own exit handler (fb_shutdown, run as the library is unloaded at
// exit) would wait for it in turn, for as long as the server stays silent.
// Such a program ends here instead, without exit handlers.

// The exit status for main to return; or, when an attach was left behind,
// everything written so far is flushed and the process ends here with that
// status. Call it once main's own objects are gone (the engine settings
// remove their folder when destroyed).
int FimDoProcesso(int saida);
