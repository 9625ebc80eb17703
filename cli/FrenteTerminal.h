#pragma once

// The update run's front end on a terminal: two bars redrawn in place (the
// phase and the whole run, with counts and percentages), or, when the output
// is not a terminal, one line per phase. With verbose, one line per row; with
// the check, each MP3 file is also walked and a warning line follows the row
// whose estimated length can't be trusted.

#include "app/run/FrenteAtualizacao.h"
#include "app/run/ProgressoBarra.h"

#include <chrono>
#include <cstdio>
#include <string>

class TFrenteTerminal : public TFrenteAtualizacao {
public:
  TFrenteTerminal(std::FILE* saida, bool terminal, bool detalhado, bool conferir = false);

  void DefineMaximo(TBarra barra, std::int32_t maximo) override;
  void DefineProgresso(TBarra barra, std::int32_t progresso) override;
  std::int32_t Progresso(TBarra barra) const override;
  void DefineRotulo(const std::string& texto) override;
  void Mensagem(const std::string& texto) override;
  void LinhaAtualizada(const TLinhaAtualizada& linha) override;

  // Ends the display of the bars (after a run, or before an error is shown).
  void Encerra();

  // The check's counts so far: warnings given, MP3 files walked.
  int Avisos() const { return avisos_; }
  int Percorridos() const { return percorridos_; }

private:
  // Counted exactly as the window's bars are.
  TProgressoBarra& Contador(TBarra barra) { return barra == TBarra::Atual ? atual_ : geral_; }
  const TProgressoBarra& Contador(TBarra barra) const { return barra == TBarra::Atual ? atual_ : geral_; }
  void FechaFase();
  // One line above the bars, out at once.
  void Escreve(const std::string& texto);
  void Desenha(bool forcar);
  void ApagaBarras();
  std::string Linha(const std::string& nome, const TProgressoBarra& contador) const;

  std::FILE* saida_;
  bool terminal_;
  bool detalhado_;
  bool conferir_;
  int avisos_ = 0;
  int percorridos_ = 0;
  TProgressoBarra atual_;
  TProgressoBarra geral_;
  std::string rotulo_;
  bool barrasNaTela_ = false;
  std::chrono::steady_clock::time_point ultimoDesenho_{};
};

// The reason a row got the seconds it got, in a few words ("" when measured).
const char* TextoMotivo(TMotivoDuracao motivo);
// "Tb_Musicas" or "Tb_Vinhetas".
const char* NomeTabela(TTabela tabela);
