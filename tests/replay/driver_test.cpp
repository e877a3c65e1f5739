// The script runner and its JSON: errors before anything runs, ticks, menus, the end line.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "files/atomicfile.h"
#include "game/form.h"
#include "headless/driver.h"
#include "midend/virtualclock.h"
#include "picture/raster.h"
#include "script/dump.h"

namespace farvane::replay {
namespace {

struct Replay {
    Result result;
    std::string out;
    std::string err;
};

Replay replayOf(const std::string& script)
{
    std::istringstream in(script);
    std::ostringstream out;
    std::ostringstream err;
    Replay replay;
    replay.result = runScriptFile("-", in, out, err);
    replay.out = out.str();
    replay.err = err.str();
    return replay;
}

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t found = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++found;
    return found;
}

bool has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

TEST(ReplayErrors, ABadLineStopsTheRunBeforeItStarts)
{
    const Replay replay = replayOf("dump\nmenu mnuStart\nwait 5s\ndump\n");
    EXPECT_EQ(replay.result.exitStatus, 2);
    EXPECT_FALSE(replay.result.finalScene.has_value());
    EXPECT_EQ(replay.out, "") << "not even the dump before the bad line";
    EXPECT_EQ(replay.err, "-:3: wait: MS \"5s\" is not a number; expected decimal digits with an optional leading -\n");
}

TEST(ReplayErrors, MessagesNameTheFileAsGiven)
{
    const std::string path = ::testing::TempDir() + "replay_driver_test_script.txt";
    std::ofstream(path) << "dump\r\n\r\njump\r\n";
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runScriptFile(path, in, out, err).exitStatus, 2);
    EXPECT_EQ(err.str(),
              path + ":3: unknown command \"jump\"; expected wait, tick, key, menu, close, close-at-box or dump\n");
    std::remove(path.c_str());
}

TEST(ReplayErrors, AFileThatCannotBeReadGivesTheReason)
{
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runScriptFile("/nonexistent/game.txt", in, out, err).exitStatus, 2);
    EXPECT_EQ(err.str(), "farvane: cannot read /nonexistent/game.txt: No such file or directory\n");

    std::ostringstream dirErr;
    EXPECT_EQ(runScriptFile("/", in, out, dirErr).exitStatus, 2);
    EXPECT_EQ(dirErr.str(), "farvane: cannot read /: Is a directory\n");
    EXPECT_EQ(out.str(), "");
}

TEST(ReplayRun, AnEmptyScriptWritesNothingAndGivesTheStartScene)
{
    const Replay replay = replayOf("");
    EXPECT_EQ(replay.result.exitStatus, 0);
    EXPECT_EQ(replay.out, "");
    ASSERT_TRUE(replay.result.finalScene.has_value());
    EXPECT_TRUE(replay.result.finalScene->Border[14].Visible);
}

TEST(ReplayRun, TheFinalSceneIsTheStateAfterTheLastCommand)
{
    const Replay replay = replayOf("menu mnuStart\nwait 1200\n");
    ASSERT_TRUE(replay.result.finalScene.has_value());
    EXPECT_EQ(replay.result.finalScene->lblReady.Caption, "Set");
    EXPECT_FALSE(replay.result.finalScene->mnuStart.Enabled);
}

TEST(ReplayRun, DumpsEveryKeyInOrder)
{
    const Replay replay = replayOf("dump\n");
    EXPECT_EQ(count(replay.out, "\n"), 1u);
    EXPECT_EQ(replay.out.rfind("{\"dump\": {\"t\": 0, \"RightEdge\": 14, \"LeftEdge\": 15, \"FallStep\": 100, "
                               "\"BigFallStep\": 0, \"Drift\": [102, 16, 39, -106], \"BigDrift\": [-100, 137], "
                               "\"SpawnLeft\": [0, 0, 0, 0], \"ScoreStep\": 1, \"CountdownStep\": 0, \"Steer\": 0, "
                               "\"Obstacle\": [{\"Left\": 2880, \"Top\": 1080, \"Width\": 255, \"Height\": 495, "
                               "\"Visible\": false}, {\"Left\": 3120, ",
                               0),
              0u)
        << replay.out;
    EXPECT_TRUE(has(replay.out, "\"Shieldf\": [true, true, true], \"Player1\": 12632064, \"Player2\": 12632064, "
                                "\"Player3\": 12632064, \"Player4\": 12632064, \"Player5\": 12632064, "
                                "\"Player6\": 12632064, \"lblScore\": \"0\", \"lblHigh\": \"\", \"lblReady\": \"\", "
                                "\"Timer1\": false, \"Timer2\": false, \"mnuFile\": true, \"mnuStart\": true, "
                                "\"mnuRestart\": true, \"mnuQuit\": true, \"mnuHelp\": true, \"mnuHow\": true, "
                                "\"mnuAbout\": true}}\n"))
        << replay.out;
}

TEST(ReplayTick, RaisesTicksWithoutMovingTheClockOrTheSchedule)
{
    const Replay replay = replayOf("menu mnuStart\nwait 100\ntick Timer2\ndump\nwait 500\ndump\n");
    EXPECT_TRUE(has(replay.out, "{\"dump\": {\"t\": 100, ")) << replay.out;
    EXPECT_TRUE(has(replay.out, "\"CountdownStep\": 1, ")) << "the raised tick said Ready";
    EXPECT_TRUE(has(replay.out, "{\"dump\": {\"t\": 600, "));
    EXPECT_TRUE(has(replay.out, "\"lblReady\": \"Set\"")) << "the scheduled tick still came at 600";
}

TEST(ReplayTick, StopsOnceTheTimerIsOff)
{
    const Replay countdown = replayOf("menu mnuStart\ntick Timer2 1000\ndump\n");
    EXPECT_TRUE(has(countdown.out, "\"t\": 0, ")) << countdown.out;
    EXPECT_TRUE(has(countdown.out, "\"CountdownStep\": 4, ")) << "four ticks, then Timer2 turned itself off";
    EXPECT_TRUE(has(countdown.out, "\"Timer1\": true, \"Timer2\": false"));

    // A game nobody steers is lost long before 100000 ticks; the rest are not raised.
    const Replay lost = replayOf("menu mnuStart\ntick Timer2 4\ntick Timer1 100000\ndump\n");
    EXPECT_EQ(count(lost.out, "{\"msgbox\": {\"prompt\": \"You Lose!\", \"title\": \"Muahahahaa\"}}\n"), 1u);
    EXPECT_TRUE(has(lost.out, "\"lblScore\": \"84\"")) << lost.out;
}

TEST(ReplayTick, ATimerARaisedTickTurnsOnCountsFromNow)
{
    const Replay replay = replayOf("wait 1000\nmenu mnuStart\ntick Timer2 4\nwait 49\ndump\nwait 1\ndump\n");
    EXPECT_TRUE(has(replay.out, "{\"dump\": {\"t\": 1049, ")) << replay.out;
    EXPECT_EQ(count(replay.out, "\"lblScore\": \"0\""), 1u) << "no game tick before 1050";
    EXPECT_TRUE(has(replay.out, "{\"dump\": {\"t\": 1050, "));
    EXPECT_TRUE(has(replay.out, "\"lblScore\": \"1\"")) << "the first game tick at 1050";
}

TEST(ReplayTick, DoesNothingWhileTheTimerIsOff)
{
    const Replay replay = replayOf("tick Timer1 5\ntick Timer2 5\ndump\n");
    EXPECT_TRUE(has(replay.out, "\"CountdownStep\": 0, "));
    EXPECT_TRUE(has(replay.out, "\"lblScore\": \"0\""));
}

TEST(ReplayMenu, AnEntryIsIgnoredWhileItOrItsMenuIsDisabled)
{
    const Replay replay = replayOf("menu mnuStart\nwait 600\nmenu mnuStart\nmenu mnuHow\nmenu mnuAbout\ndump\n");
    EXPECT_TRUE(has(replay.out, "\"lblReady\": \"Ready\"")) << "neither a second Start nor Help cleared it";

    const Replay help = replayOf("menu mnuAbout\ndump\n");
    EXPECT_TRUE(has(help.out, "\"lblReady\": \"Programmed By: Telmasc\""));
}

TEST(ReplayEnd, QuitWritesTheEndLineAndRunsNothingMore)
{
    const Replay replay = replayOf("menu mnuStart\nwait 1000\nmenu mnuQuit\ndump\nwait 5\nmenu mnuQuit\n");
    EXPECT_EQ(replay.result.exitStatus, 0);
    EXPECT_EQ(replay.out, "{\"end\": {\"t\": 1000}}\n");
    ASSERT_TRUE(replay.result.finalScene.has_value());
    EXPECT_EQ(replay.result.finalScene->lblReady.Caption, "Ready");
}

TEST(ReplayEnd, CloseEndsTheProgramLikeQuit)
{
    EXPECT_EQ(replayOf("wait 7\nclose\nclose\ndump\n").out, "{\"end\": {\"t\": 7}}\n");
}

// Closed on the box, the program ends there: the scene --screenshot draws is the one the box came
// up over, not the one the rest of that tick would have left.
TEST(ReplayEnd, CloseAtBoxEndsWithTheSceneTheBoxCameUpOver)
{
    struct Capture : Host {
        const Veskara* form = nullptr;
        std::optional<Scene> atBox;
        void MsgBox(std::string_view, std::string_view) override
        {
            if (!atBox)
                atBox.emplace(*form);
        }
        void End() override {}
    } host;
    Veskara form(host);
    host.form = &form;
    form.Form_Load();
    VirtualClock clock(form);
    form.mnuStart_Click();
    clock.sync();
    clock.advanceTo(6600);
    ASSERT_TRUE(host.atBox.has_value());

    const Replay replay = replayOf("menu mnuStart\nclose-at-box\nwait 10000\ndump\n");
    EXPECT_EQ(replay.out,
              "{\"msgbox\": {\"prompt\": \"You Lose!\", \"title\": \"Muahahahaa\"}}\n{\"end\": {\"t\": 6600}}\n");
    ASSERT_TRUE(replay.result.finalScene.has_value());
    auto pixels = [](const Scene& scene) {
        FrameBuffer frame;
        rasterize(scene, frame);
        return std::vector<std::uint32_t>(frame.pixels(), frame.pixels() + frame.stride() * frame.height());
    };
    EXPECT_TRUE(pixels(*replay.result.finalScene) == pixels(*host.atBox));
    EXPECT_FALSE(pixels(*replay.result.finalScene) == pixels(form)) << "the rest of the tick changes the scene";
}

TEST(ReplayKey, ArrowKeysSteerOnlyWhileTheGameRuns)
{
    EXPECT_TRUE(has(replayOf("key 37\ndump\n").out, "\"Steer\": 0, "));
    const Replay replay = replayOf("menu mnuStart\nwait 2400\nkey 37 3\nkey 37\nkey 39\nkey 37\ndump\n");
    EXPECT_TRUE(has(replay.out, "\"Steer\": 50, ")) << replay.out;
    EXPECT_TRUE(has(replay.out, "\"lblScore\": \"20\""));
}

TEST(ReplayClock, LongWaitsAddUpIn64Bits)
{
    std::string script;
    for (int i = 0; i < 3; ++i)
        script += "wait 2147483647\n";
    EXPECT_TRUE(has(replayOf(script + "dump\n").out, "{\"dump\": {\"t\": 6442450941, "));
}

TEST(JsonOutput, NumbersAreWholeOrShortest)
{
    const struct {
        float value;
        const char* text;
    } rows[] = {{2880.0f, "2880"},
                {-945.0f, "-945"},
                {0.5f, "0.5"},
                {0.1f, "0.1"},
                {-0.0f, "0"},
                {1e20f, "100000002004087734272"},
                {16777216.0f, "16777216"},
                {1.25e-6f, "1.25e-06"}};
    for (const auto& row : rows) {
        std::string out;
        appendJsonNumber(out, row.value);
        EXPECT_EQ(out, row.text) << "for " << row.text;
    }
}

TEST(JsonOutput, StringsAreEscaped)
{
    std::string out;
    appendJsonString(out, std::string("a\"b\\c\nd\x01\xe9", 9));
    EXPECT_EQ(out, "\"a\\\"b\\\\c\\nd\\u0001\\u00e9\"");
}

// A stop signal that comes while a file is being written waits until the target is whole (the
// write committed) or untouched (abandoned), with no temporary file left to it.
TEST(OutputFile, AStopSignalWaitsUntilTheTargetIsWholeOrUntouched)
{
    static volatile std::sig_atomic_t caught = 0;
    struct sigaction action {
    }, saved{};
    action.sa_handler = [](int) { caught = 1; };
    ASSERT_EQ(::sigaction(SIGTERM, &action, &saved), 0);
    const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) / "farvane-signal";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string target = (folder / "shot.png").string();
    for (const bool commit : {true, false}) {
        std::ofstream(target) << "old";
        caught = 0;
        AtomicFile file;
        ASSERT_TRUE(file.open(target) && file.write("new"));
        std::raise(SIGTERM);
        EXPECT_EQ(caught, 0);
        if (commit)
            EXPECT_TRUE(file.commit() && file.close());
        else
            file.abandon();
        EXPECT_EQ(caught, 1);
        std::stringstream text;
        text << std::ifstream(target).rdbuf();
        EXPECT_EQ(text.str(), commit ? "new" : "old");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    }
    ::sigaction(SIGTERM, &saved, nullptr);
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace farvane::replay
