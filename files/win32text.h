// Windows only: text between the UTF-8 the game uses everywhere and the UTF-16 of the Win32 API,
// and system errors told in the words the Linux build uses.
#pragma once

#include <string>
#include <string_view>

namespace farvane::win32 {

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// A UTF-8 file name as the file functions take it: UTF-16, and one too long for the old limit of
// 260 characters made absolute in its long form (\\?\...), so it works whatever the system allows.
std::wstring filePath(std::string_view utf8);

// The reason for a Win32 error code (GetLastError()): the C library's words where the Linux build
// has the same error ("No such file or directory", "Permission denied" ...), else the system's.
std::string errorText(unsigned long code);

} // namespace farvane::win32
