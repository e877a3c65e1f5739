// A window's record file: the lines the mid end records, written to the file as they come.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "files/atomicfile.h"
#include "script/recordsink.h"

namespace farvane {

class Recorder : public RecordSink {
public:
    // Writes to `stream`, which must outlive the recorder; starts with a comment line. (Inline, so
    // only a caller that has a stream links the stream library.)
    explicit Recorder(std::ostream& stream)
        : Recorder([&stream](std::string_view lines) {
              stream.write(lines.data(), static_cast<std::streamsize>(lines.size()));
              return stream.flush().good();
          })
    {}

    // Starts a record of `path`: a temporary file beside it gets the heading; the target itself is
    // untouched until start() (a descriptor of ours, /dev/stdout, gets it at once). On failure
    // returns null and sets `error` to "cannot write PATH: reason".
    static std::unique_ptr<Recorder> openFile(const std::string& path, std::string& error);

    // The game is up: the record takes the target's place, and every later line goes straight to
    // it, so a program killed outright leaves the target holding every line written so far.
    // False (reported on standard error) when that failed: the target is then as it was.
    bool start();

    // Whole lines of the record, written at once: a program killed outright loses none of them.
    void write(std::string_view lines) override;
    // Every second or so: what was written goes to disk, and a record whose file was deleted,
    // moved or replaced meanwhile fails (see good()) instead of going on into nothing.
    void checkpoint() override;
    // The record is done: flushed to disk and closed, a failure told as any other; one that
    // never started leaves the target as it was.
    void close();

    // False once a line could not be written; the first failure is reported on standard error,
    // the file is cut back to its last whole line and nothing more is recorded.
    bool good() const { return !failed; }

private:
    using Lines = std::function<bool(std::string_view lines)>; // false when they could not be written
    explicit Recorder(Lines out);
    Recorder(std::unique_ptr<AtomicFile> file, std::string path);
    void fail(const std::string& reason, bool gameGoesOn = true);

    std::unique_ptr<AtomicFile> file;
    Lines lineOut;    // when not to a file
    std::string name; // for the message when a write fails
    bool failed = false;
    std::uint64_t wholeBytes = 0; // the file's size up to its last whole line
};

} // namespace farvane
