// The limits that only long play reaches: the frenzy past the largest ScoreStep, the stray
// countdown past the largest CountdownStep, and the end of the program in the middle of things.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "headless/driver.h"
#include "tests/soak/program.h"

namespace farvane::soak {
namespace {

// Takes the player's box far below the road, so that no obstacle ever reaches it and a game
// runs for as long as the test likes. Nothing in the game moves the player.
void putPlayerOutOfReach(Veskara& form)
{
    form.Player1.Top = 1.0e6f;
    form.Player6.Top = 1.0e6f;
}

// Start, then the countdown's four ticks on the clock: the game runs from here.
void startGame(Program& program)
{
    program.form.mnuStart_Click();
    program.clock.sync();
    program.clock.advanceTo(program.clock.now() + 2400);
    ASSERT_TRUE(program.form.Timer1.Enabled);
}

// The score the game must show, worked out here in 64-bit integers from the schedule's rules.
struct ExpectedScore {
    std::uint64_t score = 0;
    std::int64_t step = 1;

    void tick()
    {
        const bool milestone = score >= 600 && score <= 2400 && score % 200 == 0;
        if (!milestone && score >= 2401)
            step = std::min<std::int64_t>(step + 504, 32767);
        score += static_cast<std::uint64_t>(step);
    }
};

TEST(LongRun, FrenzyGoesOnPastTheLargestScoreStepAndTheScoreKeepsEveryDigit)
{
    Verdict verdict;
    Program program(verdict);
    putPlayerOutOfReach(program.form);
    startGame(program);

    ExpectedScore expected;
    std::uint64_t frenzyTicks = 0;
    // 200,000 frenzy ticks take the score past 2^32, so no 32-bit step anywhere would survive.
    while (frenzyTicks < 200000) {
        const bool frenzy = expected.score >= 2401;
        program.form.Timer1_Timer();
        program.clock.sync();
        expected.tick();
        frenzyTicks += frenzy ? 1 : 0;
        ASSERT_EQ(program.form.lblScore.Caption, std::to_string(expected.score))
            << "after " << frenzyTicks << " frenzy ticks";
        ASSERT_EQ(program.form.ScoreStep, expected.step) << "after " << frenzyTicks << " frenzy ticks";
        if (frenzyTicks == 65) {
            EXPECT_EQ(program.form.ScoreStep, 32761);
        }
        CheckForm(program.form, verdict);
        ASSERT_TRUE(verdict.ok()) << verdict.firstFailure() << " after " << frenzyTicks << " frenzy ticks";
    }
    EXPECT_EQ(program.form.ScoreStep, 32767);
    EXPECT_EQ(program.form.FallStep, 901);
    EXPECT_EQ(program.form.BigFallStep, 901);
    EXPECT_TRUE(program.form.Timer1.Enabled);
    EXPECT_GT(expected.score, std::uint64_t{1} << 32);
    EXPECT_EQ(program.host.boxes, 0u);
}

TEST(LongRun, SixtySixthFrenzyTickHoldsScoreStepAt32767AndAddsIt)
{
    Verdict verdict;
    Program program(verdict);
    putPlayerOutOfReach(program.form);
    startGame(program);
    // 2401 ticks bring the score from 0 to 2401; the next 65 are the frenzy up to ScoreStep 32761.
    for (int n = 0; n < 2401 + 65; ++n)
        program.form.Timer1_Timer();
    ASSERT_EQ(program.form.ScoreStep, 32761);
    ASSERT_EQ(program.form.lblScore.Caption, std::to_string(2401 + 1081145));

    program.form.Timer1_Timer();
    EXPECT_EQ(program.form.ScoreStep, 32767);
    EXPECT_EQ(program.form.lblScore.Caption, std::to_string(2401 + 1081145 + 32767));
    EXPECT_TRUE(program.form.Timer1.Enabled);
}

// Restart in the countdown, let the game it starts by itself be lost, then Start: the countdown
// timer ticks on with nothing to show.
void enterStrayAfterLostGame(Program& program)
{
    program.form.mnuStart_Click();
    program.clock.sync();
    program.clock.advanceTo(600); // "Ready"
    program.form.mnuRestart_Click();
    program.clock.sync();
    program.clock.advanceTo(600 + 2400);
    ASSERT_TRUE(program.form.Timer1.Enabled);
    ASSERT_TRUE(program.form.mnuStart.Enabled);
    // Without steering the obstacles find the player within a few thousand ticks.
    for (int n = 0; n < 100000 && program.form.Timer1.Enabled; ++n)
        program.clock.advanceTo(program.clock.now() + 50);
    ASSERT_FALSE(program.form.Timer1.Enabled);
    ASSERT_GT(program.host.boxes, 0u);
    program.form.mnuStart_Click();
    program.clock.sync();
    ASSERT_TRUE(program.form.Timer2.Enabled);
    ASSERT_EQ(program.form.CountdownStep, 4);
}

TEST(LongRun, StrayCountdownPast32764TicksHoldsAt32767AndChangesNothingElse)
{
    Verdict verdict;
    Program program(verdict);
    enterStrayAfterLostGame(program);

    const VirtualClock::Millis entered = program.clock.now();
    Veskara expected = program.form;
    std::uint64_t ticks = 0;
    // Six hours on the clock: 36,000 ticks of 600 ms, one at a time, each checked.
    const VirtualClock::Millis until = entered + 6ull * 3600 * 1000;
    for (;;) {
        const auto due = program.clock.nextDue();
        if (!due || *due > until)
            break;
        program.clock.advanceTo(*due, [] { return false; });
        ++ticks;
        expected.CountdownStep = static_cast<std::int16_t>(std::min<std::uint64_t>(4 + ticks, 32767));
        ASSERT_EQ(Fingerprint(program.form), Fingerprint(expected)) << "at stray tick " << ticks;
        if (ticks == 32763) {
            ASSERT_EQ(program.form.CountdownStep, 32767);
        }
        CheckForm(program.form, verdict);
        ASSERT_TRUE(verdict.ok()) << verdict.firstFailure() << " at stray tick " << ticks;
    }
    EXPECT_EQ(ticks, 36000u);
    EXPECT_EQ(program.form.CountdownStep, 32767);
    EXPECT_TRUE(program.form.Timer2.Enabled);

    // Restart still brings the countdown back: it replays and starts the game by itself.
    program.form.mnuRestart_Click();
    program.clock.sync();
    program.clock.advanceTo(program.clock.now() + 600);
    EXPECT_EQ(program.form.lblReady.Caption, "Ready");
    program.clock.advanceTo(program.clock.now() + 1800);
    EXPECT_TRUE(program.form.Timer1.Enabled);
    EXPECT_FALSE(program.form.Timer2.Enabled);
    EXPECT_EQ(program.form.CountdownStep, 4);
}

// Runs a script through the headless driver, as `farvane --script -` does.
struct ScriptRun {
    int status = -1;
    std::string out;
    std::string err;
    replay::Result result;
};

ScriptRun runScript(const std::string& script)
{
    std::istringstream in(script);
    std::ostringstream out;
    std::ostringstream err;
    ScriptRun run;
    run.result = replay::runScriptFile("-", in, out, err);
    run.status = run.result.exitStatus;
    run.out = out.str();
    run.err = err.str();
    return run;
}

TEST(LongRun, StrayCountdownInAScriptSaturatesWhileTheGameRunsOn)
{
    // Start during the game that a countdown Restart let start by itself: both timers then run.
    const ScriptRun run = runScript("menu mnuStart\nwait 600\nmenu mnuRestart\nwait 2400\nmenu mnuStart\n"
                                    "tick Timer2 40000\ndump\n");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"CountdownStep\": 32767"), std::string::npos) << run.out;
    ASSERT_TRUE(run.result.finalScene);
    EXPECT_TRUE(run.result.finalScene->Timer1.Enabled);
    EXPECT_TRUE(run.result.finalScene->Timer2.Enabled);
    EXPECT_EQ(run.result.finalScene->lblReady.Caption, "");
}

TEST(LongRun, QuitDuringTheCountdownEndsTheRunThere)
{
    const ScriptRun run = runScript("menu mnuStart\nwait 1000\nmenu mnuQuit\nwait 5000\ndump\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "{\"end\": {\"t\": 1000}}\n");
    ASSERT_TRUE(run.result.finalScene);
    EXPECT_EQ(run.result.finalScene->lblReady.Caption, "Ready");
}

TEST(LongRun, CloseDuringTheCountdownEndsTheRunThere)
{
    const ScriptRun run = runScript("menu mnuStart\nwait 1300\nclose\nmenu mnuRestart\ndump\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"end\": {\"t\": 1300}}\n");
    ASSERT_TRUE(run.result.finalScene);
    EXPECT_EQ(run.result.finalScene->lblReady.Caption, "Set");
}

TEST(LongRun, QuitDuringAGameEndsTheRunWithTheGameAsItStood)
{
    const ScriptRun run = runScript("menu mnuStart\nwait 3000\nkey 37\nmenu mnuQuit\nkey 37\ndump\nclose\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"end\": {\"t\": 3000}}\n");
    ASSERT_TRUE(run.result.finalScene);
    EXPECT_TRUE(run.result.finalScene->Timer1.Enabled);
    EXPECT_TRUE(run.result.finalScene->Border[17].Visible); // one press, not two
    EXPECT_FALSE(run.result.finalScene->Border[19].Visible);
}

TEST(LongRun, CloseAfterAnHourOfLostGamesWritesEveryBoxThenOneEndLine)
{
    // Lose, Restart, Start, over and over for an hour of clock, then close.
    std::string script;
    for (int game = 0; game < 60; ++game)
        script += "menu mnuStart\nwait 60000\nmenu mnuRestart\n";
    script += "close\ndump\n";
    const ScriptRun run = runScript(script);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string box = "{\"msgbox\": {\"prompt\": \"You Lose!\", \"title\": \"Muahahahaa\"}}\n";
    const std::string end = "{\"end\": {\"t\": 3600000}}\n";
    std::size_t boxes = 0;
    std::size_t at = 0;
    while (at < run.out.size() && run.out.compare(at, box.size(), box) == 0) {
        at += box.size();
        ++boxes;
    }
    EXPECT_GE(boxes, 60u); // at least one lost game a minute
    EXPECT_EQ(run.out.substr(at), end);
}

} // namespace
} // namespace farvane::soak
