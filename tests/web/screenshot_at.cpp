// The page's tests draw at any device pixel ratio the viewport makes, also below 1 (a phone at
// ratio 1) and above 4 (a large screen at ratio 3), outside what --scale takes: this draws a
// script's final scene at such a ratio with the same rasterizer, so every canvas has its reference.
// Usage: screenshot_at SCRIPT OUT.png RATIO
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/screenshot.h"
#include "headless/driver.h"

int main(int argc, char** argv)
{
    char* end = nullptr;
    const double ratio = argc == 4 ? std::strtod(argv[3], &end) : 0;
    if (argc != 4 || end == argv[3] || *end != '\0' || !(ratio > 0 && ratio <= 16)) {
        std::cerr << "usage: screenshot_at SCRIPT OUT.png RATIO (0 < RATIO <= 16)\n";
        return 2;
    }
    std::ifstream in;
    std::ostringstream dumps;
    const farvane::replay::Result result = farvane::replay::runScriptFile(argv[1], in, dumps, std::cerr);
    if (!result.finalScene)
        return 2;
    return farvane::saveScreenshot(*result.finalScene, argv[2], ratio) ? 0 : 1;
}
