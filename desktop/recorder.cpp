// Writes the events the window hands to the form as a replay script, one whole line at a time.
#include "desktop/recorder.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <unistd.h>

namespace farvane {

namespace {

constexpr std::string_view Heading =
    "# farvane 1.33.7: a game recorded in the window; replay it with farvane --script FILE";

} // namespace

Recorder::Recorder(std::ostream& stream) : out(&stream), name("the record") { write(std::string(Heading) + "\n"); }

Recorder::Recorder(std::unique_ptr<AtomicFile> atomicFile, std::string path)
    : file(std::move(atomicFile)), name(std::move(path))
{
}

std::unique_ptr<Recorder> Recorder::openFile(const std::string& path, std::string& error)
{
    auto file = std::make_unique<AtomicFile>();
    if (!file->open(path) || !file->write(std::string(Heading) + "\n")) {
        error = "cannot write " + path + ": " + file->error();
        return nullptr;
    }
    std::unique_ptr<Recorder> recorder(new Recorder(std::move(file), path));
    recorder->wholeBytes = Heading.size() + 1;
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

void Recorder::appendWaits(std::string& lines, Millis now)
{
    // The clock never runs backwards; a wait of 0 is left out.
    // A script's wait is at most 2147483647 ms, so a longer pause takes several.
    constexpr Millis MaxWait = 2147483647;
    while (now > lastEvent) {
        const Millis step = now - lastEvent < MaxWait ? now - lastEvent : MaxWait;
        lines += "wait " + std::to_string(step) + "\n";
        lastEvent += step;
    }
}

void Recorder::record(Millis now, std::string_view event)
{
    if (failed)
        return;
    std::string lines;
    appendWaits(lines, now);
    lines += event;
    lines += '\n';
    write(lines);
}

void Recorder::waitUntil(Millis now)
{
    if (failed)
        return;
    std::string lines;
    appendWaits(lines, now);
    if (!lines.empty())
        write(lines);
}

void Recorder::write(const std::string& lines)
{
    if (out) {
        *out << lines;
        out->flush();
        if (!out->good())
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

void Recorder::fail(const std::string& reason)
{
    // The game goes on without its record: a full disk must not end a game in play. What part
    // of a line reached the file is cut off, so the record still replays up to where it stops.
    failed = true;
    if (file) {
        if (file->committed() && file->fd() >= 0)
            (void)::ftruncate(file->fd(), static_cast<off_t>(wholeBytes));
        file->abandon();
    }
    std::cerr << "farvane: cannot write " << name << ": " << reason << "; the game goes on unrecorded\n";
}

} // namespace farvane
