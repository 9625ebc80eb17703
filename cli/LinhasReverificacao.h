#pragma once

// How atualiza-duracoes words what a run did with each row beyond writing
// it: a row whose stored length differs from its file's, a stored length left
// because its file measured 0, a row left for a later run because its file
// was just modified, and the closing summary of every run.

#include "run/Atualizacao.h"
#include "run/FrenteAtualizacao.h"

#include <string>

// "gravada", "inalterada", "difere", "ignorada", "falhou", "não confirmada".
const char* TextoDesfecho(TDesfecho desfecho);

// "difere", table, key, path, stored seconds and time text, measured seconds,
// and what became of the row ("gravada", "não gravada", or "não gravada:
// Update Failed"), separated by tabs.
std::string LinhaDiferenca(const TLinhaAtualizada& linha);
// "sem medida", table, key, path, stored seconds and time text, and the
// reason the file gave 0: its length was left.
std::string LinhaSemMedida(const TLinhaAtualizada& linha);
// "ignorada", table, key, path and the reason ("arquivo modificado há menos
// de 10 s"): the row was left for a later run.
std::string LinhaIgnorada(const TLinhaAtualizada& linha);

// "gravação não confirmada", table, key, path, seconds and "mm:ss": the row
// whose commit was cut off, which may or may not hold its length.
std::string LinhaNaoConfirmada(const TLinhaAtualizada& linha);

// The line the front end writes for the row besides its verbose line, or ""
// when there is none: rows left for a later run in every run, and in the
// check of the lengths written the rows that differ and the stored lengths
// left because their file measured 0.
std::string LinhaDesfecho(const TLinhaAtualizada& linha);

// "Resumo: 120 linhas visitadas, 3 com duração diferente da do arquivo,
// 2 gravadas, 1 ignorada por ser recente, 1 sem medida." (a row at "00:00"
// has no length to differ).
std::string LinhaResumo(const TContagemAtualizacao& contagem);
