// runScriptFile: the replay over C++ streams, for the tests and benchmarks that hold their script
// and output in strings. Its own file, so a program that runs on descriptors links no stream code.
#include <cerrno>
#include <iostream>
#include <unistd.h>

#include "headless/driver.h"

namespace farvane::replay {

namespace {

class StreamSource : public ByteSource {
public:
    explicit StreamSource(std::istream& stream) : in(stream) {}
    std::ptrdiff_t read(char* into, std::size_t size) override
    {
        std::streambuf* buffer = in.rdbuf();
        if (buffer == nullptr) {
            errno = EBADF;
            return -1;
        }
        const std::streamsize got = buffer->sgetn(into, static_cast<std::streamsize>(size));
        return got > 0 ? static_cast<std::ptrdiff_t>(got) : 0;
    }

private:
    std::istream& in;
};

class StreamSink : public ByteSink {
public:
    explicit StreamSink(std::ostream& stream) : out(stream) {}
    bool write(std::string_view bytes) override
    {
        errno = 0;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (out.good())
            return true;
        if (errno == 0)
            errno = EIO;
        return false;
    }

private:
    std::ostream& out;
};

// Calls `run` with `in` as a byte source: std::cin through its descriptor.
template <typename Run>
auto withSource(std::istream& in, Run&& run)
{
    if (in.rdbuf() == std::cin.rdbuf()) {
        DescriptorSource standardInput(STDIN_FILENO);
        return run(standardInput);
    }
    StreamSource standardInput(in);
    return run(standardInput);
}

} // namespace

std::optional<ReplayScript> loadScript(const std::string& file, std::istream& in, std::ostream& err)
{
    StreamSink errSink(err);
    return withSource(in, [&](ByteSource& source) { return loadScript(file, source, errSink); });
}

Result runScriptFile(const std::string& file, std::istream& in, std::ostream& out, std::ostream& err)
{
    StreamSink outSink(out);
    StreamSink errSink(err);
    return withSource(in, [&](ByteSource& source) { return runScript(file, source, outSink, errSink); });
}

} // namespace farvane::replay
