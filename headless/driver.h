// The headless host: runs a replay script against the form on a virtual clock.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "playfield/scene.h"
#include "script/script.h"

namespace farvane::replay {

struct Result {
    int exitStatus = 0;              // 0 when the script ran, 2 when it could not be taken, 1 when
                                     // its output could not be written
    std::optional<Scene> finalScene; // the scene after the last command, when the script ran
};

// Reads and checks the script named `file` ("-" reads `in`) whole. On failure writes what is wrong
// to `err` ("FILE:LINE: ...", or "farvane: cannot read FILE: reason") and returns none.
std::optional<ReplayScript> loadScript(const std::string& file, std::istream& in, std::ostream& err);

// Runs the script named `file` ("-" reads `in`): JSON lines go to `out`, errors to `err`.
Result runScriptFile(const std::string& file, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace farvane::replay
