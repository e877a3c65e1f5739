// What the program's entry point asks of the Qt front end.
#pragma once

#include <string>

#include "playfield/scene.h"

namespace farvane {

// Opens the game window and runs it until the program ends; records to `recordPath` if not empty.
int runWindow(int& argc, char** argv, const std::string& recordPath);

// Draws `scene` as the window shows it and writes it as a PNG, with no display needed.
// On failure writes a message to standard error and returns false.
bool saveScreenshot(int& argc, char** argv, const Scene& scene, const std::string& path);

} // namespace farvane
