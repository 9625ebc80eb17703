#pragma once

// The command line of atualiza-duracoes.

#include "audio/PathMapping.h"

#include <string>
#include <vector>

// --conferir: also walk each MP3 file and warn of the lengths that can't be
// trusted; --conferir=estrito: and end with exit status 3 after a warning;
// --conferir=corrigir: and write the walked length for the rows warned of.
enum class TModoConferencia { Nenhuma, Avisa, Estrita, Corrige };

// Threads that measure the next rows' files while the run writes the current
// one, unless --paralelo says otherwise (1: each file measured as its row
// comes, as the window does). On a local disk two would do; on a music share
// whose every lookup, stat, open and read is a round trip of 2 ms a file
// takes some 11 ms, longer when many wait at once, and 64 files in flight
// kept the run 1.2 to 1.5 times the time of its commits, 128 about 1.2 or less
// (scripts/bench share); the threads wait, they hardly use the processor.
inline constexpr int ParaleloPadrao = 128;

struct TOpcoesLinha {
  std::string arquivoConfiguracao;  // --config FILE; empty: BaseAudio.ini beside the program
  std::string banco;                // --database NAME
  bool temBanco = false;            // --database was given (an empty name counts)
  TPathMapping mapeamento;          // the rules of every --mapear DE=PARA, in order
  bool detalhado = false;           // --verbose
  bool simulacao = false;           // --dry-run
  TModoConferencia conferencia = TModoConferencia::Nenhuma;  // --conferir[=estrito|=corrigir]
  int paralelo = ParaleloPadrao;    // --paralelo N
  int tempoLimite = 0;              // --tempo-limite S; 0: the configuration's, else 60 s
  bool ajuda = false;               // --help
  bool versao = false;              // --version
  std::string erro;                 // what is wrong with the arguments, if anything
};

TOpcoesLinha LeOpcoes(const std::vector<std::string>& argumentos);

extern const char* const TextoAjuda;
extern const char* const TextoVersao;
