#pragma once

#include "catalogue/CharacterSets.h"
#include "catalogue/Tabelas.h"
#include "run/Medicao.h"
#include "run/ProgressoBarra.h"

#include <cstdint>
#include <string>

// What the update run needs from whoever shows it: two progress bars, the
// phase label and the plain message box. The window is one such front end; a
// program without a window can be another.

enum class TBarra {
  Atual,  // progress of the current phase (the window's GaugeAtual)
  Geral,  // progress over both tables (the window's GaugeGeral)
};

// What became of a row the run visited.
enum class TDesfecho {
  Gravada,     // written and committed
  Inalterada,  // its stored length is the file's: nothing written (the check of the lengths written)
  Difere,      // its stored length is not the file's, and nothing was written (a report, a dry run)
  Ignorada,    // left as it was: its file was modified too recently, or (with a stored length) measured 0
  Falhou,      // its write found the row changed by another program since it was read ("Update Failed")
  // Written, but its commit was cut off (the wait limit, a stop, a lost
  // connection) on its way to the server, which may still carry it out: the
  // row may or may not hold its length. The run ends there with the error.
  NaoConfirmada,
};

// One row as the run has just visited it: written and committed, or left as
// it was (desfecho says which).
struct TLinhaAtualizada {
  TTabela tabela;
  std::int32_t codigo;     // the row's key (MUS_CODIGO, VIN_CODIGO)
  std::string caminho;     // the catalogue's path, exactly as it reads there
  std::string tempo;       // the "mm:ss" text of the seconds measured, written into the time column
  // The character set of caminho, its file column's (catalogue/CharacterSets.h).
  int conjuntoCaracteres = CharacterSetUtf8;
  // The row's file as the run measured it: the seconds written into the
  // seconds column, why, the file opened or looked for, and its walk.
  TMedida medida = {};
  // What became of the row.
  TDesfecho desfecho = TDesfecho::Gravada;
  // The length the row held when it was read: its seconds and time text.
  std::int32_t segundosAntes = 0;
  std::string tempoAntes = "00:00";
  // The row held a length, which the check of the lengths written compared
  // with the file's (false: a row still at "00:00", filled as always).
  bool comDuracao = false;

  // The file that was opened when it is not caminho (a Windows path
  // translated, or a name found in another letter case); when none was
  // found, the path that was looked for. "" when it is caminho itself.
  std::string Aberto() const { return medida.arquivo.Path != caminho ? medida.arquivo.Path : std::string(); }
};

class TFrenteAtualizacao {
public:
  virtual ~TFrenteAtualizacao() = default;

  // The bars behave as the window's do: a progress is clamped to [0, maximum]
  // and a maximum below 0 is refused with an error.
  virtual void DefineMaximo(TBarra barra, std::int32_t maximo) = 0;
  virtual void DefineProgresso(TBarra barra, std::int32_t progresso) = 0;
  virtual std::int32_t Progresso(TBarra barra) const = 0;
  // Texts are UTF-8.
  virtual void DefineRotulo(const std::string& texto) = 0;
  virtual void Mensagem(const std::string& texto) = 0;

  // Called after each row visited: after it is written and committed, or
  // left as it was (in a dry run: measured); nothing by default.
  virtual void LinhaAtualizada(const TLinhaAtualizada&) {}

  // Asked before each row: true ends the run there, every row before it
  // written and committed, without the closing message (a stop signal, an
  // output that can no longer be written). Never by default.
  virtual bool Interromper() { return false; }
};

// A front end whose bars are counted as the window's are (TProgressoBarra)
// and drawn nowhere: for a run that shows nothing, or only its rows.
class TFrenteContada : public TFrenteAtualizacao {
public:
  void DefineMaximo(TBarra barra, std::int32_t maximo) override { Contador(barra).SetMaximum(maximo); }
  void DefineProgresso(TBarra barra, std::int32_t progresso) override { Contador(barra).SetProgress(progresso); }
  std::int32_t Progresso(TBarra barra) const override { return Barra(barra).Progress(); }
  void DefineRotulo(const std::string&) override {}
  void Mensagem(const std::string&) override {}

  const TProgressoBarra& Barra(TBarra barra) const { return barra == TBarra::Atual ? atual_ : geral_; }

protected:
  TProgressoBarra& Contador(TBarra barra) { return barra == TBarra::Atual ? atual_ : geral_; }

private:
  TProgressoBarra atual_;
  TProgressoBarra geral_;
};
