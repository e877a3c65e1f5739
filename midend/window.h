// The entry point of a window host, the same for the Qt window and the Windows program: the
// program's main() calls whichever one the build links.
#pragma once

#include <optional>
#include <string>

#include "midend/midend.h"
#include "script/script.h"

namespace farvane {

// Opens the game window and runs it until the program ends; records to `recordPath` if not empty,
// or plays `watch` in it, a script read and checked before, as `start` says.
int runWindow(int& argc, char** argv, const std::string& recordPath, std::optional<ReplayScript> watch = std::nullopt,
              WatchStart start = {});

} // namespace farvane
