// The farvane program: the game window, or a replay script run headless.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>

#include "cli/screenshot.h"
#include "farvane/version.h"
#include "files/atomicfile.h"
#include "headless/driver.h"
#include "midend/player.h"
#include "midend/window.h"
#include "script/script.h"

namespace {

constexpr const char* Usage =
    "Usage: farvane [--record FILE | --watch FILE [--speed S] [--from SECONDS]]\n"
    "       farvane --script FILE [--screenshot OUT.png [--scale R]]\n"
    "       farvane --help | --version\n"
    "\n"
    "  (no option)          open the game window\n"
    "  --record FILE        open the window and write every event the game handles to FILE,\n"
    "                       as a script that --script replays\n"
    "  --watch FILE         open the window and play the script FILE in it in real time\n"
    "  --speed S            with --watch: play at S times real time, 0.25 to 8 (default 1)\n"
    "  --from SECONDS       with --watch: start at SECONDS of the recording, 0 to its length\n"
    "  --script FILE        run the replay script FILE headless ('-' reads standard input)\n"
    "  --screenshot OUT.png with --script: write the window's client area after the script\n"
    "  --scale R            with --screenshot: draw it at device pixel ratio R, 1 to 4 (default 1)\n"
    "  --help               show this text\n"
    "  --version            show the version\n";

// --help adds the keys and the script commands, one line each, as the manual page has them.
constexpr const char* Details =
    "\n"
    "Keys in the window:\n"
    "  Left, Right          steer: swing the road and shift every obstacle; 5 points a press\n"
    "  F10, Alt             reach the menus; the arrow keys and Return then choose in them\n"
    "\n"
    "Keys while watching:\n"
    "  Space                pause and resume\n"
    "  Left, Right          seek 5 s back and forward\n"
    "  [ and ]              halve and double the speed\n"
    "  .                    step one tick while paused\n"
    "  Home, End            jump to the start and the end\n"
    "\n"
    "Script commands, one a line (blank lines and lines starting with # are skipped):\n"
    "  wait MS              advance the virtual clock MS ms, running every timer tick due\n"
    "  tick TIMER [N]       raise Timer1 or Timer2's tick N times at once, while it is enabled\n"
    "  key CODE [SHIFT]     one key press: 37 is Left, 39 is Right; SHIFT 1 Shift, 2 Ctrl, 4 Alt\n"
    "  menu ENTRY           choose mnuStart, mnuRestart, mnuQuit, mnuHow or mnuAbout\n"
    "  close                close the window, as Quit does\n"
    "  close-at-box         close the window with the next message box up: its tick stops there\n"
    "  dump                 write the whole game state as one line of JSON\n";

// Standard output and error as plain descriptors: the program carries no stream library.
farvane::replay::DescriptorSink standardOutput(STDOUT_FILENO);
farvane::replay::DescriptorSink standardError(STDERR_FILENO);

void tell(std::string_view message) { standardError.write(message); }

int usageError(const std::string& message)
{
    tell("farvane: " + message + "\n" + Usage);
    return 2;
}

// What goes to standard output must arrive: a failure is told (a closed pipe ends quietly, as
// other command-line tools do) and makes the exit status non-zero.
int print(std::string_view text)
{
    if (standardOutput.write(text))
        return 0;
    const int reason = errno != 0 ? errno : EIO;
    if (reason != EPIPE)
        tell(std::string("farvane: cannot write standard output: ") + std::strerror(reason) + "\n");
    return 1;
}

// An output file is checked before anything runs, so a bad name wastes no game and no replay.
bool outputAllowed(const std::string& path, const std::string& script)
{
    const std::string problem = farvane::checkOutputTarget(path, script);
    if (problem.empty())
        return true;
    tell("farvane: cannot write " + (path.empty() ? std::string("\"\"") : farvane::printableName(path)) + ": " +
         problem + "\n");
    return false;
}

// A number in plain decimal ("2", "1.5") from `low` to `high`: no sign, exponent or other
// spelling, so a typo is told rather than read as something else.
std::optional<double> parseDecimal(const std::string& text, double low, double high)
{
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? std::string("0") : text.substr(point + 1);
    auto digits = [](const std::string& part) {
        return !part.empty() && part.size() <= 16 &&
               std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(whole) || !digits(fraction))
        return std::nullopt;
    const double value = std::strtod(text.c_str(), nullptr);
    if (!(value >= low && value <= high))
        return std::nullopt;
    return value;
}

#if defined(FARVANE_DESKTOP) || defined(FARVANE_WINDOWS)
// Virtual time in seconds, exactly, as --from takes it: "42", "7.25".
std::string secondsText(std::uint64_t ms)
{
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    return std::to_string(ms / 1000) + (fraction.empty() ? "" : "." + fraction);
}
#endif

} // namespace

#ifdef _WIN32
// Called by the Windows entry point (cli/winmain.cpp) with the arguments in UTF-8.
int farvaneMain(int argc, char** argv)
#else
int main(int argc, char** argv)
#endif
{
    // Before anything else: no file of ours may take the number of a closed standard descriptor.
    farvane::guardStandardDescriptors();
#ifdef SIGPIPE
    // A reader that goes away fails the write instead of killing the program: a closed pipe then
    // ends it quietly, with status 1.
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
    // Past the file size limit (ulimit -f) a write fails with EFBIG and is told like a full disk,
    // instead of the signal killing the program with a record cut mid-line.
    std::signal(SIGXFSZ, SIG_IGN);
#endif

    std::string script;
    std::string screenshot;
    std::string record;
    std::string scaleText;
    std::string watch;
    std::string speedText;
    std::string fromText;
    bool haveSpeed = false;
    bool haveFrom = false;
    bool haveScript = false;
    bool haveWatch = false;
    bool haveScreenshot = false;
    bool haveRecord = false;
    bool haveScale = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](bool& seen, std::string& into) {
            if (seen)
                return usageError(arg + " given twice");
            if (i + 1 >= argc)
                return usageError(arg + (arg == "--scale" || arg == "--speed" || arg == "--from"
                                             ? " needs a number"
                                             : " needs a file name"));
            seen = true;
            into = argv[++i];
            return 0;
        };
        int status = 0;
        if (arg == "--help" || arg == "-h") {
            return print(std::string(Usage) + Details);
        } else if (arg == "--version") {
            return print(FARVANE_VERSION "\n"); // the bare version, as scripts read it
        } else if (arg == "--script") {
            status = value(haveScript, script);
        } else if (arg == "--screenshot") {
            status = value(haveScreenshot, screenshot);
        } else if (arg == "--scale") {
            status = value(haveScale, scaleText);
        } else if (arg == "--speed") {
            status = value(haveSpeed, speedText);
        } else if (arg == "--from") {
            status = value(haveFrom, fromText);
        } else if (arg == "--record") {
            status = value(haveRecord, record);
        } else if (arg == "--watch") {
            status = value(haveWatch, watch);
        } else {
            status = usageError("unknown option \"" + arg + "\"");
        }
        if (status != 0)
            return status;
    }

    if (haveRecord && haveScript)
        return usageError("--record opens the window and cannot be used with --script");
    if (haveWatch && (haveScript || haveRecord))
        return usageError("--watch opens the window and cannot be used with --script or --record");
    if (haveScreenshot && !haveScript)
        return usageError("--screenshot needs --script");
    if (haveScale && !haveScreenshot)
        return usageError("--scale needs --screenshot");
    const std::optional<double> scale = haveScale ? parseDecimal(scaleText, 1, 4) : 1.0;
    if (!scale)
        return usageError("--scale needs a device pixel ratio from 1 to 4 (such as 2 or 1.5), not \"" + scaleText +
                          "\"");
    if ((haveSpeed || haveFrom) && !haveWatch)
        return usageError(std::string(haveSpeed ? "--speed" : "--from") + " needs --watch");
    const std::optional<double> speed = haveSpeed ? parseDecimal(speedText, 0.25, 8) : 1.0;
    if (!speed)
        return usageError("--speed needs a speed from 0.25 to 8 (such as 2 or 0.5), not \"" + speedText + "\"");
    // Its upper bound, the recording's length, is known once the script is read.
    const std::optional<double> from = haveFrom ? parseDecimal(fromText, 0, 1e12) : 0.0;
    if (!from)
        return usageError("--from needs a time in seconds from 0 to the recording's length (such as 7.5), not \"" +
                          fromText + "\"");

    if (haveRecord && !outputAllowed(record, {}))
        return 2;
    if (haveScreenshot && !outputAllowed(screenshot, script))
        return 2;

    if (haveScreenshot && !farvane::isPngPath(screenshot)) {
        tell("farvane: cannot write " + farvane::printableName(screenshot) +
             ": a screenshot is written as PNG only; give a file name ending in .png\n");
        return 2;
    }

    if (!haveScript) {
#if defined(FARVANE_DESKTOP) || defined(FARVANE_WINDOWS)
        if (haveWatch) {
            // Read and checked whole before anything shows, with the errors of --script.
            farvane::replay::DescriptorSource standardInput(STDIN_FILENO);
            std::optional<farvane::ReplayScript> watched =
                farvane::replay::loadScript(watch, standardInput, standardError);
            if (!watched)
                return 2;
            const std::uint64_t length = farvane::scriptLength(*watched);
            const auto fromMs = static_cast<std::uint64_t>(std::llround(*from * 1000));
            if (fromMs > length)
                return usageError("--from " + fromText + " is past the end of " + farvane::printableName(watch) +
                                  ", which lasts " + secondsText(length) + " seconds");
            return farvane::runWindow(argc, argv, {}, std::move(watched), farvane::WatchStart{*speed, fromMs});
        }
        return farvane::runWindow(argc, argv, record);
#else
        tell("farvane: this build has no window (it was configured with FARVANE_DESKTOP=OFF);\n"
             "run a script headless with: farvane --script FILE\n");
        return 2;
#endif
    }

    // The replay writes its lines as they come and tells of its own failures.
    farvane::replay::DescriptorSource standardInput(STDIN_FILENO);
    try {
        farvane::replay::Result result =
            farvane::replay::runScript(script, standardInput, standardOutput, standardError);
        if (result.exitStatus != 0 || !haveScreenshot || !result.finalScene)
            return result.exitStatus;
        return farvane::saveScreenshot(*result.finalScene, screenshot, *scale) ? 0 : 1;
    } catch (const std::bad_alloc&) {
        tell("farvane: not enough memory to run " + farvane::printableName(script) + "\n");
        return 1;
    }
}
