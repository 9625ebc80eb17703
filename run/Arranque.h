#pragma once

// What both programs do before a run can start, in one place: the
// configuration file (the database name, the path rules, the wait limit),
// what the command line puts in their place, and the stop signals that may
// end a call waiting on the server. Nothing here calls the database client:
// the window connects at start-up, the companion at its run.
//
// The engine settings (EngineSettings.h) are not made here but first thing
// in main, by both programs alike and whatever the catalogue: they must be
// in place before anything calls the client, and they cost nothing to a
// catalogue on a server.

#include "paths/PathMapping.h"

#include <optional>
#include <string>

class TCatalogo;
class TSinaisParada;

struct TPedidoArranque {
  std::string arquivoConfiguracao;   // the BaseAudio.ini to read
  std::optional<std::string> banco;  // a database name given instead: the file is not read
  TPathMapping regras;               // rules that come before the file's (they win for the same folder)
  int tempoLimite = 0;               // seconds that win over the file's TEMPO_LIMITE; 0: none
  TSinaisParada* sinais = nullptr;   // a call still waiting when one of these comes is ended
};

struct TArranque {
  bool arquivoLido = false;  // the configuration file was there, and was read
  TPathMapping mapeamento;   // the request's rules, then the file's
  // "" or what is wrong in the file, which must keep any run from starting
  // (a wrong rule would send rows to the wrong files):
  // "/opt/dz/BaseAudio.ini: [CAMINHOS] DE2 sem PARA2".
  std::string erro;
};

// Applies the request and the configuration to the catalogue's connection.
// Without the file the connection keeps its built-in name; with it, the
// name is the file's BANCO / CAMINHO (also when empty).
TArranque PreparaArranque(TCatalogo& catalogo, const TPedidoArranque& pedido);
