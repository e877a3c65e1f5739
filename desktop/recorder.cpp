// Writes the events the window hands to the form as a replay script, one line at a time.
#include "desktop/recorder.h"

#include <cerrno>
#include <cstring>
#include <iostream>

namespace farvane {

namespace {

constexpr std::string_view Heading =
    "# farvane 1.33.7: a game recorded in the window; replay it with farvane --script FILE";

} // namespace

Recorder::Recorder(std::ostream& stream) : out(&stream), name("the record") { writeLine(Heading); }

Recorder::Recorder(std::unique_ptr<std::ofstream> file, std::string path)
    : ownedFile(std::move(file)), out(ownedFile.get()), name(std::move(path))
{
    writeLine(Heading);
}

std::unique_ptr<Recorder> Recorder::openFile(const std::string& path, std::string& error)
{
    errno = 0;
    auto file = std::make_unique<std::ofstream>(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!file->is_open()) {
        error = "cannot write " + path + ": " + (errno != 0 ? std::strerror(errno) : "cannot open the file");
        return nullptr;
    }
    errno = 0;
    std::unique_ptr<Recorder> recorder(new Recorder(std::move(file), path));
    if (!recorder->good()) {
        error = "cannot write " + path + ": " + (errno != 0 ? std::strerror(errno) : "write failed");
        return nullptr;
    }
    return recorder;
}

void Recorder::record(Millis now, std::string_view event)
{
    errno = 0;
    // The clock never runs backwards; a wait of 0 is left out.
    // A script's wait is at most 2147483647 ms, so a longer pause takes several.
    constexpr Millis MaxWait = 2147483647;
    while (now > lastEvent) {
        const Millis step = now - lastEvent < MaxWait ? now - lastEvent : MaxWait;
        writeLine("wait " + std::to_string(step));
        lastEvent += step;
    }
    writeLine(event);
    reportFailure();
}

void Recorder::writeLine(std::string_view line)
{
    *out << line << '\n';
    out->flush();
}

void Recorder::reportFailure()
{
    // The game goes on without its record: a full disk must not end a game in play.
    if (!out->good() && !failureReported) {
        failureReported = true;
        std::cerr << "farvane: cannot write " << name << ": "
                  << (errno != 0 ? std::strerror(errno) : "write failed") << "\n";
    }
}

} // namespace farvane
