#pragma once

// Firebird's character sets, as far as the catalogue needs them. The client
// describes a text column's length in bytes (a VARCHAR(256) in UTF8 is 1024
// bytes long), while the catalogue's columns are listed in characters; with
// no character set named at attach, texts come and go as the bytes the
// database stores, in the column's own character set.

#include <cstddef>
#include <string_view>

inline constexpr int CharacterSetNone = 0;
inline constexpr int CharacterSetUnicodeFss = 3;
inline constexpr int CharacterSetUtf8 = 4;
inline constexpr int CharacterSetWin1252 = 53;

// The character set of a described text column: the low byte of its sub-type
// (the high byte is the collation).
int CharacterSetOf(short subType);

// The most bytes one character takes in any set (UTF8, GB18030).
inline constexpr int MostBytesPerCharacter = 4;

// The most bytes one character takes in the set (RDB$BYTES_PER_CHARACTER);
// 1 for a set the table does not know.
int BytesPerCharacter(int characterSet);

// A declared length in bytes as characters.
int LengthInCharacters(int lengthInBytes, int characterSet);

// The first count characters of a text in the set: UTF-8 sequences in UTF8
// and UNICODE_FSS, bytes in every other set.
std::string_view FirstCharacters(std::string_view text, std::size_t count, int characterSet);
