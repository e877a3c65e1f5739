// The headless host: reads and checks a script, then runs it against the form on a virtual clock.
#include "headless/driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <istream>
#include <ostream>

#include "game/form.h"
#include "common/dump.h"
#include "common/script.h"
#include "common/virtualclock.h"

namespace farvane::replay {

namespace {

// Output collects here and goes out in large pieces: a long replay writes no stream per tick.
constexpr std::size_t FlushBytes = 64 * 1024;

class Output {
public:
    explicit Output(std::ostream& stream) : out(stream) {}
    ~Output() { flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    std::string& line() { return buffer; }
    void lineDone()
    {
        if (buffer.size() >= FlushBytes)
            flush();
    }
    void flush()
    {
        out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        out.flush();
        buffer.clear();
    }

private:
    std::ostream& out;
    std::string buffer;
};

// Answers every message box OK at once and notes the end of the program. After close-at-box the
// next box is closed on instead: its line is written, the scene is kept as it stood with the box
// up, and the program has ended, so nothing the rest of that event does shows anywhere.
class HeadlessHost : public Host {
public:
    HeadlessHost(Output& output, const Veskara*& shownForm) : out(output), form(shownForm) {}

    void MsgBox(std::string_view prompt, std::string_view title) override
    {
        if (ended)
            return;
        appendMsgBoxLine(out.line(), prompt, title);
        out.lineDone();
        if (closeAtBox) {
            sceneAtBox.emplace(*form);
            ended = true;
        }
    }
    void End() override { ended = true; }

    bool ended = false;
    bool closeAtBox = false;
    std::optional<Scene> sceneAtBox; // the scene when the window was closed on the box

private:
    Output& out;
    const Veskara*& form;
};

bool readStream(std::istream& in, std::string& text)
{
    char chunk[64 * 1024];
    std::streambuf* buffer = in.rdbuf();
    if (buffer == nullptr)
        return false;
    for (;;) {
        const std::streamsize got = buffer->sgetn(chunk, sizeof chunk);
        if (got <= 0)
            break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return true;
}

// Reads a whole file; on failure returns the reason.
bool readFile(const std::string& file, std::string& text, std::string& reason)
{
    std::FILE* handle = std::fopen(file.c_str(), "rb");
    if (handle == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    char chunk[64 * 1024];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, handle);
        text.append(chunk, got);
        if (got < sizeof chunk)
            break;
    }
    // A directory opens fine and fails only on reading.
    const bool failed = std::ferror(handle) != 0;
    const int readErrno = errno;
    std::fclose(handle);
    if (failed) {
        reason = std::strerror(readErrno);
        return false;
    }
    return true;
}

class Run {
public:
    explicit Run(Output& output) : out(output), host(output, shownForm), form(host)
    {
        shownForm = &form;
        form.Form_Load();
        clock.emplace(form);
    }

    // Runs the commands until they run out or the program ends.
    void commands(const ReplayScript& script)
    {
        for (const Command& command : script.commands) {
            run(command);
            if (host.ended) {
                appendEndLine(out.line(), clock->now());
                out.lineDone();
                return;
            }
        }
    }

    // The scene --screenshot draws: as the box left it when the window was closed on one.
    Scene finalScene() const { return host.sceneAtBox ? *host.sceneAtBox : Scene(form); }

private:
    void run(const Command& command)
    {
        switch (command.kind) {
        case CommandKind::Wait:
            clock->advanceTo(clock->now() + static_cast<VirtualClock::Millis>(command.amount),
                             [this] { return !host.ended; });
            return;
        case CommandKind::Tick:
            tick(command.timer == TimerName::Timer1 ? form.Timer1 : form.Timer2,
                 command.timer == TimerName::Timer1 ? &Veskara::Timer1_Timer : &Veskara::Timer2_Timer,
                 command.amount);
            return;
        case CommandKind::Key: {
            std::int16_t keyCode = static_cast<std::int16_t>(command.amount);
            form.Form_KeyDown(keyCode, command.shift);
            break;
        }
        case CommandKind::Menu:
            choose(form, command.menu); // as in the window: nothing while it or its menu is disabled
            break;
        case CommandKind::Close:
            // The window's close button ends the program as Quit does, whatever the menu allows.
            host.End();
            break;
        case CommandKind::CloseAtBox:
            host.closeAtBox = true;
            return;
        case CommandKind::Dump:
            appendDumpLine(out.line(), form, clock->now());
            out.lineDone();
            return;
        }
        clock->sync();
    }

    // Ticks raised at once: the clock and the schedule stay where they are.
    void tick(const Timer& timer, void (Veskara::*procedure)(), std::int64_t count)
    {
        for (std::int64_t done = 0; done < count && timer.Enabled && !host.ended; ++done) {
            (form.*procedure)();
            clock->sync();
        }
    }

    Output& out;
    const Veskara* shownForm = nullptr;
    HeadlessHost host;
    Veskara form;
    std::optional<VirtualClock> clock; // made once the form has loaded: the clock starts at 0 then
};

} // namespace

Result runScriptFile(const std::string& file, std::istream& in, std::ostream& out, std::ostream& err)
{
    std::string text;
    if (file == "-") {
        if (!readStream(in, text) || in.bad()) {
            err << "farvane: cannot read -: input error\n";
            return Result{2, std::nullopt};
        }
    } else {
        std::string reason;
        if (!readFile(file, text, reason)) {
            err << "farvane: cannot read " << file << ": " << reason << "\n";
            return Result{2, std::nullopt};
        }
    }

    ScriptError error;
    const std::optional<ReplayScript> script = parseScript(text, error);
    if (!script) {
        err << file << ":" << error.line << ": " << error.message << "\n";
        return Result{2, std::nullopt};
    }

    Output output(out);
    Run run(output);
    run.commands(*script);
    output.flush();
    return Result{0, run.finalScene()};
}

} // namespace farvane::replay
