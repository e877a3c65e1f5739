// The window's record file: the lines a ScriptWriter makes for every event, flushed as they come.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "common/atomicfile.h"
#include "common/scriptwriter.h"

namespace farvane {

class Recorder {
public:
    using Millis = std::uint64_t;

    // Writes to `out`, which must outlive the recorder; starts with a comment line.
    explicit Recorder(std::ostream& out);

    // Starts a record of `path`: a temporary file beside it gets the heading; the target itself is
    // untouched until start() (a descriptor of ours, /dev/stdout, gets it at once). On failure
    // returns null and sets `error` to "cannot write PATH: reason".
    static std::unique_ptr<Recorder> openFile(const std::string& path, std::string& error);

    // The game is up: the record takes the target's place, and every later line goes straight to
    // it, so a program killed outright leaves the target holding every line written so far.
    // False (reported on standard error) when that failed: the target is then as it was.
    bool start();

    // One event handed to the form at virtual time `now`: a "wait" for the time since the
    // previous event (none when it is 0), then the event's own line; written at once.
    void record(Millis now, const Command& event);
    // "wait" lines bringing the record up to `now`: a checkpoint while the game runs, and the
    // record's close when the program ends other than by an event of its own.
    void waitUntil(Millis now);
    // The program ended with the lost-game box up, at virtual time `now` inside the tick that
    // opened it: "close-at-box", then the "wait" that reaches that tick, so a replay stops at the
    // box as the window did. Nothing more is recorded after it.
    void closeAtBox(Millis now);

    // Every second or so: what was written goes to disk, and a record whose file was deleted,
    // moved or replaced meanwhile fails (see good()) instead of going on into nothing.
    void checkpoint();
    // The record is done: flushed to disk and closed, a failure told as any other; one that
    // never started leaves the target as it was.
    void close();

    // False once a line could not be written; the first failure is reported on standard error,
    // the file is cut back to its last whole line and nothing more is recorded.
    bool good() const { return !failed; }

private:
    Recorder(std::unique_ptr<AtomicFile> file, std::string path);
    void write(const std::string& lines);
    void fail(const std::string& reason, bool gameGoesOn = true);

    std::unique_ptr<AtomicFile> file;
    std::ostream* out = nullptr;
    std::string name; // for the message when a write fails
    bool failed = false;
    ScriptWriter writer;
    std::uint64_t wholeBytes = 0; // the file's size up to its last whole line
};

} // namespace farvane
