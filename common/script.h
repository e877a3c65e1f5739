// Replay scripts: the commands, and the reader that checks a whole script before any of it runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace farvane::replay {

enum class CommandKind : std::uint8_t { Wait, Tick, Key, Menu, Close, Dump };
enum class TimerName : std::uint8_t { Timer1, Timer2 };
enum class MenuName : std::uint8_t { mnuStart, mnuRestart, mnuQuit, mnuHow, mnuAbout };

struct Command {
    CommandKind kind = CommandKind::Dump;
    std::int64_t amount = 0;  // wait: milliseconds; tick: how many ticks; key: key code
    std::int16_t shift = 0;   // key: shift mask 0..7
    TimerName timer = TimerName::Timer1;
    MenuName menu = MenuName::mnuStart;
    std::size_t line = 0;     // 1-based line in the script
};

struct ScriptError {
    std::size_t line = 0;
    std::string message; // what is wrong, without the FILE:LINE: prefix
};

struct ReplayScript {
    std::vector<Command> commands;
};

constexpr std::size_t MaxLineBytes = 4096; // not counting the line end

// Reads a whole script. On the first bad line returns no script and fills `error`.
std::optional<ReplayScript> parseScript(std::string_view text, ScriptError& error);

// The word as it appears in a message: quoted, with unprintable bytes written as \xNN.
std::string quoted(std::string_view word);

} // namespace farvane::replay
