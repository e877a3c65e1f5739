// Recording: commands become script lines, with the waits between them.
#include "script/scriptwriter.h"

#include "script/recordsink.h"

namespace farvane {

std::string_view ScriptWriter::heading()
{
    return "# farvane 1.33.7: a game recorded in the window; replay it with farvane --script FILE";
}

void ScriptWriter::appendWaitUntil(std::string& out, Millis now)
{
    // The clock never runs backwards; a script's wait is at most 2147483647 ms, so a longer pause
    // takes several.
    constexpr Millis MaxWait = 2147483647;
    while (now > reached) {
        const Millis step = now - reached < MaxWait ? now - reached : MaxWait;
        out += "wait ";
        out += std::to_string(step);
        out += '\n';
        reached += step;
    }
}

void ScriptWriter::append(std::string& out, Millis now, const Command& command)
{
    appendWaitUntil(out, now);
    out += formatCommand(command);
    out += '\n';
}

StringSink::StringSink() : recorded(ScriptWriter::heading()) { recorded += '\n'; }

} // namespace farvane
