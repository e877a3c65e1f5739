// Replay scripts: the commands, and the reader that checks a whole script before any of it runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "menu/menutable.h"

namespace farvane {

enum class CommandKind : std::uint8_t { Wait, Tick, Key, Menu, Close, CloseAtBox, Dump };
enum class TimerName : std::uint8_t { Timer1, Timer2 };

struct Command {
    CommandKind kind = CommandKind::Dump;
    std::int64_t amount = 0; // wait: milliseconds; tick: how many ticks; key: key code
    std::int16_t shift = 0;  // key: shift mask 0..7
    TimerName timer = TimerName::Timer1;
    MenuName menu = MenuName::mnuStart;
    std::size_t line = 0; // 1-based line in the script

    // Equal commands do the same; the line they came from does not count.
    friend bool operator==(const Command& a, const Command& b)
    {
        return a.kind == b.kind && a.amount == b.amount && a.shift == b.shift && a.timer == b.timer && a.menu == b.menu;
    }
};

struct ScriptError {
    std::size_t line = 0;
    std::string message; // what is wrong, without the FILE:LINE: prefix
};

// A script's commands, stored compactly: a command takes a few bytes, never more than the line it
// was read from, so a script in memory is no larger than the script itself. Read in order.
class CommandList {
public:
    class const_iterator {
    public:
        using value_type = Command;
        using difference_type = std::ptrdiff_t;
        using reference = Command;
        using pointer = void;
        using iterator_category = std::input_iterator_tag;

        const_iterator() = default;
        Command operator*() const { return current; }
        const_iterator& operator++();
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& other) const { return index == other.index; }

    private:
        friend class CommandList;
        const_iterator(const CommandList* owner, std::size_t at);
        void decode();

        const CommandList* list = nullptr;
        std::size_t index = 0; // commands before this one
        std::size_t block = 0;
        std::size_t offset = 0;
        Command current;
    };

    void push_back(const Command& command);
    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, count}; }
    // Bytes held for the commands.
    std::size_t storedBytes() const;

private:
    static constexpr std::size_t BlockBytes = 1 << 20;
    static constexpr std::size_t MaxEncodedBytes = 24;

    std::vector<std::vector<std::uint8_t>> blocks;
    std::size_t count = 0;
    std::size_t lastLine = 0;
};

struct ReplayScript {
    CommandList commands;
};

constexpr std::size_t MaxLineBytes = 4096;    // not counting the line end
constexpr std::size_t MaxCommands = 67108864; // the next one is an error: memory stays bounded

// Reads a script piece by piece, checking each line as it is completed: the first bad line stops
// the read at once, no line is held past MaxLineBytes and no more than MaxCommands commands, so no
// input can grow memory without bound. A UTF-8 byte order mark at the very start is skipped.
class ScriptReader {
public:
    explicit ScriptReader(std::size_t maxCommands = MaxCommands) : commandCap(maxCommands) {}

    // The next piece of the script; false once a line was bad (see error()).
    bool feed(std::string_view piece);
    // The end of the script: checks its last line when it has no line end.
    bool finish();
    const ScriptError& error() const { return failure; }
    ReplayScript& script() { return result; }

private:
    bool takeLine(std::string_view line, bool hasLineEnd);
    bool tooLong();

    std::string partial; // the line read so far, when a piece ended inside it
    std::size_t lineNumber = 0;
    std::size_t commandCap;
    std::size_t startRead = 0; // bytes of the script's start matched against a byte order mark
    ReplayScript result;
    ScriptError failure;
    bool failed = false;
};

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
// A file name as it appears in a message: as it stands, but for control bytes, backslashes and
// bytes that are not UTF-8, written as in quoted(), so a message stays one line.
std::string printableName(std::string_view name);

} // namespace farvane
