// Stand-in for the shared script writer until it lands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/script.h"

namespace farvane {

using replay::Command;
using replay::CommandKind;

std::string formatCommand(const Command& command);

class ScriptWriter {
public:
    using Millis = std::uint64_t;
    static std::string_view heading();
    void append(std::string& out, Millis now, const Command& command);
    void appendWaitUntil(std::string& out, Millis now);
    Millis written() const { return last; }

private:
    Millis last = 0;
};

} // namespace farvane
