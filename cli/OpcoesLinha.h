#pragma once

// The command line of atualiza-duracoes.

#include "audio/PathMapping.h"

#include <string>
#include <vector>

// --conferir: also walk each MP3 file and warn of the lengths that can't be
// trusted; --conferir=estrito: and end with exit status 3 after a warning.
enum class TModoConferencia { Nenhuma, Avisa, Estrita };

// Threads that measure the next rows' files while the run writes the current
// one, unless --paralelo says otherwise (1: each file measured as its row
// comes, as the window does). On a local disk two would do; a music share
// whose every open, stat and read is a round trip of about 2 ms needs some
// 64 files in flight to keep up with one commit per row.
inline constexpr int ParaleloPadrao = 64;

struct TOpcoesLinha {
  std::string arquivoConfiguracao;  // --config FILE; empty: BaseAudio.ini beside the program
  std::string banco;                // --database NAME
  bool temBanco = false;            // --database was given (an empty name counts)
  TPathMapping mapeamento;          // the rules of every --mapear DE=PARA, in order
  bool detalhado = false;           // --verbose
  bool simulacao = false;           // --dry-run
  TModoConferencia conferencia = TModoConferencia::Nenhuma;  // --conferir[=estrito]
  int paralelo = ParaleloPadrao;    // --paralelo N
  bool ajuda = false;               // --help
  bool versao = false;              // --version
  std::string erro;                 // what is wrong with the arguments, if anything
};

TOpcoesLinha LeOpcoes(const std::vector<std::string>& argumentos);

extern const char* const TextoAjuda;
extern const char* const TextoVersao;
