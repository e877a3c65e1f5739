// The window's record file: what ScriptWriter makes, written and flushed event by event.
#include "desktop/recorder.h"

#include <cerrno>
#include <cstring>
#include <iostream>

namespace farvane {

Recorder::Recorder(std::ostream& stream) : out(&stream), name("the record") { write(std::string(ScriptWriter::heading()) + "\n"); }

Recorder::Recorder(std::unique_ptr<std::ofstream> file, std::string path)
    : ownedFile(std::move(file)), out(ownedFile.get()), name(std::move(path))
{
    write(std::string(ScriptWriter::heading()) + "\n");
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

void Recorder::record(Millis now, const Command& event)
{
    errno = 0;
    pending.clear();
    writer.append(pending, now, event);
    write(pending);
    reportFailure();
}

void Recorder::write(std::string_view lines)
{
    *out << lines;
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
