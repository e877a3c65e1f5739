// The headless host: runs a replay script against the form on a virtual clock.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "playfield/scene.h"
#include "script/script.h"

namespace farvane::replay {

struct Result {
    int exitStatus = 0;              // 0 when the script ran, 2 when it could not be taken, 1 when
                                     // its output could not be written
    std::optional<Scene> finalScene; // the scene after the last command, when the script ran
};

// The bytes a run reads and writes, without the C++ stream library: the farvane program passes
// its descriptors, so a small build of it (the Windows one) carries no stream code.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes into `into`: how many, 0 at the end, or -1 with errno set.
    virtual std::ptrdiff_t read(char* into, std::size_t size) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Every byte, or false with errno set.
    virtual bool write(std::string_view bytes) = 0;
};

// A file descriptor (standard input, output or error) as a source or a sink.
class DescriptorSource : public ByteSource {
public:
    explicit DescriptorSource(int fd) : descriptor(fd) {}
    std::ptrdiff_t read(char* into, std::size_t size) override;

private:
    int descriptor;
};

class DescriptorSink : public ByteSink {
public:
    explicit DescriptorSink(int fd) : descriptor(fd) {}
    bool write(std::string_view bytes) override;

private:
    int descriptor;
};

// Reads and checks the script named `file` ("-" reads `standardInput`) whole. On failure writes what
// is wrong to `err` ("FILE:LINE: ...", or "farvane: cannot read FILE: reason") and returns none.
std::optional<ReplayScript> loadScript(const std::string& file, ByteSource& standardInput, ByteSink& err);

// Runs the script named `file` ("-" reads `standardInput`): JSON lines go to `out`, errors to `err`.
Result runScript(const std::string& file, ByteSource& standardInput, ByteSink& out, ByteSink& err);

// The same two with streams (tests, benchmarks); `in` is read for "-", std::cin through its descriptor.
std::optional<ReplayScript> loadScript(const std::string& file, std::istream& in, std::ostream& err);
Result runScriptFile(const std::string& file, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace farvane::replay
