// The window's record file: the lines a ScriptWriter makes for every event, flushed as they come.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "common/scriptwriter.h"

namespace farvane {

class Recorder {
public:
    using Millis = std::uint64_t;

    // Writes to `out`, which must outlive the recorder; starts with a comment line.
    explicit Recorder(std::ostream& out);

    // Opens `path` for writing; on failure returns null and sets `error` to
    // "cannot write PATH: reason".
    static std::unique_ptr<Recorder> openFile(const std::string& path, std::string& error);

    // One event handed to the form at virtual time `now`, with the wait before it; flushed at once.
    void record(Millis now, const Command& event);

    // False once a line could not be written; the first failure is reported on standard error.
    bool good() const { return out->good(); }

private:
    Recorder(std::unique_ptr<std::ofstream> file, std::string path);
    void write(std::string_view lines);
    void reportFailure();

    std::unique_ptr<std::ofstream> ownedFile;
    std::ostream* out;
    std::string name; // for the message when a write fails
    bool failureReported = false;
    ScriptWriter writer;
    std::string pending;
};

} // namespace farvane
