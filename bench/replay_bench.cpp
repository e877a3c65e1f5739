// Headless replay throughput: a long script of steered games run end to end through the driver.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>
#include <unistd.h>

#include "game/form.h"
#include "headless/driver.h"

namespace {

// Takes any amount of output and keeps none of it, as /dev/null does.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// Answers every box at once, as the headless host does.
class SilentHost : public farvane::Host {
public:
    void MsgBox(std::string_view, std::string_view) override {}
    void End() override {}
};

struct PlayedGames {
    std::string script;
    std::int64_t ticks = 0;      // game ticks the script makes
    std::int64_t scoreTotal = 0; // its dumps' scores, added up
};

// How many of the next `ticks` ticks pass without a hit after `presses` presses of `key` now.
int clearTicks(farvane::Veskara trial, std::int16_t key, int presses, int ticks)
{
    for (int p = 0; p < presses; ++p) {
        std::int16_t code = key;
        trial.Form_KeyDown(code, 0);
    }
    for (int t = 0; t < ticks; ++t) {
        trial.Timer1_Timer();
        if (trial.Player1.BorderColor == farvane::Red)
            return t;
    }
    return ticks;
}

// Plays `games` games as a player who steers back to the middle when a game starts (Restart
// keeps the steering) and, when the next tick would hit, presses one to three times the way
// that stays clear longest; and writes them down as a script: Restart, Start, the countdown,
// key presses and waits, then a dump. A game still running after `longest` ticks stops there.
PlayedGames playGames(int games, int longest)
{
    constexpr int TickMs = 50;
    constexpr int LookAhead = 4; // ticks
    SilentHost host;
    farvane::Veskara form(host);
    form.Form_Load();
    PlayedGames played;
    played.script = "# steered games for the throughput benchmark\n";
    auto press = [&](std::int16_t key) {
        played.script += "key " + std::to_string(key) + "\n";
        form.Form_KeyDown(key, 0);
    };
    for (int g = 0; g < games; ++g) {
        form.mnuRestart_Click();
        form.mnuStart_Click();
        for (int k = 0; k < 4; ++k)
            form.Timer2_Timer();
        played.script += "menu mnuRestart\nmenu mnuStart\nwait 2400\n";
        for (int p = 0; p < 30 && form.Steer != 0; ++p)
            press(form.Steer > 0 ? farvane::KeyRight : farvane::KeyLeft);
        std::int64_t waiting = 0; // ms of ticks not yet written down
        for (int t = 0; t < longest && form.Timer1.Enabled; ++t) {
            if (clearTicks(form, 0, 0, 1) == 0) {
                std::int16_t key = 0;
                int presses = 0;
                int best = -1;
                for (const std::int16_t k : {farvane::KeyLeft, farvane::KeyRight})
                    for (int p = 1; p <= 3; ++p)
                        if (const int clear = clearTicks(form, k, p, LookAhead); clear > best) {
                            best = clear;
                            key = k;
                            presses = p;
                        }
                if (waiting > 0)
                    played.script += "wait " + std::to_string(waiting) + "\n";
                waiting = 0;
                for (int p = 0; p < presses; ++p)
                    press(key);
            }
            form.Timer1_Timer();
            waiting += TickMs;
            ++played.ticks;
        }
        if (waiting > 0)
            played.script += "wait " + std::to_string(waiting) + "\n";
        played.script += "dump\n";
        played.scoreTotal += static_cast<std::int64_t>(farvane::CaptionToNumber(form.lblScore.Caption));
    }
    return played;
}

std::filesystem::path writeScript(const std::string& text)
{
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("farvane-bench-" + std::to_string(::getpid()) + ".txt");
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// The scores the dumps of a run of the script show, added up; -1 if it did not run.
std::int64_t replayedScoreTotal(const std::filesystem::path& script)
{
    std::istringstream noInput;
    std::ostringstream out;
    std::ostringstream err;
    if (farvane::replay::runScriptFile(script.string(), noInput, out, err).exitStatus != 0)
        return -1;
    const std::string text = out.str();
    const std::string key = "\"lblScore\": \"";
    std::int64_t total = 0;
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1))
        total += std::strtoll(text.c_str() + at + key.size(), nullptr, 10);
    return total;
}

void BM_ReplayGames(benchmark::State& state)
{
    static const PlayedGames played = playGames(static_cast<int>(state.range(0)), 2400); // one size only
    const std::filesystem::path script = writeScript(played.script);
    // The driver must play the very games the script was written from.
    if (replayedScoreTotal(script) != played.scoreTotal) {
        state.SkipWithError("the script did not replay as it was played");
        std::filesystem::remove(script);
        return;
    }
    const std::int64_t ticks = played.ticks;
    NullBuffer discard;
    std::ostream out(&discard);
    std::istringstream noInput;
    for (auto _ : state) {
        const farvane::replay::Result result = farvane::replay::runScriptFile(script.string(), noInput, out, out);
        benchmark::DoNotOptimize(result.exitStatus);
    }
    state.SetItemsProcessed(state.iterations() * ticks); // items are game ticks
    state.counters["ticks_per_run"] = static_cast<double>(ticks);
    state.counters["ticks_per_s"] =
        benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove(script);
}
// Rates from wall time: the figure is how fast a replay finishes, not only what it costs the CPU.
BENCHMARK(BM_ReplayGames)->Arg(400)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
