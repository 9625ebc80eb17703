#pragma once

// The update run's front end on a terminal: two bars redrawn in place (the
// phase and the whole run, with counts and percentages), or, when the output
// is not a terminal, one line per phase. With verbose, one line per row.

#include "app/run/FrenteAtualizacao.h"
#include "app/run/ProgressoBarra.h"

#include <chrono>
#include <cstdio>
#include <string>

class TFrenteTerminal : public TFrenteAtualizacao {
public:
  TFrenteTerminal(std::FILE* saida, bool terminal, bool detalhado);

  void DefineMaximo(TBarra barra, std::int32_t maximo) override;
  void DefineProgresso(TBarra barra, std::int32_t progresso) override;
  std::int32_t Progresso(TBarra barra) const override;
  void DefineRotulo(const std::string& texto) override;
  void Mensagem(const std::string& texto) override;
  void LinhaAtualizada(const TLinhaAtualizada& linha) override;

  // Ends the display of the bars (after a run, or before an error is shown).
  void Encerra();

private:
  // Counted exactly as the window's bars are.
  TProgressoBarra& Contador(TBarra barra) { return barra == TBarra::Atual ? atual_ : geral_; }
  const TProgressoBarra& Contador(TBarra barra) const { return barra == TBarra::Atual ? atual_ : geral_; }
  void FechaFase();
  void Desenha(bool forcar);
  void ApagaBarras();
  std::string Linha(const std::string& nome, const TProgressoBarra& contador) const;

  std::FILE* saida_;
  bool terminal_;
  bool detalhado_;
  TProgressoBarra atual_;
  TProgressoBarra geral_;
  std::string rotulo_;
  bool barrasNaTela_ = false;
  std::chrono::steady_clock::time_point ultimoDesenho_{};
};

// The reason a row got the seconds it got, in a few words ("" when measured).
const char* TextoMotivo(TMotivoDuracao motivo);
