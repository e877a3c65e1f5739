// Times the real game window on the offscreen platform (or a real X server): start-up to the first
// painted frame, peak memory, the game tick's period over a stretch of play, the countdown's words,
// the CPU a frame costs in the game process and in the X server next to a bare Qt window's, and how
// quiet the window is when no game runs.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <optional>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include "desktop/icon.h"
#include "desktop/mainwindow.h"
#include "playfield/runtime.h"

extern char** environ;

namespace {

using farvane::MainWindow;

// Milliseconds on the monotonic clock, which every process on the machine shares.
double monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The process's peak resident set so far, in kB, or -1.
long peakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

// CPU time this process has used, all threads, in ns.
long long processCpuNs()
{
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return static_cast<long long>(used.tv_sec) * 1000000000LL + used.tv_nsec;
}

// CPU time process `pid` has used, in ns: the sum of its threads' run times (schedstat, to the
// nanosecond) where the kernel keeps them, else its user and system time from /proc/PID/stat (in
// clock ticks, too coarse for a few seconds). -1 when it cannot be read.
long long otherProcessCpuNs(long pid)
{
    const std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* tasks = opendir(taskDir.c_str())) {
        long long sum = 0;
        bool any = false;
        while (const dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream schedstat(taskDir + "/" + entry->d_name + "/schedstat");
            long long ns = 0;
            if (schedstat >> ns) {
                sum += ns;
                any = true;
            }
        }
        closedir(tasks);
        if (any && sum > 0)
            return sum;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    // The fields after the command name, which is in parentheses and may hold spaces.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::vector<std::string> fields;
    std::string field;
    for (std::size_t i = close + 2; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += text[i];
        }
    }
    if (fields.size() < 13) // utime and stime are fields 14 and 15 of the line, 12 and 13 here
        return -1;
    const long long ticks = std::atoll(fields[11].c_str()) + std::atoll(fields[12].c_str());
    return ticks * (1000000000LL / sysconf(_SC_CLK_TCK));
}

// The X server this program shows its windows on, found by the display its command line serves
// (":N" from DISPLAY); 0 when there is none (the offscreen platform) or it is not found.
long findXServer()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const char* displayVariable = std::getenv("DISPLAY");
    if ((!platform.isEmpty() && platform != QLatin1String("xcb")) || displayVariable == nullptr)
        return 0;
    std::string display = displayVariable;
    if (const std::size_t colon = display.find(':'); colon != std::string::npos)
        display = display.substr(colon);
    if (const std::size_t dot = display.find('.'); dot != std::string::npos)
        display = display.substr(0, dot);
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return 0;
    long found = 0;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        std::ifstream cmdline("/proc/" + std::string(entry->d_name) + "/cmdline");
        std::string arg;
        std::vector<std::string> args;
        while (std::getline(cmdline, arg, '\0'))
            args.push_back(arg);
        if (args.empty())
            continue;
        const std::string name = args[0].substr(args[0].rfind('/') + 1);
        if (name != "Xvfb" && name != "Xorg" && name != "X" && name != "Xephyr")
            continue;
        if (std::find(args.begin() + 1, args.end(), display) != args.end()) {
            found = pid;
            break;
        }
    }
    closedir(proc);
    return found;
}

// What the probe watches while the window runs: every event passes through notify, and after
// each one the form is looked at to see what the event did.
class ProbeApplication : public QApplication {
public:
    using QApplication::QApplication;

    MainWindow* window = nullptr;
    std::optional<double> firstFrameMs; // monotonic, just after the scene's first paint
    bool counting = false;
    int timerEvents = 0;
    int paintEvents = 0;
    int framePaints = 0;            // paints of the watched widget (the scene view), counting or not
    QObject* frameWidget = nullptr; // for the bare window, its central widget
    std::vector<std::pair<double, std::string>> captionChanges; // lblReady, with monotonic ms
    std::vector<double> tickTimes;                              // one entry per game tick, monotonic ms

    bool notify(QObject* receiver, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (counting && type == QEvent::Timer)
            ++timerEvents;
        const bool viewPaint = window != nullptr && type == QEvent::Paint && receiver == window->sceneView();
        if (counting && type == QEvent::Paint)
            ++paintEvents;
        if (type == QEvent::Paint && receiver != nullptr &&
            receiver == (window != nullptr ? static_cast<QObject*>(window->sceneView()) : frameWidget))
            ++framePaints;
        const bool handled = QApplication::notify(receiver, event);
        const double now = monotonicMs();
        if (viewPaint && !firstFrameMs)
            firstFrameMs = now;
        if (window != nullptr)
            observe(now);
        return handled;
    }

private:
    void observe(double now)
    {
        const farvane::Veskara& form = window->form();
        if (form.lblReady.Caption != lastCaption) {
            lastCaption = form.lblReady.Caption;
            captionChanges.emplace_back(now, lastCaption);
        }
        // With no key pressed and the score short of the frenzy, each game tick adds one point.
        const double score = farvane::CaptionToNumber(form.lblScore.Caption);
        for (double tick = lastScore; tick < score; ++tick)
            tickTimes.push_back(now);
        lastScore = score;
    }

    std::string lastCaption;
    double lastScore = 0;
};

// The window as the program opens it.
struct Session {
    explicit Session(ProbeApplication& application) : app(application)
    {
        QGuiApplication::setDesktopFileName(QStringLiteral("farvane"));
        QApplication::setWindowIcon(farvane::applicationIcon());
        window.host().setBoxRecorder([this](std::string_view, std::string_view) { ++boxes; });
        app.window = &window;
        window.show();
    }
    ~Session() { app.window = nullptr; }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs the event loop for `ms` milliseconds.
    void run(int ms)
    {
        QTimer::singleShot(ms, Qt::PreciseTimer, &app, [] { QCoreApplication::exit(0); });
        QApplication::exec();
    }

    void waitForFirstFrame()
    {
        for (int k = 0; k < 100 && !app.firstFrameMs; ++k)
            run(10);
    }

    void chooseStart() { window.menuAction(&farvane::Scene::mnuStart)->trigger(); }

    ProbeApplication& app;
    MainWindow window;
    int boxes = 0;
};

// The baseline: a bare Qt 6 window with the game's menu bar and client area that repaints one 60 by
// 20 rectangle per frame, a frame every 50 ms, as a game tick would ask.
class BareWindow : public QMainWindow {
public:
    BareWindow()
    {
        QMenuBar* bar = menuBar();
        bar->setNativeMenuBar(false);
        QMenu* file = bar->addMenu(QStringLiteral("File"));
        for (const char* caption : {"Start", "Restart", "Quit"})
            file->addAction(QString::fromLatin1(caption));
        QMenu* help = bar->addMenu(QStringLiteral("Help"));
        for (const char* caption : {"How To Play", "About"})
            help->addAction(QString::fromLatin1(caption));
        auto* client = new Client;
        client->setFixedSize(441, 425);
        client->setAttribute(Qt::WA_OpaquePaintEvent);
        setCentralWidget(client);
        frames.setTimerType(Qt::PreciseTimer);
        frames.setInterval(50);
        QObject::connect(&frames, &QTimer::timeout, client, [client] { client->update(QRect(264, 8, 60, 20)); });
    }

    QTimer frames;

private:
    class Client : public QWidget {
    protected:
        void paintEvent(QPaintEvent* event) override
        {
            QPainter painter(this);
            painter.fillRect(event->rect(), (++count & 1) ? Qt::white : Qt::black);
        }

    private:
        int count = 0;
    };
};

long serverPid = 0; // the X server's process, 0 on the offscreen platform

// Counts the frames painted and the CPU used in this process and the X server over `seconds`,
// from now; prints "frames N game_ns G server_ns S" (S is -1 with no server).
void measureFrames(ProbeApplication& app, int seconds, const std::function<void(int)>& run)
{
    const int framesBefore = app.framePaints;
    const long long gameBefore = processCpuNs();
    const long long serverBefore = serverPid > 0 ? otherProcessCpuNs(serverPid) : -1;
    run(seconds * 1000);
    const long long gameUsed = processCpuNs() - gameBefore;
    const long long serverUsed = serverPid > 0 && serverBefore >= 0 ? otherProcessCpuNs(serverPid) - serverBefore : -1;
    std::printf("frames %d game_ns %lld server_ns %lld\n", app.framePaints - framesBefore, gameUsed, serverUsed);
}

// Child mode: `seconds` of a game in the window, one frame per tick.
int gameFrames(int argc, char** argv, int seconds)
{
    ProbeApplication app(argc, argv);
    Session session(app);
    session.waitForFirstFrame();
    // From here on the probe only counts the view's paints: it looks at the form after no event,
    // so the process does what the game alone would.
    app.frameWidget = session.window.sceneView();
    app.window = nullptr;
    session.run(200);
    session.window.form().Player1.Left = -1.0e6f; // out of every obstacle's way
    session.chooseStart();
    session.run(2400 + 25); // the countdown, then half a tick into the game
    measureFrames(app, seconds, [&](int ms) { session.run(ms); });
    return session.boxes == 0 ? 0 : 1;
}

// Child mode: `seconds` of the bare window repainting its rectangle.
int bareFrames(int argc, char** argv, int seconds)
{
    ProbeApplication app(argc, argv);
    BareWindow window;
    app.frameWidget = window.centralWidget();
    window.show();
    auto run = [](int ms) {
        QTimer::singleShot(ms, Qt::PreciseTimer, qApp, [] { QCoreApplication::exit(0); });
        QApplication::exec();
    };
    for (int k = 0; k < 100 && app.framePaints == 0; ++k)
        run(10);
    run(200);
    window.frames.start();
    run(25);
    measureFrames(app, seconds, run);
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: timingprobe [--seconds S] [--startups N] [--frame-runs N] [--server-pid PID]\n"
                         "       timingprobe --idle MS [--start] [--expect-activity]\n"
                         "  --frame-runs N  CPU per frame: N runs each of the bare window and the game (default 3)\n"
                         "  --server-pid    the X server to measure (default: the one serving DISPLAY, if any)\n");
    return 2;
}

// Child mode: prints the monotonic time of the first painted frame and the peak memory.
int firstFrame(int argc, char** argv)
{
    ProbeApplication app(argc, argv);
    Session session(app);
    session.waitForFirstFrame();
    if (!app.firstFrameMs)
        return 1;
    std::printf("%.3f %ld\n", *app.firstFrameMs, peakRssKb());
    return 0;
}

struct StartUp {
    double ms = 0;  // process start to first painted frame
    long rssKb = 0; // peak RSS at that frame
};

// Runs this program with `args` and returns what it printed, or nothing if it failed.
std::optional<std::string> runChild(const char* self, std::vector<std::string> args, double* spawnedAt = nullptr)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    args.insert(args.begin(), "timingprobe");
    std::vector<char*> childArgv;
    for (std::string& arg : args)
        childArgv.push_back(arg.data());
    childArgv.push_back(nullptr);
    pid_t child = 0;
    if (spawnedAt)
        *spawnedAt = monotonicMs();
    const int failed = posix_spawn(&child, self, &actions, nullptr, childArgv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; !failed && (got = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    if (failed || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}

// Starts this program in first-frame mode and reads what it reports.
std::optional<StartUp> startOnce(const char* self)
{
    double spawnedAt = 0;
    const std::optional<std::string> text = runChild(self, {"--first-frame"}, &spawnedAt);
    double frameAt = 0;
    long rss = 0;
    if (!text || std::sscanf(text->c_str(), "%lf %ld", &frameAt, &rss) != 2)
        return std::nullopt;
    return StartUp{frameAt - spawnedAt, rss};
}

struct FrameCost {
    double gameMs = 0;   // CPU per frame in the game (or bare window) process
    double serverMs = 0; // in the X server; negative with none
    int frames = 0;
};

// Runs one child mode (--game-frames or --bare-frames) and reads its figures.
std::optional<FrameCost> frameCostOnce(const char* self, const char* mode, int seconds)
{
    std::vector<std::string> args{mode, std::to_string(seconds)};
    if (serverPid > 0)
        args.insert(args.end(), {"--server-pid", std::to_string(serverPid)});
    const std::optional<std::string> text = runChild(self, args);
    int frames = 0;
    long long gameNs = 0;
    long long serverNs = 0;
    if (!text ||
        std::sscanf(text->c_str(), "frames %d game_ns %lld server_ns %lld", &frames, &gameNs, &serverNs) != 3 ||
        frames <= 0)
        return std::nullopt;
    return FrameCost{static_cast<double>(gameNs) / 1e6 / frames,
                     serverNs < 0 ? -1.0 : static_cast<double>(serverNs) / 1e6 / frames, frames};
}

// Alternates `runs` measurements of the bare window and of the game, `seconds` each, and prints the
// medians of the CPU per frame and their ratios.
int frameCosts(int runs, int seconds)
{
    std::vector<double> bareGame, bareServer, gameGame, gameServer;
    std::vector<int> gameFrameCounts;
    for (int k = 0; k < runs; ++k) {
        const std::optional<FrameCost> bare = frameCostOnce("/proc/self/exe", "--bare-frames", seconds);
        const std::optional<FrameCost> game = frameCostOnce("/proc/self/exe", "--game-frames", seconds);
        if (!bare || !game) {
            std::fprintf(stderr, "timingprobe: a frame-cost run failed\n");
            return 1;
        }
        bareGame.push_back(bare->gameMs);
        bareServer.push_back(bare->serverMs);
        gameGame.push_back(game->gameMs);
        gameServer.push_back(game->serverMs);
        gameFrameCounts.push_back(game->frames);
    }
    const double game = quantile(gameGame, 0.5);
    const double bare = quantile(bareGame, 0.5);
    std::printf("CPU per frame over %d s of play, median of %d runs: game process %.3f ms (%.3f to %.3f), bare Qt "
                "window %.3f ms, ratio %.2f; frames per run %d to %d\n",
                seconds, runs, game, quantile(gameGame, 0), quantile(gameGame, 1), bare, game / bare,
                *std::min_element(gameFrameCounts.begin(), gameFrameCounts.end()),
                *std::max_element(gameFrameCounts.begin(), gameFrameCounts.end()));
    if (serverPid > 0) {
        const double gameX = quantile(gameServer, 0.5);
        const double bareX = quantile(bareServer, 0.5);
        std::printf("X server CPU per frame, median: game %.3f ms (%.3f to %.3f), bare Qt window %.3f ms, ratio %.2f\n",
                    gameX, quantile(gameServer, 0), quantile(gameServer, 1), bareX, gameX / bareX);
    } else {
        std::printf("X server CPU per frame: no X server (offscreen platform)\n");
    }
    return 0;
}

// Counts timer and paint events over `ms` of a window left alone (or counting down, with Start).
int idle(int argc, char** argv, int ms, bool start, bool expectActivity)
{
    ProbeApplication app(argc, argv);
    Session session(app);
    session.waitForFirstFrame();
    session.run(200); // whatever showing the window left to do
    if (start)
        session.chooseStart();
    app.counting = true;
    session.run(ms);
    app.counting = false;
    // The probe's own stop timer is one of the timer events.
    const int timers = app.timerEvents - 1;
    std::printf("idle %d ms%s: %d timer events, %d paint events\n", ms, start ? " after Start" : "", timers,
                app.paintEvents);
    const bool quiet = timers == 0 && app.paintEvents == 0;
    const bool busy = timers > 0 && app.paintEvents > 0;
    return (expectActivity ? busy : quiet) ? 0 : 1;
}

// Plays `seconds` of a game in the window and prints the tick period and the countdown's timing.
int play(int argc, char** argv, int seconds, int startups, int frameRuns)
{
    if (frameRuns > 0 && frameCosts(frameRuns, seconds) != 0)
        return 1;
    std::vector<double> startMs;
    long startRss = 0;
    for (int k = 0; k < startups; ++k) {
        const std::optional<StartUp> once = startOnce("/proc/self/exe");
        if (!once) {
            std::fprintf(stderr, "timingprobe: a start-up run failed\n");
            return 1;
        }
        startMs.push_back(once->ms);
        startRss = std::max(startRss, once->rssKb);
    }

    ProbeApplication app(argc, argv);
    Session session(app);
    session.waitForFirstFrame();
    session.run(200);
    // Out of every obstacle's way, so the game runs on with no key pressed: the vehicle's box
    // lies far left of anything that can fall.
    session.window.form().Player1.Left = -1.0e6f;
    const double startAt = monotonicMs();
    session.chooseStart();
    session.run(2400 + seconds * 1000 + 300);

    const std::vector<double>& ticks = app.tickTimes;
    if (ticks.empty() || session.boxes != 0) {
        std::fprintf(stderr, "timingprobe: the game did not run (%zu ticks, %d boxes)\n", ticks.size(), session.boxes);
        return 1;
    }
    // The game starts 2400 ms after Start and its ticks are due every 50 ms from there. The
    // count takes the ticks of `seconds` of play, the window set half a period off the due
    // times so that no tick's jitter moves it across an edge.
    const double gameOn = startAt + 2400;
    const double windowStart = gameOn + 25;
    const double windowEnd = windowStart + seconds * 1000.0;
    std::vector<double> periods;
    std::vector<double> lateness;
    std::size_t inWindow = 0;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        lateness.push_back(ticks[i] - (gameOn + 50.0 * static_cast<double>(i + 1)));
        if (ticks[i] < windowStart || ticks[i] >= windowEnd)
            continue;
        ++inWindow;
        if (i > 0)
            periods.push_back(ticks[i] - ticks[i - 1]);
    }

    if (startups > 0)
        std::printf("start-up to first frame: median %.1f ms, min %.1f, max %.1f over %d runs; peak RSS %.1f MB\n",
                    quantile(startMs, 0.5), quantile(startMs, 0), quantile(startMs, 1), startups,
                    static_cast<double>(startRss) / 1024);
    std::printf("game ticks in %d s: %zu\n", seconds, inWindow);
    std::printf("tick period: median %.2f ms, p99 %.2f ms, max %.2f ms, min %.2f ms\n", quantile(periods, 0.5),
                quantile(periods, 0.99), quantile(periods, 1), quantile(periods, 0));
    std::printf("tick lateness against its due time: median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                quantile(lateness, 0.5), quantile(lateness, 0.99), quantile(lateness, 1));
    std::printf("countdown after Start:");
    for (const auto& [at, caption] : app.captionChanges)
        std::printf(" \"%s\" %.1f ms", caption.c_str(), at - startAt);
    std::printf("\n");
    std::printf("peak RSS after play: %.1f MB\n", static_cast<double>(peakRssKb()) / 1024);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int seconds = 10;
    int startups = 5;
    int frameRuns = 3;
    std::optional<int> childSeconds;
    const char* childMode = nullptr;
    std::optional<int> idleMs;
    bool start = false;
    bool expectActivity = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--first-frame")
            return firstFrame(argc, argv);
        if (arg == "--seconds" && hasValue)
            seconds = std::atoi(argv[++i]);
        else if (arg == "--startups" && hasValue)
            startups = std::atoi(argv[++i]);
        else if (arg == "--frame-runs" && hasValue)
            frameRuns = std::atoi(argv[++i]);
        else if (arg == "--server-pid" && hasValue)
            serverPid = std::atol(argv[++i]);
        else if ((arg == "--game-frames" || arg == "--bare-frames") && hasValue) {
            childMode = argv[i];
            childSeconds = std::atoi(argv[++i]);
        } else if (arg == "--idle" && hasValue)
            idleMs = std::atoi(argv[++i]);
        else if (arg == "--start")
            start = true;
        else if (arg == "--expect-activity")
            expectActivity = true;
        else
            return usage();
    }
    // Past 2400 points the frenzy would spoil the one-point-a-tick count.
    if (seconds < 1 || seconds > 100 || startups < 0 || frameRuns < 0 || (idleMs && *idleMs < 1) ||
        (childSeconds && (*childSeconds < 1 || *childSeconds > 100)))
        return usage();
    if (serverPid == 0)
        serverPid = findXServer();
    if (childMode)
        return std::string_view(childMode) == "--game-frames" ? gameFrames(argc, argv, *childSeconds)
                                                              : bareFrames(argc, argv, *childSeconds);
    if (idleMs)
        return idle(argc, argv, *idleMs, start, expectActivity);
    return play(argc, argv, seconds, startups, frameRuns);
}
