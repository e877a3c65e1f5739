// The headless host: reads and checks a script, then runs it against the form on a virtual clock.
#include "headless/driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <unistd.h>
#include <vector>

#include "files/atomicfile.h"
#include "game/form.h"
#include "midend/player.h"
#include "script/dump.h"
#include "script/script.h"

namespace farvane::replay {

namespace {

// Output collects here and goes out in large pieces: a long replay writes no stream per tick.
constexpr std::size_t FlushBytes = 64 * 1024;

class Output {
public:
    explicit Output(ByteSink& sink) : out(sink) {}
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
        if (failure == 0) {
            errno = 0;
            if (!out.write(buffer))
                failure = errno != 0 ? errno : EIO;
        }
        buffer.clear();
    }
    // Once a write failed the rest is dropped; the run stops soon after.
    bool failed() const { return failure != 0; }
    int error() const { return failure; }

private:
    ByteSink& out;
    std::string buffer;
    int failure = 0;
};

// Feeds the reader from `source` in pieces; on a read error returns false with `reason` set.
bool readAll(ByteSource& source, ScriptReader& reader, bool& bad, std::string& reason)
{
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        const std::ptrdiff_t got = source.read(chunk.data(), chunk.size());
        if (got < 0) {
            reason = std::strerror(errno);
            return false;
        }
        if (got == 0)
            return true;
        if (!reader.feed(std::string_view(chunk.data(), static_cast<std::size_t>(got)))) {
            bad = true;
            return true;
        }
    }
}

// Reads and checks the script in one pass. Returns false when it cannot be read (`reason` set);
// `bad` tells that a line was wrong (the reader's error says which).
bool readScript(const std::string& file, ByteSource& standardInput, ScriptReader& reader, bool& bad,
                std::string& reason)
{
    bool read = false;
    if (file == "-") {
        read = readAll(standardInput, reader, bad, reason);
    } else {
        const int fd = openForReading(file);
        if (fd < 0) {
            reason = std::strerror(errno);
            return false;
        }
        // A directory opens fine and fails only on reading.
        DescriptorSource source(fd);
        read = readAll(source, reader, bad, reason);
        ::close(fd);
    }
    if (read && !bad && !reader.finish())
        bad = true;
    return read;
}

// Answers every message box OK at once; writes the box, dump and end lines.
class Run final : public ScriptPlayer::Show {
public:
    Run(Output& output, ReplayScript script) : out(output), player(*this, std::move(script)) {}

    // Plays the script until it runs out, the program ends or the output fails. The player goes
    // in slices; a signal's default action ends the program between any two of them.
    void play()
    {
        while (!out.failed() && player.play(ScriptPlayer::Forever, ScriptPlayer::Slice * 16)) {
        }
    }

    // The scene --screenshot draws: as the box left it when the window was closed on one.
    Scene finalScene() const { return player.scene(); }

private:
    void box(std::string_view prompt, std::string_view title, bool) override
    {
        appendMsgBoxLine(out.line(), prompt, title);
        out.lineDone();
    }
    void dump() override
    {
        appendDumpLine(out.line(), player.form(), player.clock().now());
        out.lineDone();
    }
    void ended() override
    {
        appendEndLine(out.line(), player.clock().now());
        out.lineDone();
    }

    Output& out;
    ScriptPlayer player;
};

} // namespace

std::ptrdiff_t DescriptorSource::read(char* into, std::size_t size)
{
    // At most 1 GiB at once: read() takes an unsigned int on Windows.
    const auto wanted = static_cast<unsigned>(size < (1U << 30) ? size : (1U << 30));
    for (;;) {
        const auto got = ::read(descriptor, into, wanted);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

bool DescriptorSink::write(std::string_view bytes) { return writeAll(descriptor, bytes); }

std::optional<ReplayScript> loadScript(const std::string& file, ByteSource& standardInput, ByteSink& err)
{
    std::optional<ScriptReader> reader;
    try {
        reader.emplace();
        bool bad = false;
        std::string reason;
        if (!readScript(file, standardInput, *reader, bad, reason)) {
            err.write("farvane: cannot read " + printableName(file) + ": " + reason + "\n");
            return std::nullopt;
        }
        if (bad) {
            err.write(printableName(file) + ":" + std::to_string(reader->error().line) + ": " +
                      reader->error().message + "\n");
            return std::nullopt;
        }
        return std::move(reader->script());
    } catch (const std::bad_alloc&) {
        reader.reset();
        err.write("farvane: cannot read " + printableName(file) + ": not enough memory to hold the script\n");
        return std::nullopt;
    }
}

Result runScript(const std::string& file, ByteSource& standardInput, ByteSink& out, ByteSink& err)
{
    std::optional<ReplayScript> script = loadScript(file, standardInput, err);
    if (!script)
        return Result{2, std::nullopt};

    Output output(out);
    Run run(output, std::move(*script));
    script.reset();
    run.play();
    output.flush();
    if (output.failed()) {
        // A closed pipe ends quietly, as other command-line tools do; any other failure is told.
        if (output.error() != EPIPE)
            err.write(std::string("farvane: cannot write standard output: ") + std::strerror(output.error()) + "\n");
        return Result{1, std::nullopt};
    }
    return Result{0, run.finalScene()};
}

} // namespace farvane::replay
