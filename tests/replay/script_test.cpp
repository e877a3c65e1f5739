// The script reader: commands, words and line ends, numbers, and every error with its line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/script.h"
#include "script/scriptwriter.h"

namespace farvane::replay {
namespace {

struct Parsed {
    std::vector<Command> commands;
};

Parsed parsed(std::string_view text)
{
    ScriptError error;
    const auto script = parseScript(text, error);
    EXPECT_TRUE(script.has_value()) << "line " << error.line << ": " << error.message;
    Parsed result;
    if (script)
        result.commands.assign(script->commands.begin(), script->commands.end());
    return result;
}

ScriptError failure(std::string_view text)
{
    ScriptError error;
    EXPECT_FALSE(parseScript(text, error).has_value()) << "accepted: " << text;
    return error;
}

TEST(ScriptReader, ReadsEveryCommandWithItsArguments)
{
    const Parsed script = parsed("wait 50\ntick Timer2 4\ntick Timer1\nkey 37 1\nkey -5\n"
                                 "menu mnuAbout\nclose\ndump\n");
    ASSERT_EQ(script.commands.size(), 8u);
    EXPECT_EQ(script.commands[0].kind, CommandKind::Wait);
    EXPECT_EQ(script.commands[0].amount, 50);
    EXPECT_EQ(script.commands[1].kind, CommandKind::Tick);
    EXPECT_EQ(script.commands[1].timer, TimerName::Timer2);
    EXPECT_EQ(script.commands[1].amount, 4);
    EXPECT_EQ(script.commands[2].timer, TimerName::Timer1);
    EXPECT_EQ(script.commands[2].amount, 1) << "tick counts 1 by default";
    EXPECT_EQ(script.commands[3].kind, CommandKind::Key);
    EXPECT_EQ(script.commands[3].amount, 37);
    EXPECT_EQ(script.commands[3].shift, 1);
    EXPECT_EQ(script.commands[4].amount, -5);
    EXPECT_EQ(script.commands[4].shift, 0) << "shift is 0 by default";
    EXPECT_EQ(script.commands[5].kind, CommandKind::Menu);
    EXPECT_EQ(script.commands[5].menu, MenuName::mnuAbout);
    EXPECT_EQ(script.commands[6].kind, CommandKind::Close);
    EXPECT_EQ(script.commands[7].kind, CommandKind::Dump);
}

TEST(ScriptReader, EveryMenuEntryByItsName)
{
    const Parsed script = parsed("menu mnuStart\nmenu mnuRestart\nmenu mnuQuit\nmenu mnuHow\nmenu mnuAbout\n");
    ASSERT_EQ(script.commands.size(), 5u);
    EXPECT_EQ(script.commands[0].menu, MenuName::mnuStart);
    EXPECT_EQ(script.commands[1].menu, MenuName::mnuRestart);
    EXPECT_EQ(script.commands[2].menu, MenuName::mnuQuit);
    EXPECT_EQ(script.commands[3].menu, MenuName::mnuHow);
    EXPECT_EQ(script.commands[4].menu, MenuName::mnuAbout);
}

TEST(ScriptReader, SkipsBlankLinesAndCommentsButCountsThemAsLines)
{
    const Parsed script = parsed("\n# a comment\n   \t\n  \t# indented comment\n#dump\ndump\n\ndump");
    ASSERT_EQ(script.commands.size(), 2u);
    EXPECT_EQ(script.commands[0].line, 6u);
    EXPECT_EQ(script.commands[1].line, 8u) << "a last line without LF still counts";
}

TEST(ScriptReader, TakesCrLfLineEndsTabsAndRunsOfBlanks)
{
    const Parsed script = parsed("wait\t 600\r\n\t key  39\t\t2 \r\ndump\r\n");
    ASSERT_EQ(script.commands.size(), 3u);
    EXPECT_EQ(script.commands[0].amount, 600);
    EXPECT_EQ(script.commands[1].amount, 39);
    EXPECT_EQ(script.commands[1].shift, 2);
    EXPECT_EQ(script.commands[2].line, 3u);
}

TEST(ScriptReader, AnEmptyScriptHasNoCommands)
{
    EXPECT_TRUE(parsed("").commands.empty());
    EXPECT_TRUE(parsed("\n\n# nothing\n").commands.empty());
}

TEST(ScriptReader, ACarriageReturnNotBeforeLfIsPartOfTheWord)
{
    const std::string hint = " (the line holds a CR: end each line with LF or CR LF, not CR alone)";
    EXPECT_EQ(failure("dump\rdump\n").message,
              "unknown command \"dump\\x0ddump\"; expected wait, tick, key, menu, close, close-at-box or dump" + hint);
    EXPECT_EQ(failure("menu mnuStart\rwait 100\rdump\r").message,
              "menu: extra argument \"100\\x0ddump\\x0d\"; usage: menu ENTRY" + hint);
    EXPECT_EQ(failure("dump\r").message,
              "unknown command \"dump\\x0d\"; expected wait, tick, key, menu, close, close-at-box or dump" + hint);
}

// File names in messages stay on one line and say which bytes they hold; UTF-8 stays readable.
TEST(ScriptErrors, FileNamesArePrintedWithUnprintableBytesEscaped)
{
    const struct {
        std::string name, shown;
    } rows[] = {
        {"plain/game.txt", "plain/game.txt"},
        {"two\nlines.txt", "two\\x0alines.txt"},
        {"bad\xff.txt", "bad\\xff.txt"},
        {"caf\xc3\xa9.txt", "caf\xc3\xa9.txt"},
        {"cut\xc3", "cut\\xc3"},
        {"overlong\xc0\xaf", "overlong\\xc0\\xaf"},
        {"back\\slash\x7f", "back\\\\slash\\x7f"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(printableName(row.name), row.shown) << quoted(row.name);
}

TEST(ScriptReader, NamesAreCaseSensitive)
{
    EXPECT_EQ(failure("Dump\n").message,
              "unknown command \"Dump\"; expected wait, tick, key, menu, close, close-at-box or dump");
    EXPECT_EQ(failure("tick timer1\n").message, "tick: unknown timer \"timer1\"; expected Timer1 or Timer2");
    EXPECT_EQ(failure("menu mnustart\n").message,
              "menu: unknown entry \"mnustart\"; expected mnuStart, mnuRestart, mnuQuit, mnuHow or mnuAbout");
}

TEST(ScriptErrors, UnknownCommandNamesTheFirstBadLine)
{
    const ScriptError error = failure("dump\n\n# x\nwait 5\nkey 37\ndump\njump 3\nfly\n");
    EXPECT_EQ(error.line, 7u);
    EXPECT_EQ(error.message, "unknown command \"jump\"; expected wait, tick, key, menu, close, close-at-box or dump");
}

TEST(ScriptErrors, MissingArguments)
{
    EXPECT_EQ(failure("wait\n").message, "wait: missing argument MS; usage: wait MS");
    EXPECT_EQ(failure("tick \t\n").message, "tick: missing argument TIMER; usage: tick TIMER [N]");
    EXPECT_EQ(failure("key\n").message, "key: missing argument CODE; usage: key CODE [SHIFT]");
    EXPECT_EQ(failure("menu\n").message, "menu: missing argument ENTRY; usage: menu ENTRY");
}

TEST(ScriptErrors, ExtraArguments)
{
    EXPECT_EQ(failure("wait 5 6\n").message, "wait: extra argument \"6\"; usage: wait MS");
    EXPECT_EQ(failure("tick Timer1 2 3 4\n").message, "tick: extra argument \"3\"; usage: tick TIMER [N]");
    EXPECT_EQ(failure("key 37 0 x\n").message, "key: extra argument \"x\"; usage: key CODE [SHIFT]");
    EXPECT_EQ(failure("menu mnuStart mnuQuit\n").message, "menu: extra argument \"mnuQuit\"; usage: menu ENTRY");
    EXPECT_EQ(failure("close now\n").message, "close: extra argument \"now\"; usage: close");
    EXPECT_EQ(failure("dump # why\n").message, "dump: extra argument \"#\"; usage: dump")
        << "a # after a command is no comment";
}

TEST(ScriptErrors, NotANumber)
{
    const std::string expected = " is not a number; expected decimal digits with an optional leading -";
    EXPECT_EQ(failure("wait +5\n").message, "wait: MS \"+5\"" + expected);
    EXPECT_EQ(failure("wait 5x\n").message, "wait: MS \"5x\"" + expected);
    EXPECT_EQ(failure("wait x5\n").message, "wait: MS \"x5\"" + expected);
    EXPECT_EQ(failure("wait -\n").message, "wait: MS \"-\"" + expected);
    EXPECT_EQ(failure("wait --5\n").message, "wait: MS \"--5\"" + expected);
    EXPECT_EQ(failure("wait 0x10\n").message, "wait: MS \"0x10\"" + expected);
    EXPECT_EQ(failure("wait 1.5\n").message, "wait: MS \"1.5\"" + expected);
    EXPECT_EQ(failure("tick Timer1 N\n").message, "tick: N \"N\"" + expected);
    EXPECT_EQ(failure("key Left\n").message, "key: CODE \"Left\"" + expected);
    EXPECT_EQ(failure("key 37 s\n").message, "key: SHIFT \"s\"" + expected);
}

TEST(ScriptErrors, OutOfRangeSaysTheRange)
{
    EXPECT_EQ(failure("wait -1\n").message, "wait: MS \"-1\" is out of range; expected 0 to 2147483647");
    EXPECT_EQ(failure("wait 2147483648\n").message,
              "wait: MS \"2147483648\" is out of range; expected 0 to 2147483647");
    EXPECT_EQ(failure("tick Timer2 0\n").message, "tick: N \"0\" is out of range; expected 1 to 1000000000");
    EXPECT_EQ(failure("tick Timer2 1000000001\n").message,
              "tick: N \"1000000001\" is out of range; expected 1 to 1000000000");
    EXPECT_EQ(failure("key 32768\n").message, "key: CODE \"32768\" is out of range; expected -32768 to 32767");
    EXPECT_EQ(failure("key -32769\n").message, "key: CODE \"-32769\" is out of range; expected -32768 to 32767");
    EXPECT_EQ(failure("key 37 8\n").message, "key: SHIFT \"8\" is out of range; expected 0 to 7");
    EXPECT_EQ(failure("key 37 -1\n").message, "key: SHIFT \"-1\" is out of range; expected 0 to 7");
}

TEST(ScriptErrors, HugeNumbersAreOutOfRangeNotWrappedAround)
{
    // 2^64 + 5 would wrap to 5 in 64-bit arithmetic.
    EXPECT_EQ(failure("wait 18446744073709551621\n").message,
              "wait: MS \"18446744073709551621\" is out of range; expected 0 to 2147483647");
    const std::string forty(40, '9');
    EXPECT_EQ(failure("key -" + forty + "\n").message,
              "key: CODE \"-" + forty + "\" is out of range; expected -32768 to 32767");
}

TEST(ScriptNumbers, RangeEndsMinusZeroAndLeadingZerosAreTaken)
{
    const Parsed script = parsed("wait 0\nwait 2147483647\ntick Timer1 1\ntick Timer1 1000000000\n"
                                 "key -32768 0\nkey 32767 7\nwait -0\nwait 00000000000000000000000042\n"
                                 "key -0037\n");
    ASSERT_EQ(script.commands.size(), 9u);
    EXPECT_EQ(script.commands[0].amount, 0);
    EXPECT_EQ(script.commands[1].amount, 2147483647);
    EXPECT_EQ(script.commands[2].amount, 1);
    EXPECT_EQ(script.commands[3].amount, 1000000000);
    EXPECT_EQ(script.commands[4].amount, -32768);
    EXPECT_EQ(script.commands[5].amount, 32767);
    EXPECT_EQ(script.commands[5].shift, 7);
    EXPECT_EQ(script.commands[6].amount, 0);
    EXPECT_EQ(script.commands[7].amount, 42);
    EXPECT_EQ(script.commands[8].amount, -37);
}

TEST(ScriptErrors, UnknownTimerAndMenuEntryListTheValidOnes)
{
    EXPECT_EQ(failure("tick Timer3\n").message, "tick: unknown timer \"Timer3\"; expected Timer1 or Timer2");
    EXPECT_EQ(failure("menu mnuFile\n").message,
              "menu: unknown entry \"mnuFile\"; expected mnuStart, mnuRestart, mnuQuit, mnuHow or mnuAbout");
}

TEST(ScriptLines, HoldUpTo4096BytesNotCountingTheLineEnd)
{
    const std::string comment4096 = "#" + std::string(4095, 'x');
    EXPECT_EQ(parsed(comment4096 + "\r\ndump\n").commands.size(), 1u);
    EXPECT_EQ(parsed("dump" + std::string(4092, ' ') + "\n").commands.size(), 1u);
    EXPECT_EQ(parsed("dump" + std::string(4092, ' ')).commands.size(), 1u);

    const ScriptError tooLong = failure("dump\n" + comment4096 + "x\r\ndump\n");
    EXPECT_EQ(tooLong.line, 2u);
    EXPECT_EQ(tooLong.message, "line is longer than 4096 bytes");
    EXPECT_EQ(failure(std::string(5000, ' ')).message, "line is longer than 4096 bytes")
        << "blank lines are held to the limit too";
}

// The reader takes a script in pieces of any size: the same commands, lines and errors as whole,
// an overlong line refused as soon as it passes the limit, and commands held in no more bytes
// than the script they came from.
TEST(ScriptLines, AreReadInPiecesWithBoundedMemory)
{
    const std::string text = "# c\r\nwait 2147483647\ntick Timer2 1000000000\ntick Timer1\nkey -32768 7\r\n"
                             "\n key 32767\nmenu mnuHow\nclose\ndump";
    for (const std::size_t size : {std::size_t{1}, std::size_t{3}, std::size_t{7}}) {
        ScriptReader reader;
        for (std::size_t at = 0; at < text.size(); at += size)
            ASSERT_TRUE(reader.feed(std::string_view(text).substr(at, size)));
        ASSERT_TRUE(reader.finish());
        const std::vector<Command> pieces(reader.script().commands.begin(), reader.script().commands.end());
        const std::vector<Command> whole = parsed(text).commands;
        ASSERT_EQ(pieces.size(), whole.size());
        for (std::size_t n = 0; n < whole.size(); ++n) {
            EXPECT_EQ(pieces[n].kind, whole[n].kind);
            EXPECT_EQ(pieces[n].amount, whole[n].amount);
            EXPECT_EQ(pieces[n].shift, whole[n].shift);
            EXPECT_EQ(pieces[n].timer, whole[n].timer);
            EXPECT_EQ(pieces[n].menu, whole[n].menu);
            EXPECT_EQ(pieces[n].line, whole[n].line);
        }
    }
    ASSERT_EQ(parsed(text).commands.size(), 8u);
    EXPECT_EQ(parsed(text).commands[3].amount, -32768);
    EXPECT_EQ(parsed(text).commands[4].amount, 32767);
    EXPECT_EQ(parsed(text).commands[7].line, 10u);

    ScriptReader endless;
    EXPECT_TRUE(endless.feed("dump\n" + std::string(4096, 'x')));
    EXPECT_FALSE(endless.feed("y")) << "refused at the 4097th byte, before any line end";
    EXPECT_EQ(endless.error().line, 2u);
    EXPECT_FALSE(endless.feed("\n")) << "and nothing after is taken";

    std::string big;
    for (int n = 0; n < 400000; ++n)
        big += n % 2 == 0 ? "key 37 0\n" : "tick Timer1\n";
    ScriptReader reader;
    ASSERT_TRUE(reader.feed(big) && reader.finish());
    EXPECT_EQ(reader.script().commands.size(), 400000u);
    EXPECT_LE(reader.script().commands.storedBytes(), big.size());
}

TEST(ScriptLines, NulAndOtherBytesAreQuotedInTheMessage)
{
    const std::string nul("du\0mp\n", 6);
    EXPECT_EQ(failure(nul).message,
              "unknown command \"du\\x00mp\"; expected wait, tick, key, menu, close, close-at-box or dump");
    EXPECT_EQ(failure("wait \xff\"\\\n").message,
              "wait: MS \"\\xff\\\"\\\\\" is not a number; expected decimal digits with an optional leading -");
    EXPECT_EQ(failure("dump\f\n").message,
              "unknown command \"dump\\x0c\"; expected wait, tick, key, menu, close, close-at-box or dump")
        << "only spaces and tabs separate words";
}

// A byte order mark is skipped at the very start only, also when it comes in pieces; a script
// holds a bounded number of commands, the next one refused with its line.
TEST(ScriptLimits, AByteOrderMarkAtTheStartAndTheCommandCap)
{
    const std::string unknown = "; expected wait, tick, key, menu, close, close-at-box or dump";
    struct Row {
        std::string text;
        std::size_t cap;
        std::size_t commands;  // read when no error is expected
        std::size_t errorLine; // 0: none
        std::string message;
    };
    const Row rows[] = {
        {"\xEF\xBB\xBF"
         "dump\r\n",
         MaxCommands, 1, 0, ""},
        {"\xEF\xBB\xBF", MaxCommands, 0, 0, ""},
        {"\xEF\xBB"
         "dump\n",
         MaxCommands, 0, 1, "unknown command \"\\xef\\xbbdump\"" + unknown},
        {"\xEF", MaxCommands, 0, 1, "unknown command \"\\xef\"" + unknown},
        {"dump\n\xEF\xBB\xBF"
         "dump\n",
         MaxCommands, 0, 2, "unknown command \"\\xef\\xbb\\xbfdump\"" + unknown},
        {"dump\n# note\n\ndump\ndump", 3, 3, 0, ""},
        {"dump\n# note\n\ndump\ndump\n\ndump\n", 3, 0, 7, "more than 3 commands"},
    };
    for (const Row& row : rows) {
        for (const std::size_t size : {std::size_t{1}, std::size_t{2}, row.text.size() + 1}) {
            SCOPED_TRACE(testing::Message() << quoted(row.text) << " in pieces of " << size);
            ScriptReader reader(row.cap);
            bool read = true;
            for (std::size_t at = 0; at < row.text.size() && read; at += size)
                read = reader.feed(std::string_view(row.text).substr(at, size));
            read = read && reader.finish();
            EXPECT_EQ(read, row.errorLine == 0);
            EXPECT_EQ(reader.error().line, row.errorLine);
            EXPECT_EQ(reader.error().message, row.message);
            EXPECT_EQ(read ? reader.script().commands.size() : 0u, row.commands);
        }
    }
}

// Every kind of command, at the edges of its ranges, reads back from its own line unchanged.
TEST(ScriptLanguage, EveryCommandRoundTripsThroughFormatAndParse)
{
    auto make = [](CommandKind kind, std::int64_t amount = 0, std::int16_t shift = 0,
                   TimerName timer = TimerName::Timer1, MenuName menu = MenuName::mnuStart) {
        Command c;
        c.kind = kind;
        c.amount = amount;
        c.shift = shift;
        c.timer = timer;
        c.menu = menu;
        return c;
    };
    const Command table[] = {
        make(CommandKind::Wait, 0),
        make(CommandKind::Wait, 2147483647),
        make(CommandKind::Tick, 1, 0, TimerName::Timer1),
        make(CommandKind::Tick, 1000000000, 0, TimerName::Timer2),
        make(CommandKind::Key, -32768, 0),
        make(CommandKind::Key, 32767, 7),
        make(CommandKind::Menu, 0, 0, TimerName::Timer1, MenuName::mnuStart),
        make(CommandKind::Menu, 0, 0, TimerName::Timer1, MenuName::mnuRestart),
        make(CommandKind::Menu, 0, 0, TimerName::Timer1, MenuName::mnuQuit),
        make(CommandKind::Menu, 0, 0, TimerName::Timer1, MenuName::mnuHow),
        make(CommandKind::Menu, 0, 0, TimerName::Timer1, MenuName::mnuAbout),
        make(CommandKind::Close),
        make(CommandKind::CloseAtBox),
        make(CommandKind::Dump),
    };
    for (const Command& command : table) {
        const std::string line = formatCommand(command);
        Command back;
        std::string message;
        EXPECT_TRUE(parseLine(line, back, message)) << line << ": " << message;
        EXPECT_EQ(back, command) << line;
    }
    Command none;
    std::string message = "stale";
    EXPECT_FALSE(parseLine("  # a comment", none, message));
    EXPECT_EQ(message, "") << "a comment is no error";
}

TEST(ScriptWriter, LeavesOutZeroWaitsAndSplitsOverlongOnes)
{
    ScriptWriter writer;
    std::string text;
    Command menu;
    menu.kind = CommandKind::Menu;
    Command key;
    key.kind = CommandKind::Key;
    key.amount = 37;
    Command close;
    close.kind = CommandKind::Close;
    writer.append(text, 0, menu);
    writer.append(text, 600, key);
    writer.append(text, 600, key);
    writer.appendWaitUntil(text, 600);
    writer.append(text, 600 + 2147483647ULL + 5, close);
    EXPECT_EQ(text, "menu mnuStart\nwait 600\nkey 37 0\nkey 37 0\nwait 2147483647\nwait 5\nclose\n");
    EXPECT_EQ(writer.written(), 600 + 2147483647ULL + 5);
}

} // namespace
} // namespace farvane::replay
