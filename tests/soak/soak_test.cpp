// Many random games headless: keys, waits, ticks and menu choices from a fixed-seed generator,
// with every invariant and the effect of each event checked after every single event.
//
// FARVANE_SOAK_EVENTS sets how many events to play (default 250000, a few seconds);
// FARVANE_SOAK_SEED picks another seed for the event generator.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <random>

#include "tests/soak/program.h"

namespace farvane::soak {
namespace {

std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

std::uint64_t scoreOf(const Scene& scene) { return WholeScore(scene.lblScore.Caption).value_or(0); }

struct Tally {
    std::uint64_t events = 0;
    std::uint64_t gameTicks = 0;
    std::uint64_t countdownTicks = 0;
    std::uint64_t strayTicks = 0;
    std::uint64_t frenzyTicks = 0;
    std::uint64_t bigObstacleTicks = 0;
    std::uint64_t keys = 0;
    std::uint64_t steers = 0;
    std::uint64_t restarts = 0;
    std::uint64_t countdownRestarts = 0;
    std::uint64_t programs = 1;
    std::uint64_t boxes = 0;
    std::uint64_t highestScore = 0;
};

class Soak {
public:
    explicit Soak(std::uint32_t seed) : rng(seed), program(std::make_unique<Program>(verdict)) {}

    void play(std::uint64_t events)
    {
        while (tally.events < events && verdict.ok())
            step();
        tally.boxes += program->host.boxes;
    }

    Verdict verdict;
    Tally tally;
    std::string lastEvent;

private:
    Veskara& form() { return program->form; }

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    void step()
    {
        // While a game runs the player mostly steers and lets time pass; between games the
        // menu comes first.
        const bool running = form().Timer1.Enabled;
        const int pick = below(100);
        if (pick < 25) {
            pressKey(false);
        } else if (pick < 32) {
            // A held key, or a player hammering both: many presses between two ticks.
            for (int n = 1 + below(below(4) == 0 ? 400 : 40); n > 0; --n)
                pressKey(true);
        } else if (pick < 60) {
            wait();
        } else if (pick < (running ? 94 : 70)) {
            tickDirectly(TimerName::Timer1, 1 + below(20));
        } else if (pick < (running ? 97 : 75)) {
            tickDirectly(TimerName::Timer2, 1 + below(5));
        } else {
            chooseMenu();
        }
    }

    // Closes one event: the schedule takes note of the timers, then every invariant is checked.
    void finish(const char* what)
    {
        program->clock.sync();
        ++tally.events;
        lastEvent = what;
        CheckForm(form(), verdict);
    }

    // Runs a wait or a burst of ticks through the script player, checking each tick against the
    // state just before it.
    void playTicks(const Command& command, const char* eachTick)
    {
        Veskara before = form();
        program->host.onTick = [&] {
            checkTick(before);
            finish(eachTick);
            before = form();
        };
        program->player.run(command);
        program->host.onTick = nullptr;
    }

    void wait()
    {
        const int kind = below(10);
        const int ms = kind < 6 ? below(121) : kind < 9 ? below(1501) : below(20001);
        playTicks(Command{.kind = CommandKind::Wait, .amount = ms}, "a timer tick inside a wait");
        finish("the end of a wait");
    }

    void tickDirectly(TimerName timer, int times)
    {
        playTicks(Command{.kind = CommandKind::Tick, .amount = times, .timer = timer}, "a tick raised directly");
    }

    // Tells which timer ticked from the state before it: only a game tick adds to the score.
    void checkTick(const Veskara& before)
    {
        const bool gameTick = before.Timer1.Enabled && (!before.Timer2.Enabled || scoreOf(form()) != scoreOf(before));
        if (gameTick)
            checkGameTick(before);
        else
            checkCountdownTick(before);
    }

    void checkGameTick(const Veskara& before)
    {
        ++tally.gameTicks;
        const std::uint64_t old = scoreOf(before);
        const std::uint64_t now = scoreOf(form());
        tally.frenzyTicks += old >= 2401 ? 1 : 0;
        tally.bigObstacleTicks += old >= 800 ? 1 : 0;
        tally.highestScore = std::max(tally.highestScore, now);
        verdict.expect(now == old + static_cast<std::uint64_t>(form().ScoreStep),
                       "a game tick adds exactly ScoreStep to the score");
        verdict.expect(ShieldsShown(form()).value_or(-1) <= ShieldsShown(before).value_or(-1),
                       "a game tick never brings a shield back");
        verdict.expect(form().Timer1.Enabled || ShieldsShown(form()) == 0, "a game tick stops the game only by losing");
        if (old < 800)
            for (std::size_t i = 0; i < form().BigObstacle.size(); ++i)
                verdict.expect(form().BigObstacle[i].Top == before.BigObstacle[i].Top &&
                                   form().BigObstacle[i].Left == before.BigObstacle[i].Left,
                               "below 800 points the big obstacles do not move");
        verdict.expect(form().Steer == before.Steer && form().LeftEdge == before.LeftEdge, "a game tick never steers");
    }

    void checkCountdownTick(const Veskara& before)
    {
        ++tally.countdownTicks;
        Veskara expected = before;
        expected.CountdownStep = Add16(before.CountdownStep, 1);
        static const char* const words[] = {"Ready", "Set", "Go!"};
        switch (before.CountdownStep) {
        case 0:
        case 1:
        case 2: expected.lblReady.Caption = words[before.CountdownStep]; break;
        case 3:
            expected.lblReady.Caption.clear();
            expected.Timer1.Enabled = true;
            expected.Timer2.Enabled = false;
            break;
        default: ++tally.strayTicks; break;
        }
        verdict.expect(Fingerprint(form()) == Fingerprint(expected),
                       "a countdown tick shows its word, and a stray tick changes nothing but CountdownStep");
    }

    void pressKey(bool arrowsOnly)
    {
        ++tally.keys;
        const int kind = below(arrowsOnly ? 18 : 20);
        std::int16_t code = kind < 9 ? KeyLeft : kind < 18 ? KeyRight : static_cast<std::int16_t>(below(65536) - 32768);
        const std::int16_t codeGiven = code;
        const auto shift = static_cast<std::int16_t>(below(8));
        const Veskara before = form();
        form().Form_KeyDown(code, shift);
        verdict.expect(code == codeGiven, "the key code is never changed");

        const bool acts = before.Timer1.Enabled && ((code == KeyLeft && !before.Border[29].Visible) ||
                                                    (code == KeyRight && !before.Border[28].Visible));
        if (acts) {
            ++tally.steers;
            const int way = code == KeyLeft ? 1 : -1;
            verdict.expect(scoreOf(form()) == scoreOf(before) + 5, "a steering press adds 5 points");
            verdict.expect(form().Steer == before.Steer + 25 * way, "a steering press changes Steer by 25");
            verdict.expect(form().LeftEdge == before.LeftEdge + 2 * way, "a steering press moves the left edge by 2");
            for (std::size_t i = 0; i < form().Obstacle.size(); ++i)
                verdict.expect(form().Obstacle[i].Left == before.Obstacle[i].Left + 945.0f * static_cast<float>(way),
                               "a steering press shifts every small obstacle by 945");
            for (std::size_t i = 0; i < form().BigObstacle.size(); ++i)
                verdict.expect(form().BigObstacle[i].Left ==
                                   before.BigObstacle[i].Left + 945.0f * static_cast<float>(way),
                               "a steering press shifts every big obstacle by 945");
        } else {
            verdict.expect(Fingerprint(form()) == Fingerprint(before), "an ignored key changes nothing at all");
        }
        finish("a key press");
    }

    // Chooses a menu entry as the window would: only when it and its menu are enabled.
    void chooseMenu()
    {
        const bool counting = form().Timer2.Enabled && form().CountdownStep <= 3;
        const int pick = counting && below(3) == 0 ? 40 : below(100);
        const Veskara before = form();
        if (pick < 35) {
            if (!(form().mnuFile.Enabled && form().mnuStart.Enabled))
                return finish("Start, not available");
            form().mnuStart_Click();
            Veskara expected = before;
            expected.lblReady.Caption.clear();
            expected.mnuHelp.Enabled = false;
            expected.mnuStart.Enabled = false;
            expected.Timer2.Enabled = true;
            verdict.expect(Fingerprint(form()) == Fingerprint(expected),
                           "Start only clears the label, "
                           "turns off Start and Help and the countdown on");
            finish("Start");
        } else if (pick < 65) {
            if (!(form().mnuFile.Enabled && form().mnuRestart.Enabled))
                return finish("Restart, not available");
            ++tally.restarts;
            tally.countdownRestarts += counting ? 1 : 0;
            form().mnuRestart_Click();
            checkRestart(before);
            finish("Restart");
        } else if (pick < 98) {
            const bool how = pick < 82;
            if (!(form().mnuHelp.Enabled && (how ? form().mnuHow.Enabled : form().mnuAbout.Enabled)))
                return finish("a help entry, not available");
            how ? form().mnuHow_Click() : form().mnuAbout_Click();
            Veskara expected = before;
            expected.lblReady.Caption = form().lblReady.Caption;
            verdict.expect(Fingerprint(form()) == Fingerprint(expected), "a help entry changes only the message label");
            verdict.expect(!form().lblReady.Caption.empty(), "a help entry shows its text");
            finish("How To Play or About");
        } else {
            // Quit from the menu, or the window's close button: either ends this run of the program.
            if (pick == 98) {
                form().mnuQuit_Click();
                verdict.expect(program->host.programEnded, "Quit ends the program");
            }
            tally.boxes += program->host.boxes;
            program = std::make_unique<Program>(verdict);
            ++tally.programs;
            finish(pick == 98 ? "Quit" : "close");
        }
    }

    void checkRestart(const Veskara& before)
    {
        const std::uint64_t score = scoreOf(before);
        const bool carried = before.lblHigh.Caption.empty() || WholeScore(before.lblHigh.Caption).value_or(0) < score;
        verdict.expect(form().lblHigh.Caption == (carried ? before.lblScore.Caption : before.lblHigh.Caption),
                       "Restart keeps the higher of the high score and the score");
        verdict.expect(form().lblScore.Caption == "0" && form().ScoreStep == 1 && form().FallStep == 100 &&
                           form().CountdownStep == 0,
                       "Restart sets the score to 0, ScoreStep 1, FallStep 100 and CountdownStep 0");
        verdict.expect(!form().Timer1.Enabled && form().Timer2.Enabled == before.Timer2.Enabled,
                       "Restart stops the game and leaves the countdown timer as it was");
        verdict.expect(ShieldsShown(form()) == 3, "Restart shows all three shields");
        verdict.expect(form().Steer == before.Steer && form().LeftEdge == before.LeftEdge &&
                           form().BigFallStep == before.BigFallStep && form().Drift == before.Drift &&
                           form().BigDrift == before.BigDrift,
                       "Restart keeps the road, Steer, BigFallStep and the drifts");
        for (std::size_t i = 0; i < form().Obstacle.size(); ++i)
            verdict.expect(!form().Obstacle[i].Visible && form().Obstacle[i].Left == form().SpawnLeft[i],
                           "Restart hides each small obstacle at its spawn point");
        for (std::size_t i = 0; i < form().BigObstacle.size(); ++i)
            verdict.expect(!form().BigObstacle[i].Visible && form().BigObstacle[i].Left == before.BigObstacle[i].Left,
                           "Restart hides each big obstacle where it stands");
    }

    std::mt19937 rng;
    std::unique_ptr<Program> program;
};

TEST(Soak, RandomGamesKeepEveryInvariantAfterEveryEvent)
{
    const std::uint64_t events = fromEnvironment("FARVANE_SOAK_EVENTS", 250000);
    Soak soak(static_cast<std::uint32_t>(fromEnvironment("FARVANE_SOAK_SEED", 20261208)));
    soak.play(events);
    ASSERT_TRUE(soak.verdict.ok()) << soak.verdict.firstFailure() << " (after event " << soak.tally.events << ", "
                                   << soak.lastEvent << ")";

    const Tally& t = soak.tally;
    std::cout << "soak: " << t.events << " events, " << soak.verdict.checkCount() << " invariant checks; "
              << t.gameTicks << " game ticks (" << t.bigObstacleTicks << " from 800 points, " << t.frenzyTicks
              << " in the frenzy), " << t.countdownTicks << " countdown ticks (" << t.strayTicks << " stray), "
              << t.keys << " keys (" << t.steers << " steered), " << t.restarts << " restarts (" << t.countdownRestarts
              << " during the countdown), " << t.boxes << " message boxes, " << t.programs
              << " runs of the program, highest score " << t.highestScore << "\n";
    // The generator must reach every corner the invariants speak of, or the run proves little.
    EXPECT_GT(t.strayTicks, 0u);
    EXPECT_GT(t.countdownRestarts, 0u);
    EXPECT_GT(t.boxes, 0u);
    EXPECT_GT(t.bigObstacleTicks, 0u);
    EXPECT_GT(t.frenzyTicks, 0u);
    EXPECT_GT(t.programs, 1u);
}

} // namespace
} // namespace farvane::soak
