#pragma once

// The update run's front end on a terminal: two bars redrawn in place (the
// phase and the whole run, with counts and percentages), or, when the output
// is not a terminal, one line per phase. With verbose, one line per row; with
// the check, each MP3 file is also walked and a warning line follows the row
// whose estimated length can't be trusted (and, when the check corrects,
// says that the row got the walked length).
// The run ends before its next row when the output can no longer be written
// or a stop signal has come.

#include "run/FrenteAtualizacao.h"
#include "run/ProgressoBarra.h"
#include "cli/LinhasConferencia.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

class TRelatorioCsv;
class TSinaisParada;

class TFrenteTerminal : public TFrenteContada {
public:
  // sinais: where the stop signals are read; none when null. conferir: the
  // run walks every MP3 file too (its context is given the same), and a row
  // whose length can't be trusted is warned of; a row that got the walked
  // length says so, and simulacao tells that a dry run wrote nothing.
  TFrenteTerminal(std::FILE* saida, bool terminal, bool detalhado, TSinaisParada* sinais = nullptr,
                  TConferencia conferir = TConferencia::Nenhuma, bool simulacao = false);

  void DefineMaximo(TBarra barra, std::int32_t maximo) override;
  void DefineProgresso(TBarra barra, std::int32_t progresso) override;
  void DefineRotulo(const std::string& texto) override;
  void Mensagem(const std::string& texto) override;
  void LinhaAtualizada(const TLinhaAtualizada& linha) override;
  bool Interromper() override;

  // Each row visited also gets its line in relatorio (open), from now on.
  void EscreveRelatorio(TRelatorioCsv* relatorio) { relatorio_ = relatorio; }
  // What kept the report from being written; empty while nothing did. The
  // run ends before its next row when something did.
  const std::string& ErroRelatorio() const { return erroRelatorio_; }

  // Ends the display of the bars (after a run, or before an error is shown).
  void Encerra();

  // The system's text for the first write to the output that failed; empty while none did.
  const std::string& ErroSaida() const { return erroSaida_; }
  // The stop signal that ended the run before a row; 0 when none did.
  int SinalInterrupcao() const { return sinalInterrupcao_; }

private:
  void FechaFase();
  void Desenha(bool forcar);
  // What takes the bars off the screen ("" when they are not on it).
  std::string ApagaBarras();
  std::string Linha(const std::string& nome, const TProgressoBarra& contador) const;
  // Writes and flushes; keeps the first failure in erroSaida_.
  void Escreve(const std::string& texto);

  std::FILE* saida_;
  bool terminal_;
  bool detalhado_;
  TConferencia conferir_;
  bool simulacao_;
  TSinaisParada* sinais_;
  std::string rotulo_;
  bool barrasNaTela_ = false;
  std::chrono::steady_clock::time_point ultimoDesenho_{};
  std::string erroSaida_;
  int sinalInterrupcao_ = 0;
  TRelatorioCsv* relatorio_ = nullptr;
  std::string erroRelatorio_;
};
