// What the program's entry point asks of the Windows window host.
#pragma once

#include <optional>
#include <string>

#include "script/script.h"

namespace farvane {

// Opens the game window and runs it until the program ends; records to `recordPath` if not empty,
// or plays `watch` in it, a script read and checked before. The same call as the Qt host's.
int runWindow(int& argc, char** argv, const std::string& recordPath, std::optional<ReplayScript> watch = std::nullopt);

} // namespace farvane
