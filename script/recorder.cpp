// A window's record file: the mid end's lines, written and flushed as they come.
#include "script/recorder.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "script/script.h"
#include "script/scriptwriter.h"

namespace farvane {

Recorder::Recorder(Lines lines) : lineOut(std::move(lines)), name("the record")
{
    write(std::string(ScriptWriter::heading()) + "\n");
}

Recorder::Recorder(std::unique_ptr<AtomicFile> atomicFile, std::string path)
    : file(std::move(atomicFile)), name(printableName(path))
{}

std::unique_ptr<Recorder> Recorder::openFile(const std::string& path, std::string& error)
{
    auto file = std::make_unique<AtomicFile>();
    file->keepWriting();
    if (!file->open(path) || !file->write(std::string(ScriptWriter::heading()) + "\n")) {
        error = "cannot write " + printableName(path) + ": " + file->error();
        return nullptr;
    }
    std::unique_ptr<Recorder> recorder(new Recorder(std::move(file), path));
    recorder->wholeBytes = ScriptWriter::heading().size() + 1;
    return recorder;
}

bool Recorder::start()
{
    if (!file || failed)
        return !failed;
    if (!file->commit()) {
        // Nothing of the target was touched; the temporary file is gone.
        const std::string reason = file->error();
        fail(reason);
        return false;
    }
    return true;
}

void Recorder::write(std::string_view lines)
{
    if (failed)
        return;
    if (lineOut) {
        if (!lineOut(lines))
            fail("write failed");
        return;
    }
    // One write of whole lines, straight to the file: nothing waits in a buffer of ours.
    if (!file->write(lines)) {
        fail(file->error());
        return;
    }
    wholeBytes += lines.size();
}

void Recorder::checkpoint()
{
    if (file && !failed && file->committed() && !file->sync())
        fail(file->error());
}

void Recorder::close()
{
    if (!file || failed)
        return;
    if (!file->committed())
        file->abandon(); // the game never came up: the target stays as it was
    else if (!(file->sync() && file->close()))
        fail(file->error(), false);
}

void Recorder::fail(const std::string& reason, bool gameGoesOn)
{
    // The game goes on without its record: a full disk must not end a game in play. What part
    // of a line reached the file is cut off, so the record still replays up to where it stops.
    failed = true;
    if (file) {
        // A descriptor of ours is written where it writes, others' lines maybe among ours: not cut.
        const bool ours = file->committed() && !file->writesThrough() && file->fd() >= 0;
        if (ours && !truncateFile(file->fd(), wholeBytes))
            writeAll(STDERR_FILENO,
                     "farvane: cannot cut " + name + " back to its last whole line: " + std::strerror(errno) + "\n");
        file->abandon();
    }
    writeAll(STDERR_FILENO,
             "farvane: cannot write " + name + ": " + reason + (gameGoesOn ? "; the game goes on unrecorded\n" : "\n"));
}

} // namespace farvane
