// The Windows entry point: the command line in UTF-16 made UTF-8 for the rest of the program, and
// standard input and output as bytes, so a script and its dumps are the same bytes as on Linux.
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

#include <windows.h>

#include "files/win32text.h"

int farvaneMain(int argc, char** argv); // cli/main.cpp

namespace {

UINT consoleCodePage = 0;

void restoreConsoleCodePage()
{
    ::SetConsoleOutputCP(consoleCodePage);
}

} // namespace

int wmain(int argc, wchar_t** wargv)
{
    // No CR before each LF, no end of input at a Ctrl+Z byte.
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    // A console shows the UTF-8 we write (a file name in a message) as such; the console is the
    // shell's, so its code page goes back as it was when we end.
    consoleCodePage = ::GetConsoleOutputCP();
    if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        std::atexit(restoreConsoleCodePage);

    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(farvane::win32::narrow(wargv[i]));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return farvaneMain(argc, argv.data());
}
