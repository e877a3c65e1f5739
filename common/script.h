// Replay scripts: the commands, and the reader that checks a whole script before any of it runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/menutable.h"

namespace farvane {

enum class CommandKind : std::uint8_t { Wait, Tick, Key, Menu, Close, CloseAtBox, Dump };
enum class TimerName : std::uint8_t { Timer1, Timer2 };

struct Command {
    CommandKind kind = CommandKind::Dump;
    std::int64_t amount = 0;  // wait: milliseconds; tick: how many ticks; key: key code
    std::int16_t shift = 0;   // key: shift mask 0..7
    TimerName timer = TimerName::Timer1;
    MenuName menu = MenuName::mnuStart;
    std::size_t line = 0;     // 1-based line in the script

    // Equal commands do the same; the line they came from does not count.
    friend bool operator==(const Command& a, const Command& b)
    {
        return a.kind == b.kind && a.amount == b.amount && a.shift == b.shift && a.timer == b.timer &&
               a.menu == b.menu;
    }
};

struct ScriptError {
    std::size_t line = 0;
    std::string message; // what is wrong, without the FILE:LINE: prefix
};

struct ReplayScript {
    std::vector<Command> commands;
};

constexpr std::size_t MaxLineBytes = 4096; // not counting the line end

// Reads one line, without its line end. Returns true with `command` filled (all but its `line`) for
// a command; false with `message` saying what is wrong for a bad line; and false with an empty
// `message` for a blank or comment line, which holds no command.
bool parseLine(std::string_view line, Command& command, std::string& message);

// The command's line as a script writes it, without a line end: parseLine reads it back to an equal
// command. Every argument is written, also a default one ("tick Timer1 1", "key 37 0").
std::string formatCommand(const Command& command);

// Reads a whole script. On the first bad line returns no script and fills `error`.
std::optional<ReplayScript> parseScript(std::string_view text, ScriptError& error);

// The word as it appears in a message: quoted, with unprintable bytes written as \xNN.
std::string quoted(std::string_view word);

} // namespace farvane

// The names the headless driver and its tests have always used.
namespace farvane::replay {
using farvane::Command;
using farvane::CommandKind;
using farvane::MaxLineBytes;
using farvane::MenuName;
using farvane::parseScript;
using farvane::quoted;
using farvane::ReplayScript;
using farvane::ScriptError;
using farvane::TimerName;
} // namespace farvane::replay
