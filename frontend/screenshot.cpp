// Placeholder: writes a screenshot of the scene.
#include <iostream>

#include "frontend/app.h"

namespace farvane {

bool saveScreenshot(int&, char**, const Scene&, const std::string&)
{
    std::cerr << "farvane: screenshots are not available yet\n";
    return false;
}

} // namespace farvane
