// farvane.com: the console face of the GUI program farvane.exe beside it. A shell looks for .com
// before .exe, so `farvane --script FILE` typed in cmd or PowerShell runs this: it starts
// farvane.exe with the same arguments and standard handles, on this console, waits for it and
// ends with its exit status. Ctrl+C reaches both; farvane.exe handles it (closing a record) and
// this waits for it to end.
#include <cstdio>
#include <cstring>
#include <cwchar>

#include <windows.h>

// Plain C strings and the process heap: no C++ library is linked in, so this stays small.
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

int fail(const char* what, DWORD error)
{
    char text[200];
    const int length = std::snprintf(text, sizeof text, "farvane: cannot %s (Windows error %lu)\n", what, error);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
    return 2;
}

wchar_t* allocate(std::size_t characters)
{
    return static_cast<wchar_t*>(::HeapAlloc(::GetProcessHeap(), 0, characters * sizeof(wchar_t)));
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
    // farvane.exe in the same folder as this program, whatever the folder's length: our own name
    // with .exe for its ending.
    DWORD capacity = MAX_PATH;
    wchar_t* program = nullptr;
    for (;;) {
        program = allocate(capacity + 5);
        if (program == nullptr)
            return fail("find its own folder", ERROR_NOT_ENOUGH_MEMORY);
        const DWORD length = ::GetModuleFileNameW(nullptr, program, capacity);
        if (length == 0)
            return fail("find its own folder", ::GetLastError());
        if (length < capacity)
            break;
        ::HeapFree(::GetProcessHeap(), 0, program);
        capacity *= 2;
    }
    wchar_t* name = std::wcsrchr(program, L'\\');
    wchar_t* dot = std::wcsrchr(name != nullptr ? name : program, L'.');
    std::wcscpy(dot != nullptr ? dot : program + std::wcslen(program), L".exe");

    const wchar_t* arguments = argumentsOf(::GetCommandLineW());
    wchar_t* line = allocate(std::wcslen(program) + std::wcslen(arguments) + 3);
    if (line == nullptr)
        return fail("start farvane.exe", ERROR_NOT_ENOUGH_MEMORY);
    std::wcscpy(line, L"\"");
    std::wcscat(line, program);
    std::wcscat(line, L"\"");
    std::wcscat(line, arguments);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);
    // Set before the start, so a Ctrl+C at once cannot end this launcher and leave the game behind.
    ::SetConsoleCtrlHandler(outlive, TRUE);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
        return fail("start farvane.exe beside farvane.com", ::GetLastError());
    ::CloseHandle(started.hThread);
    ::WaitForSingleObject(started.hProcess, INFINITE);
    DWORD status = 1;
    ::GetExitCodeProcess(started.hProcess, &status);
    ::CloseHandle(started.hProcess);
    return static_cast<int>(status);
}
