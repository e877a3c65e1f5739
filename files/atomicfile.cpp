// Files the player owns are written whole or not at all.
#include "files/atomicfile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace farvane {

namespace {

std::string describe(const struct stat& info)
{
    if (S_ISDIR(info.st_mode))
        return "is a directory";
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return "is a device, not a regular file";
    if (S_ISFIFO(info.st_mode))
        return "is a pipe, not a regular file";
    if (S_ISSOCK(info.st_mode))
        return "is a socket, not a regular file";
    return "is not a regular file";
}

// The file a rename must replace: through a symbolic link to the file it names, so the link stays.
std::string resolvedTarget(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string resolved = real;
    std::free(real);
    return resolved;
}

} // namespace

std::string checkOutputTarget(const std::string& path, const std::string& scriptPath)
{
    if (path.empty())
        return "the file name is empty";
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    const int statErrno = exists ? 0 : errno;
    if (!scriptPath.empty() && scriptPath != "-") {
        struct stat script {};
        const bool same = path == scriptPath ||
                          (exists && ::stat(scriptPath.c_str(), &script) == 0 && script.st_dev == info.st_dev &&
                           script.st_ino == info.st_ino);
        if (same)
            return "is the script being run";
    }
    if (exists && !S_ISREG(info.st_mode))
        return describe(info);
    if (!exists && statErrno != ENOENT)
        return std::strerror(statErrno);
    return {};
}

int openForReading(const std::string& path)
{
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

bool truncateFile(int fd, std::uint64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t done = ::write(fd, bytes.data(), bytes.size());
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
}

AtomicFile::~AtomicFile() { abandon(); }

bool AtomicFile::fail(int errnum)
{
    reason = std::strerror(errnum);
    // A committed file is the target now: what to do with it is the caller's to say.
    if (!isCommitted)
        abandon();
    return false;
}

bool AtomicFile::open(const std::string& target)
{
    abandon();
    reason.clear();
    isCommitted = false;
    if (std::string problem = checkOutputTarget(target); !problem.empty()) {
        reason = std::move(problem);
        return false;
    }
    targetPath = resolvedTarget(target);
    const std::size_t slash = targetPath.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : targetPath.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? targetPath : targetPath.substr(slash + 1);

    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = directory + "." + base + "." + std::to_string(::getpid()) + "-" +
                                      std::to_string(counter++) + ".tmp";
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            reason = std::strerror(errno);
            return false;
        }
        descriptor = fd;
        temporaryPath = candidate;
        // A file written over keeps its permissions.
        struct stat existing {};
        if (::stat(targetPath.c_str(), &existing) == 0 && ::fchmod(fd, existing.st_mode & 07777) != 0)
            return fail(errno);
        return true;
    }
    reason = std::strerror(EEXIST);
    return false;
}

bool AtomicFile::write(std::string_view bytes)
{
    if (descriptor < 0) {
        reason = std::strerror(EBADF);
        return false;
    }
    if (!writeAll(descriptor, bytes))
        return fail(errno);
    return true;
}

bool AtomicFile::commit()
{
    if (descriptor < 0 || isCommitted) {
        reason = std::strerror(EBADF);
        return false;
    }
    if (::fsync(descriptor) != 0)
        return fail(errno);
    if (::rename(temporaryPath.c_str(), targetPath.c_str()) != 0)
        return fail(errno);
    isCommitted = true;
    temporaryPath.clear();
    // The rename itself is on disk once the directory is.
    const std::size_t slash = targetPath.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : targetPath.substr(0, slash);
    const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void AtomicFile::abandon()
{
    if (descriptor >= 0) {
        ::close(descriptor);
        descriptor = -1;
    }
    if (!isCommitted && !temporaryPath.empty())
        ::unlink(temporaryPath.c_str());
    temporaryPath.clear();
}

bool AtomicFile::close()
{
    if (descriptor < 0)
        return true;
    const int fd = descriptor;
    descriptor = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error)
{
    AtomicFile file;
    if (!file.open(path) || !file.write(bytes) || !file.commit() || !file.close()) {
        error = file.error();
        return false;
    }
    return true;
}

} // namespace farvane
