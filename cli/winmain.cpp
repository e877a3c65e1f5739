// The Windows entry point: the command line in UTF-16 made UTF-8 for the rest of the program, and
// standard input and output as bytes, so a script and its dumps are the same bytes as on Linux.
// farvane.exe is a GUI program, so Explorer opens no console for it; started from a console (by
// the farvane.com launcher a shell finds first, or as farvane.exe itself), it takes its parent's
// console for its messages, its dumps and Ctrl+C.
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

void restoreConsoleCodePage() { ::SetConsoleOutputCP(consoleCodePage); }

// A standard descriptor the C library found closed at start-up (a GUI program gets none from a
// console) takes the console's handle, once attached; handles given by the parent stay as they are.
void takeConsoleHandle(int fd, DWORD which)
{
    if (::_get_osfhandle(fd) >= 0)
        return;
    const HANDLE handle = ::GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    HANDLE own = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return;
    const int opened = ::_open_osfhandle(reinterpret_cast<intptr_t>(own), fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (opened < 0) {
        ::CloseHandle(own);
    } else if (opened != fd) {
        ::_dup2(opened, fd);
        ::_close(opened);
    }
}

} // namespace

int wmain(int argc, wchar_t** wargv)
{
    if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
        takeConsoleHandle(0, STD_INPUT_HANDLE);
        takeConsoleHandle(1, STD_OUTPUT_HANDLE);
        takeConsoleHandle(2, STD_ERROR_HANDLE);
    }
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
