#pragma once

// The report of a run (atualiza-duracoes --relatorio): a CSV file (RFC 4180,
// UTF-8, a header row) with one line per row visited, written as the run
// goes, so that a stopped run leaves the lines of the rows it did. Opening
// it replaces a former report of the same name at once, by a file that holds
// only the header row; from then on lines are only added.
//
// Columns: tabela, codigo, caminho (as the catalogue has it), arquivo (the
// file opened, or the path looked for), segundos_antes and tempo_antes (the
// row's length as it was read), segundos_medidos (empty for a file left
// unmeasured), segundos_gravados (empty when nothing was written), origem
// (which rule gave the length), conferencia (the frame walk's verdict, where
// it ran: "ok" or the warning), motivo (why the file gave 0, or why it was
// left) and desfecho (gravada, inalterada, difere, ignorada, falhou). Names
// are escaped as in the log.

#include "run/FrenteAtualizacao.h"

#include <string>

class TRelatorioCsv {
public:
  TRelatorioCsv() = default;
  ~TRelatorioCsv();
  TRelatorioCsv(const TRelatorioCsv&) = delete;
  TRelatorioCsv& operator=(const TRelatorioCsv&) = delete;

  // Puts a file holding the header row in the place of caminho (made beside
  // it and renamed over it) and keeps it open for the lines. "" or what
  // went wrong.
  std::string Abre(const std::string& caminho);
  bool Aberto() const { return arquivo_ >= 0; }

  // Adds the row's line. "" or what went wrong (after which nothing more is written).
  std::string Escreve(const TLinhaAtualizada& linha);

  // The line of a row, with its line break.
  static std::string Linha(const TLinhaAtualizada& linha);
  // The header row, with its line break.
  static const char* const Cabecalho;

private:
  std::string EscreveTudo(const std::string& texto);

  int arquivo_ = -1;
  std::string caminho_;
  std::string erro_;
};
