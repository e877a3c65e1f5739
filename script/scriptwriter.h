// What a recording writes: the script language's lines for the events a host hands the form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/script.h"

namespace farvane {

class ScriptWriter {
public:
    using Millis = std::uint64_t;

    // The comment line that opens every recording.
    static std::string_view heading();

    // Appends to `out` the lines for `command` handled at virtual time `now`: "wait N" lines for
    // the time since the previous line (none when 0; split at 2147483647), then the command's line;
    // every line ends with '\n'.
    void append(std::string& out, Millis now, const Command& command);
    // Appends "wait N" lines bringing the record up to `now` (nothing when no time passed).
    void appendWaitUntil(std::string& out, Millis now);
    Millis written() const { return reached; } // virtual time the lines so far reach

private:
    Millis reached = 0;
};

} // namespace farvane
