// Files the player owns are written whole or not at all: the bytes go to a temporary file beside
// the target, which is renamed over it only once they are all safely on disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace farvane {

// Checks that `path` may be written as an output file: not empty, not `scriptPath` (the script
// being run, when given), and either absent or a regular file (never a device, a directory or a
// pipe). Returns "" when it may, otherwise the reason, e.g. "is a directory".
std::string checkOutputTarget(const std::string& path, const std::string& scriptPath = {});

// A file being written beside its target. Until commit() the target is untouched; a failed or
// abandoned write removes only the temporary file.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile(); // abandons an uncommitted write
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file beside `target` (the target's mode when it exists, otherwise a
    // new file's mode under the umask). On failure returns false and sets error() to the reason.
    bool open(const std::string& target);
    // Writes every byte, retrying short writes and interruptions. A failure before commit()
    // abandons the write; after it the file stays open for the caller to mend or close.
    bool write(std::string_view bytes);
    // Flushes to disk and renames over the target. The descriptor stays open (see fd()), so a
    // caller may go on appending to the file now at the target.
    bool commit();
    // Removes the temporary file if it was not committed, and closes the descriptor.
    void abandon();
    // Closes the descriptor of a committed file; false (with error()) when the close reports a failure.
    bool close();

    int fd() const { return descriptor; }
    bool committed() const { return isCommitted; }
    const std::string& error() const { return reason; }

private:
    bool fail(int errnum);

    std::string targetPath;
    std::string temporaryPath;
    std::string reason;
    int descriptor = -1;
    bool isCommitted = false;
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
