// Files the player owns are written whole or not at all.
#include "files/atomicfile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace farvane {

namespace {

constexpr int MaxLinks = 40; // as the kernel follows them

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

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The folder part of `path` with its slash ("" for a bare name), and the folder itself to ask about.
std::string folderPart(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string folderOf(const std::string& path)
{
    const std::string folder = folderPart(path);
    return folder.empty() ? "." : folder.size() == 1 ? "/" : folder.substr(0, folder.size() - 1);
}

// The descriptor a name stands for: /dev/stdin, /dev/stdout, /dev/stderr, /dev/fd/N or
// /proc/self/fd/N (also by this process's number); -1 for any other name.
int descriptorNamed(const std::string& name)
{
    constexpr const char* Standard[] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
    for (int fd = 0; fd <= 2; ++fd) {
        if (name == Standard[fd])
            return fd;
    }
    for (const std::string& prefix :
         {std::string("/dev/fd/"), std::string("/proc/self/fd/"), "/proc/" + std::to_string(::getpid()) + "/fd/"}) {
        if (name.size() <= prefix.size() || name.size() > prefix.size() + 9 || !name.starts_with(prefix))
            continue;
        int fd = 0;
        for (std::size_t i = prefix.size(); i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9')
                return -1;
            fd = fd * 10 + (name[i] - '0');
        }
        return fd;
    }
    return -1;
}

// What a symbolic link says, resolved against the folder holding the link; "" when unreadable.
std::string linkTarget(const std::string& link)
{
    char text[PATH_MAX];
    const ssize_t size = ::readlink(link.c_str(), text, sizeof text);
    if (size <= 0 || static_cast<std::size_t>(size) >= sizeof text)
        return {};
    const std::string target(text, static_cast<std::size_t>(size));
    return target.front() == '/' ? target : folderPart(link) + target;
}

constexpr int NotOpen = -2;

// The descriptor of ours that `path` is: one named by it, also through symbolic links (NotOpen
// when that one is closed), or standard output or error when `path` is the regular file they
// write to. -1 when it is none.
int heldDescriptor(const std::string& path)
{
    std::string name = path;
    for (int hop = 0; hop <= MaxLinks && !name.empty(); ++hop) {
        if (const int fd = descriptorNamed(name); fd >= 0)
            return ::fcntl(fd, F_GETFD) >= 0 ? fd : NotOpen;
        struct stat info {};
        if (::lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            break;
        name = linkTarget(name);
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat held {};
        if (::fstat(fd, &held) == 0 && sameFile(held, info))
            return fd;
    }
    return -1;
}

// The file a rename must replace: through symbolic links to the file they name, so the links stay,
// also when that file does not exist yet.
std::string resolvedTarget(const std::string& path)
{
    std::string name = path;
    for (int hop = 0; hop < MaxLinks; ++hop) {
        struct stat info {};
        if (::lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return name;
        std::string next = linkTarget(name);
        if (next.empty())
            return name;
        name = std::move(next);
    }
    return name;
}

// The process holding a lock on the file open at `fd` that a writer of ours would take: 0 when
// there is none, or when it cannot be told. (These locks belong to the process and go with any
// close of the file: nothing else of ours opens a file being written.)
pid_t lockHolder(int fd)
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_GETLK, &lock) != 0 || lock.l_type == F_UNLCK)
        return 0;
    return lock.l_pid > 0 ? lock.l_pid : 0;
}

std::string recordedBy(pid_t holder)
{
    return "another game (process " + std::to_string(holder) + ") is recording to it";
}

// A write lock on the whole file; false when another process holds one, `holder` then naming it.
bool lockWhole(int fd, pid_t& holder)
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    holder = 0;
    if (::fcntl(fd, F_SETLK, &lock) == 0 || (errno != EAGAIN && errno != EACCES))
        return true; // taken, or a file system without locks: nothing to keep out then
    holder = lockHolder(fd);
    return holder == 0;
}

// Why the regular file `info` describes may not be written though a standard descriptor has it:
// "" when it may.
std::string standardClash(const struct stat& info, const std::string& scriptPath)
{
    for (int fd = 0; fd <= 2; ++fd) {
        struct stat held {};
        if (::fstat(fd, &held) != 0 || !sameFile(held, info))
            continue;
        if (fd == STDIN_FILENO && scriptPath == "-")
            return "is the script being run";
        if (fd == STDOUT_FILENO && !scriptPath.empty())
            return "is standard output, where the replay writes its lines";
        if (fd == STDERR_FILENO)
            return "is standard error, where messages go";
    }
    return {};
}

// Why a file may not be made at `target` (no file there yet) or written over (`existing`), as the
// user's own: "" when it may.
std::string writable(const std::string& target, const struct stat* existing)
{
    const std::string folder = folderOf(target);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        return std::strerror(errno);
    if (!S_ISDIR(info.st_mode))
        return std::strerror(ENOTDIR);
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return std::strerror(errno);
    if (existing == nullptr)
        return {};
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return std::strerror(errno);
    // A rename would hand another user's file over to this one.
    if (::geteuid() != 0 && existing->st_uid != ::geteuid())
        return "belongs to another user";
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    const pid_t holder = lockHolder(fd);
    ::close(fd);
    return holder != 0 ? recordedBy(holder) : std::string();
}

} // namespace

void guardStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lowest free number is this one, as every lower one is open.
        if (::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) != fd)
            std::_Exit(2); // no /dev/null: refuse to run rather than write a file into a standard number
    }
}

std::string checkOutputTarget(const std::string& path, const std::string& scriptPath)
{
    if (path.empty())
        return "the file name is empty";
    const int held = heldDescriptor(path);
    if (held == NotOpen)
        return std::strerror(EBADF);
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    const int statErrno = exists ? 0 : errno;
    if (!scriptPath.empty() && scriptPath != "-") {
        struct stat script {};
        const bool same =
            path == scriptPath || (exists && ::stat(scriptPath.c_str(), &script) == 0 && sameFile(script, info));
        if (same)
            return "is the script being run";
    }
    if (exists && !S_ISREG(info.st_mode))
        return describe(info);
    if (!exists && statErrno != ENOENT)
        return std::strerror(statErrno);
    if (exists) {
        if (std::string clash = standardClash(info, scriptPath); !clash.empty())
            return clash;
    }
    if (held >= 0)
        return (::fcntl(held, F_GETFL) & O_ACCMODE) == O_RDONLY ? "is open for reading only" : "";
    const std::string target = resolvedTarget(path);
    return writable(target, exists ? &info : nullptr);
}

int openForReading(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

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

bool AtomicFile::open(const std::string& target)
{
    abandon();
    reason.clear();
    isCommitted = false;
    through = false;
    if (std::string problem = checkOutputTarget(target); !problem.empty()) {
        reason = std::move(problem);
        return false;
    }
    if (const int held = heldDescriptor(target); held >= 0) {
        descriptor = ::fcntl(held, F_DUPFD_CLOEXEC, 3);
        if (descriptor < 0)
            return fail(errno);
        through = true;
        return true;
    }
    targetPath = resolvedTarget(target);
    // The folder by its real name: a link to it pointed elsewhere later does not part the file
    // open here from its target.
    if (char* real = ::realpath(folderOf(targetPath).c_str(), nullptr)) {
        std::string folderName = real;
        std::free(real);
        if (folderName.back() != '/')
            folderName += '/';
        targetPath = folderName + targetPath.substr(folderPart(targetPath).size());
    }
    const std::string folder = folderPart(targetPath);

    // A short name, whatever the target's length: a target may have the longest name a folder allows.
    static std::atomic<unsigned> counter{0};
    holdSignals();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::uint64_t mix = (static_cast<std::uint64_t>(::getpid()) << 32 | counter++) * 0x9e3779b97f4a7c15ULL ^
                            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        std::string candidate = folder + ".farvane-";
        for (int i = 0; i < 6; ++i, mix /= 36)
            candidate += "0123456789abcdefghijklmnopqrstuvwxyz"[mix % 36];
        candidate += ".tmp";
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return fail(errno);
        }
        descriptor = fd;
        temporaryPath = std::move(candidate);
        pid_t holder = 0;
        if (growing)
            lockWhole(fd, holder); // a new file of ours: nobody else holds it
        // A file written over keeps its permissions, and its owner and group where this user may
        // give them (the owner only the superuser, who would otherwise take every file over).
        struct stat existing {};
        if (::stat(targetPath.c_str(), &existing) == 0) {
            [[maybe_unused]] const int kept =
                ::fchown(fd, ::geteuid() == 0 ? existing.st_uid : static_cast<uid_t>(-1), existing.st_gid);
            if (::fchmod(fd, existing.st_mode & 07777) != 0)
                return fail(errno);
        }
        return true;
    }
    return fail(EEXIST);
}

bool AtomicFile::write(std::string_view bytes)
{
    if (descriptor < 0) {
        reason = std::strerror(EBADF);
        return false;
    }
    if (!writeAll(descriptor, bytes))
        return fail(errno);
    unsynced = true;
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
    unsynced = false;
    if (through) {
        isCommitted = true;
        return true;
    }
    // One writer a file: the file now at the target is kept while another game records to it.
    // A recording holds its lock until the rename is done, so two starting at once cannot both pass.
    const int old = ::open(targetPath.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (old < 0 && errno != ENOENT)
        return fail(errno);
    // A file written whole only asks: taking the lock, two screenshots at once could each find
    // the other's.
    pid_t holder = 0;
    if (old >= 0 && (growing ? !lockWhole(old, holder) : (holder = lockHolder(old)) != 0)) {
        ::close(old);
        abandon();
        reason = recordedBy(holder);
        return false;
    }
    const bool renamed = ::rename(temporaryPath.c_str(), targetPath.c_str()) == 0;
    const int renameErrno = errno;
    if (old >= 0)
        ::close(old); // drops the old file's lock only: the new one is another file
    if (!renamed)
        return fail(renameErrno);
    isCommitted = true;
    temporaryPath.clear();
    releaseSignals();
    // The rename itself is on disk once the directory is.
    const int dirFd = ::open(folderOf(targetPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool AtomicFile::sync()
{
    if (descriptor < 0 || !isCommitted) {
        reason = std::strerror(EBADF);
        return false;
    }
    if (unsynced && ::fsync(descriptor) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    unsynced = false;
    struct stat own {
    }, named{};
    if (::fstat(descriptor, &own) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (own.st_nlink == 0 || (!through && (::stat(targetPath.c_str(), &named) != 0 || !sameFile(own, named)))) {
        reason = "the file was deleted, moved or replaced while it was being written";
        return false;
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
    releaseSignals();
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

void AtomicFile::holdSignals()
{
    if (holding)
        return;
    sigset_t stops;
    sigemptyset(&stops);
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stops, number);
    holding = ::pthread_sigmask(SIG_BLOCK, &stops, &heldMask) == 0;
}

void AtomicFile::releaseSignals()
{
    // A signal that came meanwhile is handled now, with the temporary file gone or in place.
    if (holding)
        ::pthread_sigmask(SIG_SETMASK, &heldMask, nullptr);
    holding = false;
}

} // namespace farvane
