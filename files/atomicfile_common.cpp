// What the POSIX and the Windows atomic files share: the parts written against the class alone.
#include "files/atomicfile.h"

#include <cstring>

namespace farvane {

AtomicFile::~AtomicFile() { abandon(); }

bool AtomicFile::fail(int errnum)
{
    reason = std::strerror(errnum);
    // A committed file is the target now: what to do with it is the caller's to say.
    if (!isCommitted)
        abandon();
    return false;
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
