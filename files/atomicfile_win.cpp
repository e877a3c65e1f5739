// Files the player owns are written whole or not at all: the Windows build of files/atomicfile.h.
// The temporary file beside the target is opened so that it may be renamed while open, and takes
// the target's place through ReplaceFileW (which keeps the target's attributes and permissions)
// or, for a new target, MoveFileExW; a failure leaves the target as it was.
#include "files/atomicfile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <io.h>

#include <windows.h>

#include "files/win32text.h"

namespace farvane {

namespace {

// What is at `path`, opened for no more than asking about it; INVALID_HANDLE_VALUE when nothing.
HANDLE query(const std::string& path)
{
    return ::CreateFileW(win32::filePath(path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool sameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

bool exists(const std::string& path)
{
    return ::GetFileAttributesW(win32::filePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The folder part of `path` with its separator ("" for a bare name).
std::string folderPart(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\:");
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Why no new file may be made in the folder `path` goes into: "" when one may. Asked of the
// system itself, by making a file there that goes again when closed, as the folder's permissions
// are more than an attribute can tell.
std::string folderWritable(const std::string& path)
{
    const std::string folder = folderPart(path);
    // Asked without its last separator, so a file where the folder should be says so; a drive's
    // root ("C:\\", "\\") keeps it.
    std::string asked = folder.empty() ? "." : folder;
    if (asked.size() > 1 && (asked.back() == '/' || asked.back() == '\\') && asked[asked.size() - 2] != ':')
        asked.pop_back();
    const DWORD attributes = ::GetFileAttributesW(win32::filePath(asked).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return win32::errorText(::GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::strerror(ENOTDIR);
    const std::string probe = folder + ".farvane-" + std::to_string(::GetCurrentProcessId()) + "-probe.tmp";
    const HANDLE handle = ::CreateFileW(win32::filePath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_EXISTS ? std::string() : win32::errorText(error);
    }
    ::CloseHandle(handle);
    return {};
}

// Why the regular file at `path` may not be written over: "" when it may. A read-only file is
// refused as on Linux, not replaced with its attribute cleared.
std::string fileWritable(const std::string& path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return std::strerror(EACCES);
    const HANDLE handle = ::CreateFileW(win32::filePath(path).c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return win32::errorText(::GetLastError());
    ::CloseHandle(handle);
    return {};
}

} // namespace

void guardStandardDescriptors()
{
    // A program started with a standard handle closed gets "NUL" there, the wrong way round, so
    // no file of ours takes descriptor 0, 1 or 2 and using one still fails.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::_get_osfhandle(fd) != -1)
            continue;
        const int opened = ::_wopen(L"NUL", (fd == 0 ? _O_WRONLY : _O_RDONLY) | _O_BINARY | _O_NOINHERIT);
        if (opened >= 0 && opened != fd) {
            ::_dup2(opened, fd);
            ::_close(opened);
        }
    }
}

std::string checkOutputTarget(const std::string& path, const std::string& scriptPath)
{
    if (path.empty())
        return "the file name is empty";
    const HANDLE target = query(path);
    if (target == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A file still to be made, in a folder that takes it: a missing folder, or one that may
        // not be written, is told before anything runs.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return scriptPath == path ? "is the script being run" : folderWritable(path);
        return win32::errorText(error);
    }
    std::string problem;
    if (!scriptPath.empty() && scriptPath != "-") {
        const HANDLE script = query(scriptPath);
        if (path == scriptPath || (script != INVALID_HANDLE_VALUE && sameFile(target, script)))
            problem = "is the script being run";
        if (script != INVALID_HANDLE_VALUE)
            ::CloseHandle(script);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (problem.empty()) {
        const DWORD type = ::GetFileType(target);
        if (type == FILE_TYPE_CHAR)
            problem = "is a device, not a regular file";
        else if (type == FILE_TYPE_PIPE)
            problem = "is a pipe, not a regular file";
        else if (type != FILE_TYPE_DISK)
            problem = "is not a regular file";
        else if (!::GetFileInformationByHandle(target, &info))
            problem = win32::errorText(::GetLastError());
        else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            problem = "is a directory";
    }
    ::CloseHandle(target);
    if (problem.empty())
        problem = folderWritable(path);
    if (problem.empty())
        problem = fileWritable(path, info.dwFileAttributes);
    return problem;
}

int openForReading(const std::string& path)
{
    const std::wstring name = win32::filePath(path);
    const int fd = ::_wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    // A folder cannot be opened as a file here; told as Linux tells it on reading one.
    if (fd < 0 && errno == EACCES) {
        const DWORD attributes = ::GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            errno = EISDIR;
    }
    return fd;
}

bool truncateFile(int fd, std::uint64_t size)
{
    if (size > static_cast<std::uint64_t>(INT64_MAX)) {
        errno = EINVAL;
        return false;
    }
    const errno_t failed = ::_chsize_s(fd, static_cast<__int64>(size));
    if (failed != 0)
        errno = failed;
    return failed == 0;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), INT_MAX / 2));
        const int done = ::_write(fd, bytes.data(), piece);
        if (done < 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
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
    targetPath = target;
    const std::string directory = folderPart(targetPath);

    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Short, so that it fits beside a target whose own name is as long as names may be.
        const std::string candidate = directory + ".farvane-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                      std::to_string(counter++) + ".tmp";
        // Shared for deleting, so it can take the target's name while we still write to it.
        const HANDLE handle = ::CreateFileW(win32::filePath(candidate).c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            reason = win32::errorText(error);
            return false;
        }
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
        if (fd < 0) {
            ::CloseHandle(handle);
            ::DeleteFileW(win32::filePath(candidate).c_str());
            reason = std::strerror(EMFILE);
            return false;
        }
        descriptor = fd;
        temporaryPath = candidate;
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
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    if (!::FlushFileBuffers(handle)) {
        reason = win32::errorText(::GetLastError());
        abandon();
        return false;
    }
    const std::wstring from = win32::filePath(temporaryPath);
    const std::wstring to = win32::filePath(targetPath);
    // ReplaceFileW keeps the target's attributes and permissions; where it cannot take a file that
    // is open (some file systems), a plain rename over the target does. Either leaves the target
    // whole when it fails.
    bool moved = exists(targetPath) &&
                 ::ReplaceFileW(to.c_str(), from.c_str(), nullptr,
                                REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr);
    if (!moved)
        moved = ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!moved) {
        reason = win32::errorText(::GetLastError());
        abandon();
        return false;
    }
    isCommitted = true;
    temporaryPath.clear();
    return true;
}

bool AtomicFile::sync()
{
    if (descriptor < 0 || !isCommitted) {
        reason = std::strerror(EBADF);
        return false;
    }
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    if (!::FlushFileBuffers(handle)) {
        reason = win32::errorText(::GetLastError());
        return false;
    }
    // Deleted, moved or replaced meanwhile: the lines would go on into a file nobody sees.
    const HANDLE target = query(targetPath);
    // A file index is not dependable on every file system (nor under Wine): a file of another size
    // at the target's name is taken as a replacement.
    LARGE_INTEGER ours{}, there{};
    const bool same = target != INVALID_HANDLE_VALUE && ::GetFileSizeEx(handle, &ours) &&
                      ::GetFileSizeEx(target, &there) && ours.QuadPart == there.QuadPart;
    if (target != INVALID_HANDLE_VALUE)
        ::CloseHandle(target);
    if (!same) {
        reason = "the file was deleted, moved or replaced while it was being written";
        return false;
    }
    return true;
}

void AtomicFile::abandon()
{
    if (descriptor >= 0) {
        ::_close(descriptor);
        descriptor = -1;
    }
    if (!isCommitted && !temporaryPath.empty())
        ::DeleteFileW(win32::filePath(temporaryPath).c_str());
    temporaryPath.clear();
}

bool AtomicFile::close()
{
    if (descriptor < 0)
        return true;
    const int fd = descriptor;
    descriptor = -1;
    if (::_close(fd) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace farvane
