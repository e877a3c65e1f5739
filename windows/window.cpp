// The Windows host: one Win32 window over the mid end. It maps the keyboard and the menu bar onto
// the game, waits for the mid end's next deadline with millisecond precision, copies the pixels the
// shared rasterizer drew to the screen and shows the lost-game box as a MessageBox.
#include "midend/window.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <windows.h>
#include <mmsystem.h>

#include "files/atomicfile.h"
#include "files/win32text.h"
#include "midend/midend.h"
#include "script/recorder.h"
#include "windows/resources.h"

namespace farvane {

namespace {

constexpr wchar_t WindowClass[] = L"FarvaneWindow";
constexpr UINT StopMessage = WM_APP + 1; // wParam: the exit status to end with
constexpr UINT_PTR ModalTimer = 1;       // ticks while a menu or a move holds the message loop
constexpr UINT MenuBase = 100;           // menu command ids: MenuBase + MenuName

double realTime()
{
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double ratioOf(UINT dpi) { return dpi == 0 ? 1.0 : static_cast<double>(dpi) / USER_DEFAULT_SCREEN_DPI; }

std::wstring menuCaption(const MenuEntry& entry) { return win32::widen(menuText(entry.Caption)); }

std::int16_t shiftMask()
{
    std::int16_t mask = 0;
    if (::GetKeyState(VK_SHIFT) < 0)
        mask |= 1;
    if (::GetKeyState(VK_CONTROL) < 0)
        mask |= 2;
    if (::GetKeyState(VK_MENU) < 0)
        mask |= 4;
    return mask;
}

class GameWindow {
public:
    GameWindow(Recorder* recorder, std::optional<ReplayScript> watch, WatchStart start);
    ~GameWindow();
    GameWindow(const GameWindow&) = delete;
    GameWindow& operator=(const GameWindow&) = delete;

    bool create();
    // The message loop until the program ends; returns the exit status.
    int run();
    // Ctrl+C, the console closing, log-off: asks the window's thread to end (any thread may call it).
    void stopFromOutside(int exitStatus) { ::PostMessageW(window, StopMessage, static_cast<WPARAM>(exitStatus), 0); }
    void closeRecord() { mid->closeRecord(); }
    // For the benchmarks (FARVANE_TICK_LOG): the real time of the first paint after the process
    // started, then of every wake-up for a deadline, in ms.
    std::vector<double> timings;
    bool timing = false;

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void buildMenus();
    void afterEvent();
    void showMenus();
    void showPicture();
    void showTitle();
    void paint();
    void setRatio(double ratio);
    void setSmallIcon(UINT dpi);
    SIZE windowSize(UINT dpi) const;
    double showBox(std::string_view prompt, std::string_view title);
    void endProgram();

    HWND window = nullptr;
    HMENU bar = nullptr;
    HMENU fileMenu = nullptr;
    HMENU helpMenu = nullptr;
    HICON smallIcon = nullptr;
    std::unique_ptr<MidEnd> mid;
    MenuState shownMenus{};
    std::string shownTitle{FormCaption};
    bool menusShown = false;
    bool modal = false; // a menu or a move runs its own message loop
    bool ended = false;
    int status = 0;
};

GameWindow::GameWindow(Recorder* recorder, std::optional<ReplayScript> watch, WatchStart start)
{
    // The form loads now: the virtual clock starts with it.
    auto box = [this](std::string_view prompt, std::string_view title) { return showBox(prompt, title); };
    if (watch)
        mid = std::make_unique<MidEnd>(realTime(), box, std::move(*watch), start);
    else
        mid = std::make_unique<MidEnd>(realTime(), box, RecordOptions{recorder, recorder != nullptr});
}

GameWindow::~GameWindow()
{
    if (window != nullptr)
        ::DestroyWindow(window);
    if (smallIcon != nullptr)
        ::DestroyIcon(smallIcon);
}

bool GameWindow::create()
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &GameWindow::procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IconResource));
    // The title bar's small icon is set per window, at its monitor's size (setSmallIcon).
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr; // the picture covers the whole client area
    windowClass.lpszClassName = WindowClass;
    if (::RegisterClassExW(&windowClass) == 0)
        return false;
    buildMenus();
    // A fixed frame: the scene is laid out for exactly this client area. Made at 96 DPI, then
    // sized for the monitor it lands on.
    const SIZE size = windowSize(USER_DEFAULT_SCREEN_DPI);
    window = ::CreateWindowExW(0, WindowClass, win32::widen(FormCaption).c_str(),
                               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT,
                               size.cx, size.cy, nullptr, bar, instance, this);
    if (window == nullptr)
        return false;
    const UINT dpi = ::GetDpiForWindow(window);
    setRatio(ratioOf(dpi));
    setSmallIcon(dpi);
    const SIZE scaled = windowSize(dpi);
    ::SetWindowPos(window, nullptr, 0, 0, scaled.cx, scaled.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    afterEvent();
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::UpdateWindow(window);
    return true;
}

SIZE GameWindow::windowSize(UINT dpi) const
{
    const double ratio = ratioOf(dpi);
    RECT rect{0, 0, static_cast<LONG>(std::lround(ClientWidth * ratio)),
              static_cast<LONG>(std::lround(ClientHeight * ratio))};
    ::AdjustWindowRectExForDpi(&rect, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, TRUE, 0, dpi);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void GameWindow::buildMenus()
{
    const Scene& scene = mid->scene();
    bar = ::CreateMenu();
    fileMenu = ::CreatePopupMenu();
    helpMenu = ::CreatePopupMenu();
    for (const MenuItem& item : MenuItems)
        ::AppendMenuW(item.parentMenu == &Scene::mnuFile ? fileMenu : helpMenu, MF_STRING,
                      MenuBase + static_cast<UINT>(item.name), menuCaption(scene.*item.entry).c_str());
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(fileMenu), menuCaption(scene.mnuFile).c_str());
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(helpMenu), menuCaption(scene.mnuHelp).c_str());
}

void GameWindow::setSmallIcon(UINT dpi)
{
    // The icon's own image of the small icon's size (16 px at 96 DPI), not the large one scaled.
    const int size = ::GetSystemMetricsForDpi(SM_CXSMICON, dpi);
    const auto icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IconResource),
                                                      IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    if (icon == nullptr)
        return;
    ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    if (smallIcon != nullptr)
        ::DestroyIcon(smallIcon);
    smallIcon = icon;
}

void GameWindow::setRatio(double ratio)
{
    // Drawn by the shared rasterizer at the monitor's ratio, in the DIB's own pixel order.
    mid->setFrameFormat(ratio, PixelOrder::Argb32);
    if (window != nullptr)
        ::InvalidateRect(window, nullptr, FALSE);
}

void GameWindow::afterEvent()
{
    if (mid->ended()) {
        endProgram();
        return;
    }
    showMenus();
    showPicture();
    showTitle();
    // While a menu or a move holds the message loop, a window timer stands in for the wait in
    // run(); timeBeginPeriod makes it as precise.
    if (modal) {
        if (const std::optional<RealMillis> deadline = mid->deadline())
            ::SetTimer(window, ModalTimer, static_cast<UINT>(std::clamp(std::ceil(*deadline - realTime()), 1.0, 1e6)),
                       nullptr);
        else
            ::KillTimer(window, ModalTimer);
    }
}

void GameWindow::showMenus()
{
    const MenuState menus = mid->menuState();
    if (menusShown && menus == shownMenus)
        return;
    for (const MenuItem& item : MenuItems)
        ::EnableMenuItem(bar, MenuBase + static_cast<UINT>(item.name),
                         MF_BYCOMMAND | (menus.entries[static_cast<std::size_t>(item.name)] ? MF_ENABLED : MF_GRAYED));
    ::EnableMenuItem(bar, 0, MF_BYPOSITION | (menus.fileMenu ? MF_ENABLED : MF_GRAYED));
    ::EnableMenuItem(bar, 1, MF_BYPOSITION | (menus.helpMenu ? MF_ENABLED : MF_GRAYED));
    if (window != nullptr)
        ::DrawMenuBar(window);
    shownMenus = menus;
    menusShown = true;
}

void GameWindow::showPicture()
{
    // Only the rectangles that changed are drawn, and only they are repainted.
    if (!mid->render() || window == nullptr)
        return;
    for (const PixelRect& rect : mid->dirty()) {
        const RECT dirty{rect.x, rect.y, rect.x + rect.width, rect.y + rect.height};
        ::InvalidateRect(window, &dirty, FALSE);
    }
}

// While watching, the title says where the watch stands.
void GameWindow::showTitle()
{
    if (!mid->watching() || window == nullptr)
        return;
    std::string title = watchTitle(mid->watchPosition());
    if (title == shownTitle)
        return;
    ::SetWindowTextW(window, win32::widen(title).c_str());
    shownTitle = std::move(title);
}

void GameWindow::paint()
{
    if (timing && timings.empty()) {
        FILETIME created, exited, kernel, user, now;
        ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
        ::GetSystemTimePreciseAsFileTime(&now);
        const auto ticks = [](FILETIME t) {
            return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        timings.push_back(static_cast<double>(ticks(now) - ticks(created)) / 10000.0);
    }
    PAINTSTRUCT ps;
    const HDC dc = ::BeginPaint(window, &ps);
    const FrameBuffer& frame = mid->frame();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = frame.width();
    info.bmiHeader.biHeight = -frame.height(); // top-down, as the frame's rows are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // The whole frame, clipped by the system to what needs painting.
    ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(frame.width()), static_cast<DWORD>(frame.height()), 0, 0, 0,
                        static_cast<UINT>(frame.height()), frame.pixels(), &info, DIB_RGB_COLORS);
    ::EndPaint(window, &ps);
}

double GameWindow::showBox(std::string_view prompt, std::string_view title)
{
    // The box comes up over the picture of the losing hit; nothing ticks behind it.
    ::KillTimer(window, ModalTimer);
    showMenus();
    showPicture();
    ::UpdateWindow(window);
    ::MessageBoxW(window, win32::widen(prompt).c_str(), win32::widen(title).c_str(), MB_OK);
    return realTime();
}

void GameWindow::endProgram()
{
    if (ended)
        return;
    ended = true;
    ::KillTimer(window, ModalTimer);
    ::ShowWindow(window, SW_HIDE);
    ::PostQuitMessage(status);
}

int GameWindow::run()
{
    for (;;) {
        // Waits for a message or the mid end's next deadline, whichever comes first.
        DWORD wait = INFINITE;
        if (const std::optional<RealMillis> deadline = mid->deadline(); deadline && !ended)
            wait = static_cast<DWORD>(std::clamp(std::ceil(*deadline - realTime()), 0.0, 1e9));
        // A playing watch shows where it stands between ticks too.
        if (const WatchPosition at = mid->watchPosition(); mid->watching() && !at.paused && !at.over && !ended)
            wait = std::min(wait, static_cast<DWORD>(MidEnd::WatchShowMs));
        if (::MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_TIMEOUT) {
            if (timing)
                timings.push_back(realTime());
            mid->advance(realTime());
            afterEvent();
        }
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return static_cast<int>(message.wParam);
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

LRESULT CALLBACK GameWindow::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<GameWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<GameWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self != nullptr ? self->handle(message, wParam, lParam) : ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT GameWindow::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: paint(); return 0;
    case WM_ERASEBKGND: return 1; // the picture covers the client area
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        // Every key goes to the form as its virtual-key code, the codes the game was made for;
        // Alt and F10 then go on to open the menu bar as on any window.
        if (!mid->boxIsOpen()) {
            mid->key(realTime(), static_cast<std::int16_t>(wParam), shiftMask());
            afterEvent();
        }
        if (message == WM_SYSKEYDOWN && !ended)
            return ::DefWindowProcW(window, message, wParam, lParam);
        return 0;
    case WM_SYSCHAR:
        // Alt with a letter: the menu whose caption starts with it, as Windows does.
        return ::DefWindowProcW(window, message, wParam, lParam);
    case WM_COMMAND: {
        const UINT id = LOWORD(wParam);
        if (HIWORD(wParam) == 0 && id >= MenuBase && id < MenuBase + MenuItems.size()) {
            mid->menu(realTime(), static_cast<MenuName>(id - MenuBase));
            afterEvent();
        }
        return 0;
    }
    case WM_TIMER:
        if (wParam == ModalTimer) {
            ::KillTimer(window, ModalTimer);
            mid->advance(realTime());
            afterEvent();
        }
        return 0;
    case WM_ENTERMENULOOP:
    case WM_ENTERSIZEMOVE:
        modal = true;
        afterEvent();
        return 0;
    case WM_EXITMENULOOP:
    case WM_EXITSIZEMOVE:
        modal = false;
        ::KillTimer(window, ModalTimer);
        return 0;
    case WM_DPICHANGED: {
        // Another monitor: the frame is drawn again at its ratio, the window sized for it.
        setRatio(ratioOf(HIWORD(wParam)));
        setSmallIcon(HIWORD(wParam));
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        const SIZE size = windowSize(HIWORD(wParam));
        ::SetWindowPos(window, nullptr, suggested->left, suggested->top, size.cx, size.cy,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        afterEvent();
        return 0;
    }
    case WM_CLOSE:
        // The close button ends the program in any state, also while the box is up.
        mid->close(realTime());
        endProgram();
        return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
        // Log-off or shut-down: the record is closed now, as the program may end after this.
        if (wParam) {
            mid->close(realTime());
            endProgram();
        }
        return 0;
    case StopMessage:
        status = static_cast<int>(wParam);
        mid->closeRecord();
        mid->close(realTime());
        endProgram();
        return 0;
    default: return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

GameWindow* liveWindow = nullptr;
HANDLE stopHandled = nullptr;

// Ctrl+C or Ctrl+Break in the console, the console closed, log-off, shut-down: an orderly close on
// the window's thread (this runs on a thread of its own). For the last three the program ends
// when this returns, so it waits, a little, for the record to be closed.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (liveWindow == nullptr)
        return FALSE;
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    liveWindow->stopFromOutside(128 + 2); // as a SIGINT ends the Linux program
    if (!interrupt && stopHandled != nullptr)
        ::WaitForSingleObject(stopHandled, 4000);
    return TRUE;
}

} // namespace

int runWindow(int&, char**, const std::string& recordPath, std::optional<ReplayScript> watch, WatchStart start)
{
    // A record goes to a temporary file beside its target until the window is up, so a bad name
    // fails before any window shows and a failed start leaves the target as it was.
    std::unique_ptr<Recorder> recorder;
    if (!recordPath.empty()) {
        std::string error;
        recorder = Recorder::openFile(recordPath, error);
        if (!recorder) {
            writeAll(STDERR_FILENO, "farvane: " + error + "\n");
            return 2;
        }
    }
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    // The deadline waits to the millisecond: a 50 ms tick must not stretch to the 62.5 ms of the
    // default 15.6 ms timer resolution.
    ::timeBeginPeriod(1);
    int status = 1;
    {
        GameWindow game(recorder.get(), std::move(watch), start);
        const char* timingLog = std::getenv("FARVANE_TICK_LOG");
        game.timing = timingLog != nullptr && *timingLog != '\0';
        if (game.create()) {
            liveWindow = &game;
            stopHandled = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
            ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
            if (recorder)
                recorder->start();
            status = game.run();
            game.closeRecord();
            if (game.timing) {
                std::string lines;
                for (const double at : game.timings)
                    lines += std::to_string(at) + "\n";
                std::string error;
                writeFileAtomically(timingLog, lines, error);
            }
            liveWindow = nullptr;
            if (stopHandled != nullptr)
                ::SetEvent(stopHandled);
        } else {
            writeAll(STDERR_FILENO, "farvane: cannot open the window: " + win32::errorText(::GetLastError()) + "\n");
        }
    }
    ::timeEndPeriod(1);
    if (recorder && !recorder->good() && status == 0)
        status = 1;
    return status;
}

} // namespace farvane
