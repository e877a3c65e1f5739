// What the program's entry point asks of the Qt front end.
#pragma once

#include <string>


namespace farvane {

// Opens the game window and runs it until the program ends; records to `recordPath` if not empty.
int runWindow(int& argc, char** argv, const std::string& recordPath);

} // namespace farvane
