// Times the real game window on the offscreen platform: start-up to the first painted frame,
// peak memory, the game tick's period over a stretch of play, the countdown's words, and how
// quiet the window is when no game runs.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
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
    std::vector<std::pair<double, std::string>> captionChanges; // lblReady, with monotonic ms
    std::vector<double> tickTimes; // one entry per game tick, monotonic ms

    bool notify(QObject* receiver, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (counting && type == QEvent::Timer)
            ++timerEvents;
        const bool viewPaint = window != nullptr && type == QEvent::Paint && receiver == window->sceneView();
        if (counting && type == QEvent::Paint)
            ++paintEvents;
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

int usage()
{
    std::fprintf(stderr, "usage: timingprobe [--seconds S] [--startups N]\n"
                         "       timingprobe --idle MS [--start] [--expect-activity]\n");
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
    double ms = 0;    // process start to first painted frame
    long rssKb = 0;   // peak RSS at that frame
};

// Starts this program in first-frame mode and reads what it reports.
std::optional<StartUp> startOnce(const char* self)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    char mode[] = "--first-frame";
    char name[] = "timingprobe";
    char* childArgv[] = {name, mode, nullptr};
    pid_t child = 0;
    const double spawnedAt = monotonicMs();
    const int failed = posix_spawn(&child, self, &actions, nullptr, childArgv, environ);
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
    double frameAt = 0;
    long rss = 0;
    if (std::sscanf(text.c_str(), "%lf %ld", &frameAt, &rss) != 2)
        return std::nullopt;
    return StartUp{frameAt - spawnedAt, rss};
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
int play(int argc, char** argv, int seconds, int startups)
{
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
        std::fprintf(stderr, "timingprobe: the game did not run (%zu ticks, %d boxes)\n", ticks.size(),
                     session.boxes);
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
        else if (arg == "--idle" && hasValue)
            idleMs = std::atoi(argv[++i]);
        else if (arg == "--start")
            start = true;
        else if (arg == "--expect-activity")
            expectActivity = true;
        else
            return usage();
    }
    // Past 2400 points the frenzy would spoil the one-point-a-tick count.
    if (seconds < 1 || seconds > 100 || startups < 0 || (idleMs && *idleMs < 1))
        return usage();
    if (idleMs)
        return idle(argc, argv, *idleMs, start, expectActivity);
    return play(argc, argv, seconds, startups);
}
