#pragma once

// The command line of atualiza-duracoes: one table of its options, from
// which the parser and the help text are both made. The manual page and the
// README list the same options; a test holds them to this table.
//
// Names: every option has a Portuguese name, the program's own language (its
// messages, help text and manual page are Portuguese, and so were the later
// options: --mapear, --conferir, --paralelo, --tempo-limite). The Portuguese
// name comes first in the help and the synopsis. The English spellings of the
// first versions (--config, --database, --verbose, --dry-run, --help,
// --version) and the short forms -v, -n, -h stay as aliases, so scripts and
// the systemd unit that use them keep working. Names are plain ASCII, without
// accents (--simulacao, --versao), so any keyboard and shell can type them.

#include "paths/PathMapping.h"
#include "run/Conferencia.h"
#include "run/MedicaoAntecipada.h"

#include <array>
#include <span>
#include <string>
#include <vector>

// What an option sets.
enum class TOpcao { Configuracao, Banco, Mapear, Detalhado, Simulacao, Conferir, Paralelo, TempoLimite, Ajuda, Versao };

// How an option takes its value.
enum class TValorOpcao {
  Nenhum,       // a flag: "--nome=x" is an error
  Obrigatorio,  // "--nome VALOR" or "--nome=VALOR"
  SoComIgual,   // optional, and only as "--nome=VALOR": the next argument is never its value
};

// A value that an option taking one only with "=" accepts, and its help lines.
struct TFormaOpcao {
  const char* valor = nullptr;
  const char* ajuda = nullptr;
};

struct TDescricaoOpcao {
  TOpcao opcao;
  std::array<const char*, 3> nomes = {};  // the main name, then its aliases; nullptr past the last
  TValorOpcao valor = TValorOpcao::Nenhum;
  const char* nomeValor = nullptr;         // Obrigatorio: the value's name in the help ("ARQUIVO")
  const char* ajuda = nullptr;             // help lines, separated by "\n"
  std::array<TFormaOpcao, 2> formas = {};  // SoComIgual: its values, in the help's order
  bool repete = false;                     // each use adds ("..." in the synopsis)
  bool naSinopse = true;                   // false: an option that only answers and ends
};

// Every option, in the help's order.
std::span<const TDescricaoOpcao> TabelaOpcoes();
// Its main name and aliases, in the table's order.
std::vector<std::string> NomesOpcao(const TDescricaoOpcao& opcao);

struct TOpcoesLinha {
  std::string arquivoConfiguracao;  // --configuracao FILE; empty: BaseAudio.ini beside the program
  std::string banco;                // --banco NAME
  bool temBanco = false;            // --banco was given (an empty name counts)
  TPathMapping mapeamento;          // the rules of every --mapear DE=PARA, in order
  bool detalhado = false;           // --detalhado
  bool simulacao = false;           // --simulacao
  TConferencia conferencia = TConferencia::Nenhuma;  // --conferir[=estrito|=corrigir]
  bool estrita = false;             // --conferir=estrito: exit status 3 after a warning
  int paralelo = ParaleloPadrao;    // --paralelo N
  int tempoLimite = 0;              // --tempo-limite S; 0: the configuration's, else 60 s
  bool ajuda = false;               // --ajuda
  bool versao = false;              // --versao
  std::string erro;                 // what is wrong with the arguments, if anything
};

TOpcoesLinha LeOpcoes(const std::vector<std::string>& argumentos);

// Made from the option table.
const std::string& TextoAjuda();
extern const char* const TextoVersao;
