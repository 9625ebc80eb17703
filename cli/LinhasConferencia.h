#pragma once

// How atualiza-duracoes words the frame-walk check (run/Conferencia.h): the
// warning line of a row and the closing count.

#include "run/Conferencia.h"
#include "run/FrenteAtualizacao.h"

#include <optional>
#include <string>

const char* TextoMotivoAviso(TMotivoAviso motivo);

// A row's table, key and path as the companion's lines name it, separated by
// tabs: the path in its column's character set, escaped (TextoVisivel).
std::string IdentificaLinha(const TLinhaAtualizada& linha);

// What a warning line adds when the row got the walked length.
inline constexpr const char* TextoGravadaPercorrida = "gravada a duração percorrida";
inline constexpr const char* TextoSeriaGravadaPercorrida = "seria gravada a duração percorrida";  // --dry-run

// "aviso", table, key, path, estimate and walked length in seconds with two
// decimals, and the reason, separated by tabs (the walk is the row's
// measurement's); then what the row got, when nota is given.
std::string LinhaAviso(const TLinhaAtualizada& linha, const char* nota = nullptr);

// "Conferência: 1 aviso em 3 arquivos MP3 percorridos."; with a count of rows
// that got the walked length, "... percorridos; 1 linha com a duração
// percorrida."
std::string LinhaTotalConferencia(int avisos, int percorridos, std::optional<int> comPercorrida = std::nullopt);
