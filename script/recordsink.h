// Where a recording goes: a file for the window, a string for the page.
#pragma once

#include <string>
#include <string_view>

namespace farvane {

// Where a recording goes: script lines, whole and in order, each ending with '\n'. A sink opens
// with the heading line (ScriptWriter::heading()) itself; the mid end writes what follows it.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    virtual void write(std::string_view lines) = 0;
};

// A recording kept in memory (the page hands it out as a download).
class StringSink : public RecordSink {
public:
    StringSink();
    void write(std::string_view lines) override { recorded += lines; }
    const std::string& text() const { return recorded; }

private:
    std::string recorded;
};

} // namespace farvane
