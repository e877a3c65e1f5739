// JSON output of the replay: the state dump, message boxes and the end of the program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "game/form.h"

namespace farvane::replay {

// A JSON string with quotes, escaping quotes, backslashes and control characters.
void appendJsonString(std::string& out, std::string_view text);

// A whole number without a decimal point; any other in its shortest round-trip form.
void appendJsonNumber(std::string& out, float value);
void appendJsonNumber(std::string& out, std::int64_t value);

// One output line each, ending in '\n'.
void appendDumpLine(std::string& out, const Veskara& form, std::uint64_t time);
void appendMsgBoxLine(std::string& out, std::string_view prompt, std::string_view title);
void appendEndLine(std::string& out, std::uint64_t time);

} // namespace farvane::replay
