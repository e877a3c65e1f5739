// farvane.com: the console face of the GUI program farvane.exe beside it. A shell looks for .com
// before .exe, so `farvane --script FILE` typed in cmd or PowerShell runs this: it starts
// farvane.exe with the same arguments and standard handles, on this console, waits for it and
// ends with its exit status. Ctrl+C reaches both; farvane.exe handles it (closing a record) and
// this waits for it to end.
#include <string>

#include <windows.h>

namespace {

BOOL WINAPI outlive(DWORD) { return TRUE; } // the program beside us decides how to end

// The command line after the program's own name, as the shell gave it (quotes and all).
const wchar_t* argumentsOf(const wchar_t* line)
{
    bool quoted = false;
    for (; *line != L'\0'; ++line) {
        if (*line == L'"')
            quoted = !quoted;
        else if (!quoted && (*line == L' ' || *line == L'\t'))
            break;
    }
    return line;
}

void say(const std::wstring& text)
{
    const std::string bytes = [&] {
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(size), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
        return utf8;
    }();
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// A standard handle of ours as farvane.exe may inherit it (a handle made without inheritance
// would reach it as a number that means nothing there).
HANDLE inheritable(DWORD which)
{
    const HANDLE handle = ::GetStdHandle(which);
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return handle;
    return copy;
}

} // namespace

int wmain()
{
    // farvane.exe in the same folder as this program, whatever the folder's length.
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
        if (length == 0) {
            say(L"farvane: cannot find its own folder\n");
            return 2;
        }
        if (length < program.size()) {
            program.resize(length);
            break;
        }
        program.resize(program.size() * 2);
    }
    const std::size_t dot = program.find_last_of(L'.');
    program = (dot == std::wstring::npos || program.find_first_of(L"\\/", dot) != std::wstring::npos ? program : program.substr(0, dot)) +
              L".exe";

    std::wstring line = L"\"" + program + L"\"" + argumentsOf(::GetCommandLineW());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);
    // Set before the start, so a Ctrl+C at once cannot end this launcher and leave the game behind.
    ::SetConsoleCtrlHandler(outlive, TRUE);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        const DWORD error = ::GetLastError();
        say(L"farvane: cannot start " + program + L" (Windows error " + std::to_wstring(error) + L")\n");
        return 2;
    }
    ::CloseHandle(started.hThread);
    ::WaitForSingleObject(started.hProcess, INFINITE);
    DWORD status = 1;
    ::GetExitCodeProcess(started.hProcess, &status);
    ::CloseHandle(started.hProcess);
    return static_cast<int>(status);
}
