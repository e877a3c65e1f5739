// Placeholder: runs the game window.
#include <iostream>

#include "frontend/app.h"

namespace farvane {

int runWindow(int&, char**, const std::string&)
{
    std::cerr << "farvane: the window is not available yet\n";
    return 1;
}

} // namespace farvane
