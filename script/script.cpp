// The replay script reader: splits lines into words and checks every command and number.
#include "script/script.h"

#include <array>
#include <charconv>

namespace farvane {

namespace {

constexpr std::string_view ExpectedCommands = "expected wait, tick, key, menu, close, close-at-box or dump";
constexpr std::string_view ExpectedTimers = "expected Timer1 or Timer2";

// "expected mnuStart, mnuRestart, mnuQuit, mnuHow or mnuAbout", from the menu table.
std::string expectedEntries()
{
    std::string text = "expected ";
    for (std::size_t i = 0; i < MenuItems.size(); ++i) {
        if (i > 0)
            text += i + 1 == MenuItems.size() ? " or " : ", ";
        text += MenuItems[i].id;
    }
    return text;
}

// Any magnitude past this is out of every range the language has; digits beyond it are not summed,
// so a number of any length is read without overflow.
constexpr std::uint64_t MagnitudeCap = 100'000'000'000ULL;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Splits at spaces and tabs; the first four words are kept, the count says how many there were.
struct Words {
    std::array<std::string_view, 4> word{};
    std::size_t count = 0;
};

Words splitWords(std::string_view line)
{
    Words words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && isBlank(line[at]))
            ++at;
        if (at == line.size())
            break;
        const std::size_t start = at;
        while (at < line.size() && !isBlank(line[at]))
            ++at;
        if (words.count < words.word.size())
            words.word[words.count] = line.substr(start, at - start);
        ++words.count;
    }
    return words;
}

// One numeric argument: its name in the usage line and the range it must fall in.
struct NumberRule {
    std::string_view name;
    std::int64_t low;
    std::int64_t high;
};

constexpr NumberRule WaitMs{"MS", 0, 2147483647};
constexpr NumberRule TickCount{"N", 1, 1000000000};
constexpr NumberRule KeyCode{"CODE", -32768, 32767};
constexpr NumberRule ShiftMask{"SHIFT", 0, 7};

std::string rangeText(const NumberRule& rule) { return std::to_string(rule.low) + " to " + std::to_string(rule.high); }

// Reads a decimal number with an optional leading '-' and checks its range.
bool readNumber(std::string_view command, std::string_view word, const NumberRule& rule, std::int64_t& value,
                std::string& message)
{
    const bool negative = !word.empty() && word.front() == '-';
    const std::string_view digits = negative ? word.substr(1) : word;
    bool allDigits = !digits.empty();
    for (const char c : digits)
        allDigits = allDigits && c >= '0' && c <= '9';
    if (!allDigits) {
        message = std::string(command) + ": " + std::string(rule.name) + " " + quoted(word) +
                  " is not a number; expected decimal digits with an optional leading -";
        return false;
    }
    std::uint64_t magnitude = 0;
    for (const char c : digits) {
        if (magnitude < MagnitudeCap)
            magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    }
    const std::int64_t signedValue =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (signedValue < rule.low || signedValue > rule.high) {
        message = std::string(command) + ": " + std::string(rule.name) + " " + quoted(word) +
                  " is out of range; expected " + rangeText(rule);
        return false;
    }
    value = signedValue;
    return true;
}

struct Syntax {
    std::string_view name;
    std::string_view usage;
    std::string_view firstArgument; // named when it is missing
    std::size_t required;
    std::size_t optional;
};

// In CommandKind's order.
constexpr std::array<Syntax, 7> Commands{{
    {"wait", "wait MS", "MS", 1, 0},
    {"tick", "tick TIMER [N]", "TIMER", 1, 1},
    {"key", "key CODE [SHIFT]", "CODE", 1, 1},
    {"menu", "menu ENTRY", "ENTRY", 1, 0},
    {"close", "close", "", 0, 0},
    {"close-at-box", "close-at-box", "", 0, 0},
    {"dump", "dump", "", 0, 0},
}};

// Checks one line holding at least one word; fills `command` or `message`.
bool parseCommand(const Words& words, Command& command, std::string& message)
{
    const std::string_view name = words.word[0];
    std::size_t index = 0;
    while (index < Commands.size() && Commands[index].name != name)
        ++index;
    if (index == Commands.size()) {
        message = "unknown command " + quoted(name) + "; " + std::string(ExpectedCommands);
        return false;
    }
    const Syntax& syntax = Commands[index];
    const std::size_t arguments = words.count - 1;
    if (arguments < syntax.required) {
        message = std::string(name) + ": missing argument " + std::string(syntax.firstArgument) +
                  "; usage: " + std::string(syntax.usage);
        return false;
    }
    if (arguments > syntax.required + syntax.optional) {
        message = std::string(name) + ": extra argument " + quoted(words.word[1 + syntax.required + syntax.optional]) +
                  "; usage: " + std::string(syntax.usage);
        return false;
    }

    command.kind = static_cast<CommandKind>(index);
    switch (command.kind) {
    case CommandKind::Wait: return readNumber(name, words.word[1], WaitMs, command.amount, message);
    case CommandKind::Tick:
        if (words.word[1] == "Timer1") {
            command.timer = TimerName::Timer1;
        } else if (words.word[1] == "Timer2") {
            command.timer = TimerName::Timer2;
        } else {
            message = "tick: unknown timer " + quoted(words.word[1]) + "; " + std::string(ExpectedTimers);
            return false;
        }
        command.amount = 1;
        return arguments < 2 || readNumber(name, words.word[2], TickCount, command.amount, message);
    case CommandKind::Key: {
        if (!readNumber(name, words.word[1], KeyCode, command.amount, message))
            return false;
        std::int64_t shift = 0;
        if (arguments == 2 && !readNumber(name, words.word[2], ShiftMask, shift, message))
            return false;
        command.shift = static_cast<std::int16_t>(shift);
        return true;
    }
    case CommandKind::Menu:
        if (const std::optional<MenuName> entry = menuByName(words.word[1])) {
            command.menu = *entry;
            return true;
        }
        message = "menu: unknown entry " + quoted(words.word[1]) + "; " + expectedEntries();
        return false;
    case CommandKind::Close:
    case CommandKind::CloseAtBox:
    case CommandKind::Dump: return true;
    }
    return true;
}

} // namespace

namespace {

void appendEscaped(std::string& text, unsigned char byte)
{
    static constexpr char Hex[] = "0123456789abcdef";
    text += "\\x";
    text += Hex[byte >> 4];
    text += Hex[byte & 0xf];
}

// The length of the well-formed UTF-8 sequence of two to four bytes at the start of `rest`; 0 if none.
std::size_t utf8Sequence(std::string_view rest)
{
    const auto lead = static_cast<unsigned char>(rest[0]);
    const std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                               : lead >= 0xe0 && lead <= 0xef ? 3
                               : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                              : 0;
    if (length == 0 || rest.size() < length)
        return 0;
    const auto second = static_cast<unsigned char>(rest[1]);
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    const unsigned char low = lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf;
    if (second < low || second > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if ((static_cast<unsigned char>(rest[i]) & 0xc0) != 0x80)
            return 0;
    }
    return length;
}

} // namespace

std::string quoted(std::string_view word)
{
    std::string text = "\"";
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (byte < 0x20 || byte >= 0x7f) {
            appendEscaped(text, byte);
        } else {
            text += c;
        }
    }
    text += '"';
    return text;
}

std::string printableName(std::string_view name)
{
    std::string text;
    while (!name.empty()) {
        const auto byte = static_cast<unsigned char>(name.front());
        std::size_t taken = 1;
        if (byte == '\\')
            text += "\\\\";
        else if (byte < 0x20 || byte == 0x7f)
            appendEscaped(text, byte);
        else if (byte < 0x80)
            text += name.front();
        else if ((taken = utf8Sequence(name)) != 0)
            text += name.substr(0, taken);
        else {
            appendEscaped(text, byte);
            taken = 1;
        }
        name.remove_prefix(taken);
    }
    return text;
}

bool parseLine(std::string_view line, Command& command, std::string& message)
{
    message.clear();
    if (line.size() > MaxLineBytes) {
        message = "line is longer than " + std::to_string(MaxLineBytes) + " bytes";
        return false;
    }
    const Words words = splitWords(line);
    if (words.count == 0 || words.word[0].front() == '#')
        return false;
    command = Command{};
    return parseCommand(words, command, message);
}

std::string formatCommand(const Command& command)
{
    const std::string name(Commands[static_cast<std::size_t>(command.kind)].name);
    switch (command.kind) {
    case CommandKind::Wait: return name + " " + std::to_string(command.amount);
    case CommandKind::Tick:
        return name + (command.timer == TimerName::Timer1 ? " Timer1 " : " Timer2 ") + std::to_string(command.amount);
    case CommandKind::Key: return name + " " + std::to_string(command.amount) + " " + std::to_string(command.shift);
    case CommandKind::Menu: return name + " " + std::string(menuItem(command.menu).id);
    case CommandKind::Close:
    case CommandKind::CloseAtBox:
    case CommandKind::Dump: break;
    }
    return name;
}

// Each command: a tag byte (the kind in bits 0-2, small arguments above), its number when it has
// one as a variable-length integer, then the line's distance from the previous command's line.
namespace {

void putNumber(std::vector<std::uint8_t>& out, std::uint64_t value)
{
    while (value >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(value));
}

std::uint64_t getNumber(const std::uint8_t*& at)
{
    std::uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        const std::uint8_t byte = *at++;
        value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0)
            return value;
    }
}

// Key codes are signed: small magnitudes of either sign take one byte.
std::uint64_t zigzag(std::int64_t value)
{
    return value < 0 ? (static_cast<std::uint64_t>(-(value + 1)) << 1) | 1 : static_cast<std::uint64_t>(value) << 1;
}

std::int64_t unzigzag(std::uint64_t value)
{
    return (value & 1) != 0 ? -static_cast<std::int64_t>(value >> 1) - 1 : static_cast<std::int64_t>(value >> 1);
}

} // namespace

void CommandList::push_back(const Command& command)
{
    if (blocks.empty() || blocks.back().size() + MaxEncodedBytes > BlockBytes) {
        blocks.emplace_back();
        blocks.back().reserve(BlockBytes);
    }
    std::vector<std::uint8_t>& out = blocks.back();
    auto tag = static_cast<std::uint8_t>(command.kind);
    switch (command.kind) {
    case CommandKind::Tick:
        tag = static_cast<std::uint8_t>(tag | static_cast<std::uint8_t>(command.timer) << 3 |
                                        (command.amount == 1 ? 0x10 : 0));
        out.push_back(tag);
        if (command.amount != 1)
            putNumber(out, static_cast<std::uint64_t>(command.amount));
        break;
    case CommandKind::Key:
        out.push_back(static_cast<std::uint8_t>(tag | (command.shift & 7) << 3));
        putNumber(out, zigzag(command.amount));
        break;
    case CommandKind::Menu:
        out.push_back(static_cast<std::uint8_t>(tag | static_cast<std::uint8_t>(command.menu) << 3));
        break;
    case CommandKind::Wait:
        out.push_back(tag);
        putNumber(out, static_cast<std::uint64_t>(command.amount));
        break;
    default: out.push_back(tag); break;
    }
    putNumber(out, command.line - lastLine);
    lastLine = command.line;
    ++count;
}

std::size_t CommandList::storedBytes() const
{
    std::size_t bytes = 0;
    for (const std::vector<std::uint8_t>& block : blocks)
        bytes += block.capacity();
    return bytes;
}

CommandList::const_iterator::const_iterator(const CommandList* owner, std::size_t at) : list(owner), index(at)
{
    if (index < list->count)
        decode();
}

CommandList::const_iterator& CommandList::const_iterator::operator++()
{
    ++index;
    if (index < list->count)
        decode();
    return *this;
}

void CommandList::const_iterator::decode()
{
    if (offset >= list->blocks[block].size()) {
        ++block;
        offset = 0;
    }
    const std::uint8_t* const start = list->blocks[block].data() + offset;
    const std::uint8_t* at = start;
    const std::uint8_t tag = *at++;
    const std::size_t previousLine = current.line;
    current = Command{};
    current.kind = static_cast<CommandKind>(tag & 7);
    switch (current.kind) {
    case CommandKind::Tick:
        current.timer = static_cast<TimerName>((tag >> 3) & 1);
        current.amount = (tag & 0x10) != 0 ? 1 : static_cast<std::int64_t>(getNumber(at));
        break;
    case CommandKind::Key:
        current.shift = static_cast<std::int16_t>((tag >> 3) & 7);
        current.amount = unzigzag(getNumber(at));
        break;
    case CommandKind::Menu: current.menu = static_cast<MenuName>((tag >> 3) & 7); break;
    case CommandKind::Wait: current.amount = static_cast<std::int64_t>(getNumber(at)); break;
    default: break;
    }
    current.line = previousLine + static_cast<std::size_t>(getNumber(at));
    offset += static_cast<std::size_t>(at - start);
}

bool ScriptReader::tooLong()
{
    failed = true;
    failure = {lineNumber + 1, "line is longer than " + std::to_string(MaxLineBytes) + " bytes"};
    partial.clear();
    partial.shrink_to_fit();
    return false;
}

namespace {
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
}

bool ScriptReader::feed(std::string_view piece)
{
    if (failed)
        return false;
    // The mark may come split over pieces; a start that turns out to be no mark is the first line's.
    while (startRead < ByteOrderMark.size() && !piece.empty()) {
        if (piece.front() != ByteOrderMark[startRead]) {
            partial.assign(ByteOrderMark.substr(0, startRead));
            startRead = ByteOrderMark.size();
            break;
        }
        piece.remove_prefix(1);
        ++startRead;
    }
    while (!piece.empty()) {
        const std::size_t end = piece.find('\n');
        if (end == std::string_view::npos) {
            // A line may hold MaxLineBytes and then the CR of its CRLF: anything past that is too long.
            if (partial.size() + piece.size() > MaxLineBytes + 1 ||
                (partial.size() + piece.size() == MaxLineBytes + 1 && piece.back() != '\r'))
                return tooLong();
            partial.append(piece);
            return true;
        }
        if (partial.empty()) {
            if (!takeLine(piece.substr(0, end), true))
                return false;
        } else {
            if (partial.size() + end > MaxLineBytes + 1)
                return tooLong();
            partial.append(piece.substr(0, end));
            const bool taken = takeLine(partial, true);
            partial.clear();
            if (!taken)
                return false;
        }
        piece.remove_prefix(end + 1);
    }
    return true;
}

bool ScriptReader::finish()
{
    if (failed)
        return false;
    if (startRead < ByteOrderMark.size())
        partial.assign(ByteOrderMark.substr(0, startRead));
    if (partial.empty())
        return true;
    const bool taken = takeLine(partial, false);
    partial.clear();
    return taken;
}

bool ScriptReader::takeLine(std::string_view line, bool hasLineEnd)
{
    ++lineNumber;
    // Only a CR right before the LF belongs to the line end; any other CR is part of the line.
    if (hasLineEnd && !line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() > MaxLineBytes) {
        --lineNumber;
        return tooLong();
    }
    Command command;
    std::string message;
    if (!parseLine(line, command, message)) {
        if (message.empty())
            return true; // blank or comment
        // A file whose lines end in CR alone reads as one long line.
        if (line.find('\r') != std::string_view::npos)
            message += " (the line holds a CR: end each line with LF or CR LF, not CR alone)";
        failed = true;
        failure = {lineNumber, std::move(message)};
        return false;
    }
    if (result.commands.size() == commandCap) {
        failed = true;
        failure = {lineNumber, "more than " + std::to_string(commandCap) + " commands"};
        return false;
    }
    command.line = lineNumber;
    result.commands.push_back(command);
    return true;
}

std::optional<ReplayScript> parseScript(std::string_view text, ScriptError& error)
{
    ScriptReader reader;
    if (!reader.feed(text) || !reader.finish()) {
        error = reader.error();
        return std::nullopt;
    }
    return std::move(reader.script());
}

} // namespace farvane
