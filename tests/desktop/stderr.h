// What a piece of code writes to descriptor 2, where the program's messages go.
#pragma once

#include <functional>
#include <string>
#include <unistd.h>

namespace farvane {

// Runs `run` with descriptor 2 caught in a pipe (which no file size limit stops) and returns what
// it wrote there, up to 64 KiB.
inline std::string capturedStderr(const std::function<void()>& run)
{
    int caught[2];
    if (::pipe(caught) != 0)
        return "(no pipe)";
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(caught[1], STDERR_FILENO);
    run();
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(caught[1]);
    std::string said;
    char bytes[4096];
    for (ssize_t got; (got = ::read(caught[0], bytes, sizeof bytes)) > 0;)
        said.append(bytes, static_cast<std::size_t>(got));
    ::close(caught[0]);
    return said;
}

} // namespace farvane
