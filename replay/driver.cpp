// Placeholder: the script runner.
#include "replay/driver.h"

#include <ostream>

namespace farvane::replay {

Result runScriptFile(const std::string&, std::istream&, std::ostream&, std::ostream& err)
{
    err << "farvane: --script is not available yet\n";
    return Result{2, std::nullopt};
}

} // namespace farvane::replay
