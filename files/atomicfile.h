// Files the player owns are written whole or not at all: the bytes go to a temporary file beside
// the target, which is renamed over it only once they are all safely on disk.
#pragma once

#include <cstdint>
#include <signal.h>
#include <string>
#include <string_view>

namespace farvane {

// Opens each of the descriptors 0 to 2 that is closed on /dev/null, the wrong way round (standard
// input for writing, the others for reading), so no file of ours can take a standard number and
// using one still fails as on a closed descriptor. Called first thing in main.
void guardStandardDescriptors();

// Checks that `path` may be written as an output file, as `cp` would find it: not empty, not the
// script being run (`scriptPath`, when given; "-" is standard input), either absent in a folder
// the user may write in or a regular file the user may write and owns, and not a file another
// game is recording. A descriptor of ours named as one (/dev/stdout, /dev/fd/N) must be open for
// writing on a regular file; with a script given, standard output is the replay's and refused.
// Returns "" when it may, otherwise the reason, e.g. "is a directory".
std::string checkOutputTarget(const std::string& path, const std::string& scriptPath = {});

// A file being written beside its target. Until commit() the target is untouched; a failed or
// abandoned write removes only the temporary file, and while the temporary file exists SIGINT,
// SIGTERM and SIGHUP wait, so no signal leaves it behind. A target that is a descriptor of ours
// (/dev/stdout, /dev/fd/N) is written through it instead, where that descriptor writes.
// A file that goes on growing after commit() (a recording) holds, while it is open, a lock naming
// this process: no other game replaces it. A file written whole (a screenshot) holds none, so two
// of those to one target both succeed, the later one last.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile(); // abandons an uncommitted write
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file beside `target` (the target's mode when it exists, otherwise a
    // new file's mode under the umask). On failure returns false and sets error() to the reason.
    bool open(const std::string& target);
    // Called before open() for a file that is written on after commit(): it then holds the lock.
    void keepWriting() { growing = true; }
    // Writes every byte, retrying short writes and interruptions. A failure before commit()
    // abandons the write; after it the file stays open for the caller to mend or close.
    bool write(std::string_view bytes);
    // Flushes to disk and renames over the target. The descriptor stays open (see fd()), so a
    // caller may go on appending to the file now at the target.
    bool commit();
    // For a committed file: flushes what was written since, and checks the file is still the
    // target; false (with error()) when it was deleted, moved or replaced, or cannot be flushed.
    bool sync();
    // Removes the temporary file if it was not committed, and closes the descriptor.
    void abandon();
    // Closes the descriptor of a committed file; false (with error()) when the close reports a failure.
    bool close();

    int fd() const { return descriptor; }
    bool committed() const { return isCommitted; }
    // True when the target is a descriptor of ours, written where it writes: not ours to cut.
    bool writesThrough() const { return through; }
    const std::string& error() const { return reason; }

private:
    bool fail(int errnum);
#ifndef _WIN32
    void holdSignals();
    void releaseSignals();
#endif

    std::string targetPath;
    std::string temporaryPath;
    std::string reason;
    int descriptor = -1;
    bool isCommitted = false;
    bool through = false;
    bool unsynced = false;
    bool growing = false;
#ifndef _WIN32
    bool holding = false;
    sigset_t heldMask{}; // the signal mask before holdSignals()
#endif
};

// Writes `bytes` to `path` through an AtomicFile. On failure returns false with `error` set to
// the reason; whatever was at `path` is then as it was.
bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

// Opens `path` (UTF-8 on every system) for reading: a descriptor, or -1 with errno set.
int openForReading(const std::string& path);

// Cuts the file open as `fd` to `size` bytes; false with errno set on failure.
bool truncateFile(int fd, std::uint64_t size);

// Writes every byte to `fd`, retrying short writes and interruptions; false with errno set on failure.
bool writeAll(int fd, std::string_view bytes);

} // namespace farvane
