// Stand-in for the shared script writer until it lands.
#include "common/scriptwriter.h"

#include "common/menutable.h"

namespace farvane {

std::string formatCommand(const Command& command)
{
    if (command.kind == CommandKind::Key)
        return "key " + std::to_string(command.amount) + " " + std::to_string(command.shift);
    if (command.kind == CommandKind::Menu)
        return "menu " + std::string(menuItem(command.menu).id);
    return "dump";
}

std::string_view ScriptWriter::heading()
{
    return "# farvane 1.33.7: a game recorded in the window; replay it with farvane --script FILE";
}

void ScriptWriter::appendWaitUntil(std::string& out, Millis now)
{
    constexpr Millis MaxWait = 2147483647;
    while (now > last) {
        const Millis step = now - last < MaxWait ? now - last : MaxWait;
        out += "wait " + std::to_string(step) + "\n";
        last += step;
    }
}

void ScriptWriter::append(std::string& out, Millis now, const Command& command)
{
    appendWaitUntil(out, now);
    out += formatCommand(command);
    out += '\n';
}

} // namespace farvane
