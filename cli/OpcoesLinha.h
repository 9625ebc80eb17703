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
#include "run/Atualizacao.h"
#include "run/MedicaoAntecipada.h"

#include <array>
#include <span>
#include <string>
#include <vector>

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

// The numbers an option with a number takes, and the one it has when not
// given: the parser checks them and the help shows them from the same row.
struct TFaixaOpcao {
  int minimo = 0;
  int maximo = 0;
  int padrao = 0;
};

// --idade-minima: files modified less than this many seconds ago are left
// for the next run. A file being copied has its time renewed by each write,
// so a few seconds catch it without making whoever just copied one wait long.
inline constexpr int IdadeMinimaPadrao = 10;
inline constexpr int IdadeMinimaMaxima = 86400;

struct TOpcoesLinha;
struct TLeituraOpcoes;  // what the parser keeps while it reads the arguments

struct TDescricaoOpcao {
  std::array<const char*, 3> nomes = {};  // the main name, then its aliases; nullptr past the last
  TValorOpcao valor = TValorOpcao::Nenhum;
  const char* nomeValor = nullptr;         // Obrigatorio: the value's name in the help ("ARQUIVO")
  // Help lines, separated by "\n"; "{minimo}", "{maximo}" and "{padrao}"
  // stand for the numbers of faixa.
  const char* ajuda = nullptr;
  std::array<TFormaOpcao, 2> formas = {};  // SoComIgual: its values, in the help's order
  bool repete = false;                     // each use adds ("..." in the synopsis)
  bool naSinopse = true;                   // false: an option that only answers and ends
  TFaixaOpcao faixa = {};                  // an option that takes a number
  // Sets what the option sets from its value ("" for a flag; temValor: given
  // with "="); nome is the option as typed. Returns "" or what is wrong.
  std::string (*aplica)(TLeituraOpcoes& leitura, const TDescricaoOpcao& opcao, const std::string& nome,
                        const std::string& valor, bool temValor) = nullptr;
};

// Every option, in the help's order: one row each, which binds what the
// option sets, checks its value and words its help.
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
  TReverificacao reverificacao = TReverificacao::Nenhuma;  // --reverificar[=corrigir]
  int idadeMinima = IdadeMinimaPadrao;  // --idade-minima S
  std::string relatorio;            // --relatorio ARQUIVO; empty: none
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
