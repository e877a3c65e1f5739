// Feeds arbitrary bytes to the script reader and runs what it accepts through the headless
// driver, checking the output's contract and the final scene's invariants.
//
// The reader takes waits up to 2147483647 ms and tick counts up to 1000000000, which a script may
// rightly ask for; here a script whose commands add up to more than a few hours of clock or a few
// hundred thousand ticks is read but not run, so each input stays quick.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "headless/driver.h"
#include "script/script.h"
#include "tests/support/invariants.h"
#include "tests/support/json_check.h"

namespace {

constexpr std::int64_t MaxWaitMs = 4LL * 3600 * 1000; // clock per input
constexpr std::int64_t MaxTicks = 200000;             // raised ticks per input

[[noreturn]] void fail(const std::string& what, std::string_view script, const std::string& out, const std::string& err)
{
    std::fprintf(stderr, "script fuzzer: %s\n--- script (%zu bytes)\n%.*s\n--- stdout\n%s--- stderr\n%s", what.c_str(),
                 script.size(), static_cast<int>(script.size() < 4000 ? script.size() : 4000), script.data(),
                 out.substr(0, 4000).c_str(), err.c_str());
    std::abort();
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Every key of the dump, in its order.
constexpr std::string_view DumpKeys[] = {
    "t",         "RightEdge",     "LeftEdge", "FallStep", "BigFallStep", "Drift",   "BigDrift", "SpawnLeft",
    "ScoreStep", "CountdownStep", "Steer",    "Obstacle", "BigObstacle", "Border",  "Shielda",  "Shieldb",
    "Shieldc",   "Shieldd",       "Shielde",  "Shieldf",  "Player1",     "Player2", "Player3",  "Player4",
    "Player5",   "Player6",       "lblScore", "lblHigh",  "lblReady",    "Timer1",  "Timer2",   "mnuFile",
    "mnuStart",  "mnuRestart",    "mnuQuit",  "mnuHelp",  "mnuHow",      "mnuAbout"};

bool hasDumpKeysInOrder(std::string_view line)
{
    std::size_t at = 0;
    for (const std::string_view key : DumpKeys) {
        at = line.find("\"" + std::string(key) + "\": ", at);
        if (at == std::string_view::npos)
            return false;
        at += key.size() + 4;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace farvane;
    const std::string_view script(reinterpret_cast<const char*>(data), size);

    farvane::ScriptError error;
    const auto parsed = farvane::parseScript(script, error);

    // Read in pieces, as from a file or a pipe, the script gives the same commands or error.
    {
        farvane::ScriptReader reader;
        const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 13;
        bool taken = true;
        for (std::size_t at = 0; taken && at < size; at += piece)
            taken = reader.feed(script.substr(at, piece));
        taken = taken && reader.finish();
        if (taken != parsed.has_value())
            fail("a script read in pieces is taken exactly when it is taken whole", script, "", "");
        if (!taken && (reader.error().line != error.line || reader.error().message != error.message))
            fail("a script read in pieces fails on the same line with the same message", script, "", "");
        if (taken) {
            auto other = reader.script().commands.begin();
            for (const farvane::Command command : parsed->commands) {
                const farvane::Command same = *other++;
                if (same.kind != command.kind || same.amount != command.amount || same.shift != command.shift ||
                    same.timer != command.timer || same.menu != command.menu || same.line != command.line)
                    fail("a script read in pieces gives the same commands", script, "", "");
            }
        }
    }

    std::size_t dumps = 0;
    if (parsed) {
        std::int64_t waited = 0;
        std::int64_t ticks = 0;
        for (const farvane::Command command : parsed->commands) {
            if (command.kind == farvane::CommandKind::Wait)
                waited += command.amount;
            else if (command.kind == farvane::CommandKind::Tick)
                ticks += command.amount;
            dumps += command.kind == farvane::CommandKind::Dump ? 1 : 0;
        }
        if (waited > MaxWaitMs || ticks > MaxTicks)
            return -1; // too much work for one input; keep it out of the corpus
    }

    std::istringstream in{std::string(script)};
    std::ostringstream outStream;
    std::ostringstream errStream;
    const replay::Result result = replay::runScriptFile("-", in, outStream, errStream);
    const std::string out = outStream.str();
    const std::string err = errStream.str();

    if (!parsed) {
        const std::string expected = "-:" + std::to_string(error.line) + ": " + error.message + "\n";
        if (result.exitStatus != 2 || !out.empty() || err != expected || result.finalScene)
            fail("a rejected script must give exit status 2, no output and \"" + expected + "\"", script, out, err);
        if (error.line == 0 || error.message.empty() || error.message.find('\n') != std::string::npos)
            fail("the error names a line and says in one line what is wrong", script, out, err);
        return 0;
    }

    if (result.exitStatus != 0 || !err.empty() || !result.finalScene)
        fail("an accepted script must run with exit status 0 and nothing on standard error", script, out, err);

    // Every line one JSON object under one known key; at most one end line, and it comes last.
    std::size_t dumpLines = 0;
    bool ended = false;
    std::size_t at = 0;
    while (at < out.size()) {
        const std::size_t newline = out.find('\n', at);
        if (newline == std::string::npos)
            fail("the output ends in the middle of a line", script, out, err);
        const std::string_view line(out.data() + at, newline - at);
        at = newline + 1;
        if (ended)
            fail("nothing may follow the end line", script, out, err);
        if (!fuzz::IsJsonObject(line))
            fail("not a JSON object: " + std::string(line.substr(0, 200)), script, out, err);
        if (startsWith(line, "{\"dump\": {\"t\": ")) {
            ++dumpLines;
            if (!hasDumpKeysInOrder(line))
                fail("a dump holds every key in order: " + std::string(line.substr(0, 200)), script, out, err);
        } else if (startsWith(line, "{\"end\": {\"t\": ")) {
            ended = true;
        } else if (line != "{\"msgbox\": {\"prompt\": \"You Lose!\", \"title\": \"Muahahahaa\"}}") {
            fail("a line of an unknown kind: " + std::string(line.substr(0, 200)), script, out, err);
        }
    }
    if (ended ? dumpLines > dumps : dumpLines != dumps)
        fail("one dump line per dump command run", script, out, err);

    soak::Verdict verdict;
    soak::CheckScene(*result.finalScene, verdict);
    if (!verdict.ok())
        fail("the final scene breaks an invariant: " + verdict.firstFailure(), script, out, err);
    return 0;
}
