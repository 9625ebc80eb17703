#pragma once

// The exit statuses of atualiza-duracoes, named once for the program, its
// help text's "Saída:" paragraph, its manual page and its tests.

#include <csignal>

inline constexpr int SaidaOk = 0;      // the run finished
inline constexpr int SaidaErro = 1;    // an error ended it, or the standard output could not be written
inline constexpr int SaidaUso = 2;     // wrong arguments, or a wrong [CAMINHOS] or TEMPO_LIMITE: no run
// The run finished, but with --conferir=estrito there were warnings, or with
// --reverificar rows whose length differs were left as they were.
inline constexpr int SaidaAvisos = 3;
// A stop signal ended the run: 128 + the signal's number, as a shell reports
// a program the signal ended (130 SIGINT, 143 SIGTERM, 129 SIGHUP).
inline constexpr int SaidaSinal = 128;

constexpr int SaidaPorSinal(int sinal) { return SaidaSinal + sinal; }

// The signals that end a run between two rows (run/SinaisParada.h), in
// the order the help text names their statuses.
inline constexpr int SinaisDeParada[] = {SIGINT, SIGTERM, SIGHUP};
