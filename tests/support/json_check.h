// A strict check that a line of output is one JSON object, as the dumps promise: for the fuzzer and the tests.
#pragma once

#include <string_view>

namespace farvane::fuzz {

// True when `text` is exactly one JSON object (RFC 8259 grammar), with nothing before or after
// it but spaces. Numbers must be finite: no NaN, no Infinity.
bool IsJsonObject(std::string_view text);

} // namespace farvane::fuzz
