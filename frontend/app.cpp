// Placeholder: the window and the screenshot writer.
#include "frontend/app.h"

#include <iostream>

namespace farvane {

int runWindow(int&, char**, const std::string&)
{
    std::cerr << "farvane: the window is not available yet\n";
    return 1;
}

bool saveScreenshot(int&, char**, const Scene&, const std::string&)
{
    std::cerr << "farvane: screenshots are not available yet\n";
    return false;
}

} // namespace farvane
