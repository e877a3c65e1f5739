// Runs the game window until the program ends, optionally recording every event to a script.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QSaveFile>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include "desktop/app.h"
#include "desktop/icon.h"
#include "desktop/mainwindow.h"
#include "files/atomicfile.h"
#include "script/recorder.h"
#include "script/script.h"

namespace farvane {

namespace {

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Whether a Wayland compositor answers on the socket WAYLAND_DISPLAY names.
bool waylandAnswers(const std::string& display)
{
    std::string path = display;
    if (path.empty() || path.front() != '/') {
        const std::string runtime = variable("XDG_RUNTIME_DIR");
        if (runtime.empty())
            return false;
        path = runtime + "/" + path;
    }
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// The probe's connection to the X server, kept until Qt has made its own: a server whose last
// client leaves resets, and would hang up on Qt's connection made a moment later.
struct XProbe {
    void* library = nullptr;
    void* connection = nullptr;
    void (*disconnect)(void*) = nullptr;
};
XProbe xProbe;

void releaseXProbe()
{
    if (xProbe.connection != nullptr)
        xProbe.disconnect(xProbe.connection);
    if (xProbe.library != nullptr)
        ::dlclose(xProbe.library);
    xProbe = {};
}

// Whether the X server DISPLAY names takes a connection, asked through the same library Qt's
// X platform uses (loaded only for this question); Qt itself would abort when it does not.
bool xServerAnswers()
{
    releaseXProbe();
    void* library = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr)
        return true; // no way to ask: Qt will tell
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(::dlsym(library, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(library, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(library, "xcb_disconnect"));
    if (connect == nullptr || hasError == nullptr || disconnect == nullptr) {
        ::dlclose(library);
        return true;
    }
    xProbe = {library, connect(nullptr, nullptr), disconnect};
    const bool answers = xProbe.connection != nullptr && hasError(xProbe.connection) == 0;
    if (!answers)
        releaseXProbe();
    return answers;
}

// "" when a display is there to open the window on, otherwise what is wrong.
std::string displayProblem()
{
    const std::string platform = variable("QT_QPA_PLATFORM");
    // A platform named outright that needs no display server (offscreen, a VNC server) is taken as is.
    if (!platform.empty() && !platform.starts_with("xcb") && !platform.starts_with("wayland"))
        return {};
    const std::string wayland = variable("WAYLAND_DISPLAY"), x = variable("DISPLAY");
    if (wayland.empty() && x.empty())
        return "neither DISPLAY nor WAYLAND_DISPLAY is set";
    if (!wayland.empty() && !platform.starts_with("xcb") && waylandAnswers(wayland))
        return {};
    if (!x.empty() && !platform.starts_with("wayland") && xServerAnswers())
        return {};
    return !x.empty() ? "no X server answers on DISPLAY " + x : "no compositor answers on WAYLAND_DISPLAY " + wayland;
}

// A signal asking the program to stop becomes an orderly close on the event loop: the handler
// only writes the signal's number into a pipe the loop watches.
int signalPipe[2] = {-1, -1};
constexpr int HandledSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void onStopSignal(int number)
{
    const int saved = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

MainWindow* liveWindow = nullptr;
Recorder* liveRecorder = nullptr;

// Writes the scene's pixels as the screen holds them to `path` (whole, through a temporary file),
// once the window is on the screen and has painted.
void saveShownFrame(MainWindow& window, const std::string& path)
{
    QTimer::singleShot(200, &window, [&window, path] {
        if (!window.windowHandle() || !window.windowHandle()->isExposed()) {
            saveShownFrame(window, path);
            return;
        }
        QWidget* view = window.sceneView();
        view->repaint();
        const QPoint at = view->mapTo(&window, QPoint(0, 0));
        const QImage shown = window.screen()
                                 ->grabWindow(window.winId(), at.x(), at.y(), view->width(), view->height())
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        QSaveFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::WriteOnly) || !shown.save(&file, "PNG") || !file.commit())
            std::cerr << "farvane: cannot write " << path << "\n";
    });
}

// The record's last line, then its file closed (or, before the game came up, its temporary file
// removed). The X platform ends the program with exit() when its connection breaks: this runs
// then too.
void closeRecordAtExit()
{
    if (liveWindow != nullptr)
        liveWindow->closeRecord();
    if (liveRecorder != nullptr)
        liveRecorder->close();
    liveRecorder = nullptr;
}

// Why the window cannot be drawn on the screens Qt found: "" when it can. The window draws at a
// device pixel ratio of 1 to 4, as --scale does; a larger one (QT_SCALE_FACTOR=100) would ask for
// gigabytes, a negative one for nothing Qt can paint.
std::string screenProblem()
{
    for (const QScreen* screen : QGuiApplication::screens()) {
        const qreal ratio = screen->devicePixelRatio();
        if (!(ratio >= 1.0 && ratio <= 4.0))
            return "the screen's device pixel ratio is " + QString::number(ratio).toStdString() +
                   "; the window draws at 1 to 4, as --scale does (see QT_SCALE_FACTOR)";
        if (screen->depth() < 16)
            return "the display has " + std::to_string(screen->depth()) +
                   "-bit colour; the window needs at least 16 bits a pixel";
    }
    return {};
}

// What an allocation that fails in the window says, made while memory was there. The record
// holds whole lines up to the last event (each goes to the file whole), so it is closed as it
// stands and the program ends.
std::string outOfMemoryMessage;

void onOutOfMemory()
{
    std::set_new_handler(nullptr); // a failure while closing throws, and is let go
    writeAll(STDERR_FILENO, outOfMemoryMessage);
    try {
        if (liveRecorder != nullptr)
            liveRecorder->close();
    } catch (const std::bad_alloc&) {
    }
    std::_Exit(1);
}

} // namespace

StopSignals::StopSignals(std::function<void(int)> onStop) : stop(std::move(onStop))
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] {
        char bytes[16];
        int last = 0;
        for (ssize_t got; (got = ::read(signalPipe[0], bytes, sizeof bytes)) > 0;)
            last = bytes[got - 1];
        if (last != 0 && stop)
            stop(last);
    });
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(HandledSignals); ++i) {
        // A signal the program was started to ignore (nohup, a background job) stays ignored.
        struct sigaction current {};
        if (::sigaction(HandledSignals[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        installed[i] = ::sigaction(HandledSignals[i], &action, &previous[i]) == 0;
    }
}

StopSignals::~StopSignals()
{
    for (std::size_t i = 0; i < std::size(HandledSignals); ++i) {
        if (installed[i])
            ::sigaction(HandledSignals[i], &previous[i], nullptr);
    }
    notifier.reset();
    for (int& fd : signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

int runWindow(int& argc, char** argv, const std::string& recordPath, std::optional<ReplayScript> watch,
              WatchStart start)
{
    // Without a display Qt would abort; say what is wrong instead, before any file is touched.
    if (const std::string problem = displayProblem(); !problem.empty()) {
        std::cerr << "farvane: no display found (" << problem
                  << ").\n"
                     "Run it from a desktop session, or headless with: farvane --script FILE\n";
        return 1;
    }
    // A bad record name fails before any window shows; its file is made only once the window
    // system has opened, as Qt ends the program outright when it cannot.
    if (!recordPath.empty()) {
        if (const std::string problem = checkOutputTarget(recordPath); !problem.empty()) {
            std::cerr << "farvane: cannot write " << printableName(recordPath) << ": " << problem << "\n";
            return 2;
        }
        // A reader of the record that goes away must not kill the game: the write fails instead.
        std::signal(SIGPIPE, SIG_IGN);
    }

    QApplication app(argc, argv);
    releaseXProbe(); // Qt has its own connection now
    if (const std::string problem = screenProblem(); !problem.empty()) {
        std::cerr << "farvane: " << problem << "\n";
        return 2;
    }
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.farvane.farvane"));
    QApplication::setWindowIcon(applicationIcon());
    // From here on a signal asking the program to stop closes the record in an orderly way.
    int signalled = 0;
    MainWindow* shown = nullptr;
    StopSignals stopSignals([&](int number) {
        signalled = number;
        if (shown != nullptr)
            shown->endFromOutside();
    });

    // The record goes to a temporary file beside its target until the window is up, so a failed
    // start leaves the target as it was.
    static const bool registered = std::atexit(closeRecordAtExit) == 0;
    (void)registered;
    std::unique_ptr<Recorder> recorder;
    if (!recordPath.empty()) {
        std::string error;
        recorder = Recorder::openFile(recordPath, error);
        if (!recorder) {
            std::cerr << "farvane: " << error << "\n";
            return 2;
        }
        liveRecorder = recorder.get();
    }
    outOfMemoryMessage = "farvane: " +
                         (recordPath.empty() ? std::string("not enough memory; the game ends")
                                             : "cannot write " + printableName(recordPath) + ": not enough memory") +
                         "\n";
    std::set_new_handler(onOutOfMemory);
    std::unique_ptr<MainWindow> made =
        watch ? std::make_unique<MainWindow>(std::move(*watch), start) : std::make_unique<MainWindow>(recorder.get());
    MainWindow& window = *made;
    shown = &window;
    // For tests: the frame a watch ends on, as the screen shows it, goes to this PNG file.
    if (const std::string grab = variable("FARVANE_WATCH_GRAB"); watch && !grab.empty())
        window.onWatchOver([&window, grab] { saveShownFrame(window, grab); });
    // And each paused position it shows to FOLDER/MS.png, MS its virtual time.
    if (const std::string folder = variable("FARVANE_WATCH_GRAB_PAUSED"); watch && !folder.empty())
        window.onWatchPaused([&window, folder](std::uint64_t at) {
            saveShownFrame(window, folder + "/" + std::to_string(at) + ".png");
        });
    // Ends every event loop at once, the box's included.
    QObject::connect(&window, &MainWindow::ended, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window] { window.closeRecord(); });
    liveWindow = &window;
    window.show();
    if (recorder)
        recorder->start();
    int status = QApplication::exec();
    closeRecordAtExit();
    liveWindow = nullptr;
    liveRecorder = nullptr;
    if (signalled != 0)
        status = 128 + signalled;
    if (recorder && !recorder->good() && status == 0)
        status = 1;
    return status;
}

} // namespace farvane
