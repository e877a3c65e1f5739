// Numbers as text, byte for byte as std::to_chars and std::from_chars write and read them, also
// with a standard library that lacks their floating-point forms (libc++ 14, as emscripten ships it).
#pragma once

#include <cstddef>

namespace farvane {

// The shortest text that reads back to the same value, as std::to_chars(first, last, value) writes
// it: fixed or scientific, whichever is shorter, fixed on a tie. Returns the end of the text.
// `last - first` must be at least 64.
char* shortestChars(char* first, char* last, double value);
char* shortestChars(char* first, char* last, float value);
// A whole float in plain digits, exactly, as std::to_chars(..., std::chars_format::fixed) writes it.
char* wholeChars(char* first, char* last, float value);

// Reads the longest prefix of [first, last) that is a number as std::from_chars reads one in the
// general format (an optional '-', digits with an optional point, an optional exponent; inf, nan).
// Returns false when there is none.
bool parseDouble(const char* first, const char* last, double& value);

// The same, never with the standard library's floating-point to_chars and from_chars: what a
// library without them runs. Tests check it against the tables of the library's own output.
namespace portable {
char* shortestChars(char* first, char* last, double value);
char* shortestChars(char* first, char* last, float value);
char* wholeChars(char* first, char* last, float value);
bool parseDouble(const char* first, const char* last, double& value);
} // namespace portable

} // namespace farvane
