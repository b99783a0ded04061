// Byte-level text rules of the catalogue engine: UTF-8 well-formedness and
// the CR/LF convention between the program's texts and catalogue keys.
#pragma once

#include <string>
#include <string_view>

// True when `bytes` is well-formed UTF-8 in the strict sense: no overlong
// forms, no surrogates, nothing above U+10FFFF, no truncated sequence.
bool IsWellFormedUtf8(std::string_view bytes) noexcept;

// Catalogues are written with bare LF line ends while the program's texts
// may carry CR LF; every CR is dropped before a key is searched.
std::string RemoveCarriageReturns(std::string_view text);

// The program shows CR LF line ends: a CR goes before every LF that does
// not already follow one.
std::string InsertCarriageReturns(std::string_view text);
