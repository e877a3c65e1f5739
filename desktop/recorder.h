// Writes the events the window hands to the form as a replay script, one line at a time.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace farvane {

class Recorder {
public:
    using Millis = std::uint64_t;

    // Writes to `out`, which must outlive the recorder; starts with a comment line.
    explicit Recorder(std::ostream& out);

    // Opens `path` for writing; on failure returns null and sets `error` to
    // "cannot write PATH: reason".
    static std::unique_ptr<Recorder> openFile(const std::string& path, std::string& error);

    // One event handed to the form at virtual time `now`: a "wait" for the time since the
    // previous event (none when it is 0), then the event's own line; both flushed at once.
    void record(Millis now, std::string_view event);

    // False once a line could not be written; the first failure is reported on standard error.
    bool good() const { return out->good(); }

private:
    Recorder(std::unique_ptr<std::ofstream> file, std::string path);
    void writeLine(std::string_view line);
    void reportFailure();

    std::unique_ptr<std::ofstream> ownedFile;
    std::ostream* out;
    std::string name; // for the message when a write fails
    bool failureReported = false;
    Millis lastEvent = 0;
};

} // namespace farvane
