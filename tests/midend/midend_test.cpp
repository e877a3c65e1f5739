// The mid end with no host around it: real time onto the virtual clock past a stall, a hidden
// host and the box; the deadlines a host arms; the recording; the menus; watching a recording.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "headless/driver.h"
#include "midend/midend.h"
#include "picture/scenediff.h"
#include "tests/core/game.h"

namespace farvane {
namespace {

constexpr RealMillis Loaded = 1000; // real time the form loads at: any origin will do

// A host with a clock of its own, calling the mid end as a live host does; the box stays up `boxTakes` ms.
struct TestHost {
    explicit TestHost(bool checkpoints = false, std::optional<ReplayScript> watch = std::nullopt)
        : game(watch ? MidEnd(Loaded, box(), std::move(*watch)) : MidEnd(Loaded, box(), {&sink, checkpoints}))
    {}

    MidEnd::ShowBox box()
    {
        return [this](std::string_view prompt, std::string_view) {
            boxes.emplace_back(prompt);
            if (underBox)
                underBox(game);
            real += boxTakes;
            if (closeAtBox)
                game.close(real);
            return real;
        };
    }

    // Calls the mid end at its deadlines, as a host's timer does, until real time `until`.
    void runUntil(RealMillis until)
    {
        for (std::optional<RealMillis> due; (due = game.deadline()) && *due <= until;) {
            real = std::max(real, *due);
            game.advance(real);
        }
        real = std::max(real, until);
        game.advance(real);
    }

    // A frame every 16 ms, as the page's animation frames come.
    void frames(RealMillis until)
    {
        for (; real + 16 < until; real += 16)
            game.advance(real);
        real = until;
        game.advance(real);
    }

    RealMillis real = Loaded;
    RealMillis boxTakes = 0;
    bool closeAtBox = false;
    std::function<void(MidEnd&)> underBox; // what the host does while the box is up
    std::vector<std::string> boxes;
    StringSink sink;
    MidEnd game;
};

void loseAtTheNextTick(MidEnd& game)
{
    test::setUpLosingTick(game.form());
    game.formChanged();
}

// A game whose next tick, at real Loaded + 50, loses with a box that takes 5 s to answer, and a
// stray countdown that ticks at virtual 600.
void loseWithTheCountdownOn(TestHost& host)
{
    host.boxTakes = 5000;
    host.game.form().mnuStart_Click();
    loseAtTheNextTick(host.game);
    host.game.form().Timer2.Enabled = true;
    host.game.formChanged();
}

std::string recorded(const TestHost& host) { return host.sink.text() + host.game.closingLines(); }

std::string headlessDump(const std::string& script)
{
    std::istringstream in(script + "dump\n");
    std::ostringstream out, err;
    EXPECT_EQ(replay::runScriptFile("-", in, out, err).exitStatus, 0) << err.str();
    const std::string all = out.str();
    return all.substr(all.rfind('\n', all.size() - 2) + 1, all.size() - all.rfind('\n', all.size() - 2) - 2);
}

TEST(MidEnd, RealTimeGoesOntoTheVirtualClock)
{
    const struct {
        const char* what;
        std::function<void(TestHost&)> play;
        std::uint64_t virtualNow;
        const char* ready;      // lblReady afterwards
        const char* recordEnds; // the recording's last lines
    } cases[] = {
        {"frames every 16 ms for 1.2 s", [](TestHost& h) { h.frames(Loaded + 1200); }, 1200, "Set",
         "menu mnuStart\nwait 1200\n"},
        {"one frame after a 10 s stall resumes at the tick that was due",
         [](TestHost& h) { h.game.advance(Loaded + 10000); }, 600, "Ready", "menu mnuStart\nwait 600\n"},
        {"and play goes on from there in step with real time",
         [](TestHost& h) {
             h.game.advance(Loaded + 10000);
             h.game.advance(Loaded + 10600);
         },
         1200, "Set", "wait 1200\n"},
        {"a minute hidden is left out; a frame while hidden runs nothing",
         [](TestHost& h) {
             h.frames(Loaded + 100);
             h.game.setHidden(h.real, true);
             h.game.advance(Loaded + 30000);
             h.game.setHidden(Loaded + 60100, false);
             h.real = Loaded + 60100;
             h.frames(Loaded + 61300);
         },
         1300, "Set", "wait 1300\n"},
        {"a host clock gone wrong runs one due tick at most",
         [](TestHost& h) {
             h.game.advance(std::numeric_limits<double>::quiet_NaN());
             h.game.advance(1e300);
         },
         600, "Ready", "menu mnuStart\nwait 600\n"},
        {"the ticks due before a key run first, and the key is recorded at its time",
         [](TestHost& h) { EXPECT_TRUE(h.game.key(Loaded + 800, 37, 1)); }, 800, "Ready", "wait 800\nkey 37 1\n"},
        {"a late key after a stall runs one tick, not a burst", [](TestHost& h) { h.game.key(Loaded + 10000, 38, 0); },
         600, "Ready", "wait 600\nkey 38 0\n"},
        {"the close button runs no tick first",
         [](TestHost& h) {
             h.game.close(Loaded + 700);
             EXPECT_TRUE(h.game.ended());
             EXPECT_FALSE(h.game.key(Loaded + 800, 37, 0));
         },
         0, "", "menu mnuStart\nclose\n"},
        {"Quit ends the program and closes the record where the game stands",
         [](TestHost& h) {
             h.runUntil(Loaded + 650);
             EXPECT_TRUE(h.game.menu(h.real, MenuName::mnuQuit));
             EXPECT_TRUE(h.game.ended());
             h.game.advance(Loaded + 5000);
         },
         650, "Ready", "wait 650\nmenu mnuQuit\n"},
    };
    for (const auto& row : cases) {
        TestHost host;
        ASSERT_TRUE(host.game.menu(Loaded, MenuName::mnuStart));
        row.play(host);
        EXPECT_EQ(host.game.virtualNow(), row.virtualNow) << row.what;
        EXPECT_EQ(host.game.form().lblReady.Caption, row.ready) << row.what;
        EXPECT_TRUE(recorded(host).ends_with(row.recordEnds)) << row.what << ":\n" << recorded(host);
        if (!host.game.ended()) { // a replay writes no dump after the end
            EXPECT_EQ(headlessDump(recorded(host)), host.game.dump()) << row.what;
        }
    }
}

TEST(MidEnd, TheBoxHoldsTheClockAndTheRecordEndsAtIt)
{
    const struct {
        const char* what;
        bool closeAtBox;
        const char* recordEnds;
    } cases[] = {
        // The losing tick at 50 shows the box for 5 s; a stray countdown ticks at 600 only.
        {"answered", false, "wait 50\nkey 38 0\nwait 560\nkey 38 0\n"},
        {"the window closed on it", true, "\nclose-at-box\nwait 50\n"},
    };
    for (const auto& row : cases) {
        TestHost host;
        host.closeAtBox = row.closeAtBox;
        loseWithTheCountdownOn(host);
        EXPECT_EQ(host.game.deadline(), std::optional(Loaded + 50)) << row.what;
        host.game.key(host.real = Loaded + 50, 38, 0);
        EXPECT_EQ(host.boxes, std::vector<std::string>{"You Lose!"}) << row.what;
        EXPECT_FALSE(host.game.boxIsOpen());
        if (!row.closeAtBox) {
            EXPECT_EQ(host.game.deadline(), std::optional(Loaded + 5600)) << row.what;
            host.game.key(host.real + 560, 38, 0);
            EXPECT_EQ(host.game.virtualNow(), 610u);
            EXPECT_EQ(host.game.form().CountdownStep, 1);
        } else {
            EXPECT_TRUE(host.game.ended());
            EXPECT_EQ(host.game.deadline(), std::nullopt);
        }
        EXPECT_TRUE(recorded(host).ends_with(row.recordEnds)) << row.what << ":\n" << recorded(host);
    }
}

// The clock leaves out the union of the box being up and the host being hidden: an instant
// under both counts once.
TEST(MidEnd, TimeLeftOutCountsOnce)
{
    const struct {
        const char* what;
        std::function<void(MidEnd&)> underBox; // the box is up from 1,050 to 6,050
        std::optional<RealMillis> shownAgain;
        RealMillis countdownTick; // real time the tick due at virtual 600 comes
    } cases[] = {
        {"the box alone", nullptr, std::nullopt, Loaded + 5600},
        {"hidden under the box, shown again 5 s after it", [](MidEnd& game) { game.setHidden(Loaded + 100, true); },
         Loaded + 10050, Loaded + 10600},
        {"hidden and shown again under the box",
         [](MidEnd& game) {
             game.setHidden(Loaded + 100, true);
             game.setHidden(Loaded + 2000, false);
         },
         std::nullopt, Loaded + 5600},
    };
    for (const auto& row : cases) {
        TestHost host;
        host.underBox = row.underBox;
        loseWithTheCountdownOn(host);
        host.runUntil(Loaded + 50);
        ASSERT_EQ(host.boxes.size(), 1u) << row.what;
        if (row.shownAgain) {
            EXPECT_EQ(host.game.deadline(), std::nullopt) << row.what;
            host.game.setHidden(*row.shownAgain, false);
        }
        EXPECT_EQ(host.game.deadline(), std::optional(row.countdownTick)) << row.what;
        host.runUntil(row.countdownTick);
        EXPECT_EQ(host.game.form().CountdownStep, 1) << row.what;
        EXPECT_EQ(host.game.virtualNow(), 600u) << row.what;
    }
}

TEST(MidEnd, DeadlinesAreTheTicksOwnTimesOrNone)
{
    TestHost host(true);
    EXPECT_EQ(host.game.deadline(), std::nullopt); // idle: the host sleeps
    host.game.menu(Loaded, MenuName::mnuStart);
    EXPECT_EQ(host.game.deadline(), std::optional(Loaded + 600));
    host.game.key(Loaded + 30, 37, 0); // an event between ticks does not move the next one
    EXPECT_EQ(host.game.deadline(), std::optional(Loaded + 600));
    host.runUntil(Loaded + 2500);
    // Each word fell at its own time; the game tick is due every 50 ms from 2400.
    EXPECT_EQ(host.game.deadline(), std::optional(Loaded + 2550));
    // While a timer runs the record gets a "wait" at least every second of real time.
    const std::string record = recorded(host);
    EXPECT_NE(record.find("key 37 0\nwait 970\nwait "), std::string::npos) << record;
    host.game.setHidden(host.real, true);
    EXPECT_EQ(host.game.deadline(), std::nullopt);
}

TEST(MidEnd, TheStatusIsWhatTheRoadShows)
{
    const struct {
        const char* what;
        std::function<void(TestHost&)> play;
        GameStatus status; // score, high score, countdown, shields, game over, box up
    } cases[] = {
        {"at start", [](TestHost&) {}, {"0", "", "", 3, false, false}},
        {"the countdown's first word",
         [](TestHost& h) {
             h.game.menu(Loaded, MenuName::mnuStart);
             h.runUntil(Loaded + 600);
         },
         {"0", "", "Ready", 3, false, false}},
        {"a lost game, its box up",
         [](TestHost& h) {
             h.game.menu(Loaded, MenuName::mnuStart);
             loseAtTheNextTick(h.game);
             h.underBox = [&h](MidEnd& game) { h.boxes.back() += game.status().boxUp ? " up" : " down"; };
             h.runUntil(Loaded + 50);
             EXPECT_EQ(h.boxes, std::vector<std::string>{"You Lose! up"});
         },
         {"1", "", "", 0, true, false}},
    };
    for (const auto& row : cases) {
        TestHost host;
        row.play(host);
        EXPECT_EQ(host.game.status(), row.status) << row.what;
    }
}

TEST(MidEnd, TheMenusFollowOneRule)
{
    using Entries = std::array<bool, MenuItems.size()>; // Start, Restart, Quit, How, About
    const struct {
        const char* what;
        std::function<void(TestHost&)> play;
        MenuState menus;
    } cases[] = {
        {"at start everything", [](TestHost&) {}, {Entries{true, true, true, true, true}, true, true}},
        {"in a game the Help menu and its entries are off",
         [](TestHost& h) { h.game.menu(Loaded, MenuName::mnuStart); },
         {Entries{false, true, true, false, false}, true, false}},
        {"a lost game gives Help back",
         [](TestHost& h) {
             h.game.menu(Loaded, MenuName::mnuStart);
             loseAtTheNextTick(h.game);
             h.runUntil(Loaded + 50);
         },
         {Entries{false, true, true, true, true}, true, true}},
        {"once ended nothing", [](TestHost& h) { h.game.close(Loaded); }, {}},
    };
    for (const auto& row : cases) {
        TestHost host;
        row.play(host);
        EXPECT_EQ(host.game.menuState(), row.menus) << row.what;
    }
    // An entry that cannot be chosen does nothing and records nothing.
    TestHost host;
    host.game.menu(Loaded, MenuName::mnuStart);
    EXPECT_FALSE(host.game.menu(Loaded + 10, MenuName::mnuAbout));
    EXPECT_TRUE(recorded(host).ends_with("\nmenu mnuStart\n"));
}

// The picture a host shows: after any run of calls, the frame holds what drawing the scene whole
// draws, and the rectangles of the last render() are the pixels it touched.
TEST(MidEnd, TheFrameAlwaysShowsTheSceneAndSaysWhereItChanged)
{
    const struct {
        const char* what;
        std::function<void(TestHost&)> play;
        bool renders;  // render() says it drew
        int dirtyArea; // device pixels it says it drew then, -1 for some but not all
        int width;     // the frame's, in device pixels
    } cases[] = {
        {"the first render draws it whole", [](TestHost&) {}, true, 441 * 425, 441},
        {"nothing changed, nothing drawn", [](TestHost& h) { h.game.render(); }, false, 0, 441},
        {"a steer draws only what moved",
         [](TestHost& h) {
             h.game.menu(Loaded, MenuName::mnuStart);
             h.runUntil(Loaded + 2500);
             h.game.render();
             h.game.key(h.real, 37, 0);
         },
         true, -1, 441},
        {"another ratio makes the frame again, drawn whole",
         [](TestHost& h) {
             h.game.render();
             h.game.setFrameFormat(2, PixelOrder::Rgba8888);
         },
         true, 882 * 850, 882},
        {"the same format again changes nothing",
         [](TestHost& h) {
             h.game.render();
             h.game.setFrameFormat(1, PixelOrder::Argb32);
         },
         false, 0, 441},
    };
    for (const auto& row : cases) {
        TestHost host;
        row.play(host);
        EXPECT_EQ(host.game.render(), row.renders) << row.what;
        int area = 0;
        for (const PixelRect& rect : host.game.dirty())
            area += rect.width * rect.height;
        if (row.renders && row.dirtyArea >= 0) {
            EXPECT_EQ(area, row.dirtyArea) << row.what;
        } else if (row.renders) {
            EXPECT_TRUE(area > 0 && area < 441 * 425) << row.what << ": " << area;
        }
        const FrameBuffer& frame = host.game.frame();
        FrameBuffer whole(frame.devicePixelRatio(), frame.order());
        rasterize(host.game.scene(), whole);
        EXPECT_EQ(frame.width(), row.width) << row.what;
        EXPECT_TRUE(std::equal(frame.pixels(), frame.pixels() + frame.width() * frame.height(), whole.pixels()))
            << row.what;
    }
}

// A game played live until the box, closed on it; watched, it plays in real time the same way and
// stops on the picture the headless replay draws, whatever the watcher presses.
TEST(MidEnd, AWatchedRecordingPlaysAsRecorded)
{
    TestHost player;
    player.closeAtBox = true;
    player.game.menu(Loaded, MenuName::mnuStart);
    for (int press = 0; player.boxes.empty() && press < 2000; ++press)
        player.game.key(player.real += 170, press % 7 < 3 ? 37 : 39, 0);
    ASSERT_TRUE(player.game.ended());
    const std::string record = recorded(player);

    ScriptError error;
    std::optional<ReplayScript> script = parseScript(record, error);
    ASSERT_TRUE(script);
    TestHost watcher(false, std::move(script));
    watcher.boxTakes = 3000;
    EXPECT_EQ(watcher.game.menuState(), (MenuState{{false, false, true, false, false}, true, false})); // only Quit
    watcher.runUntil(Loaded + 3000);
    EXPECT_FALSE(watcher.game.key(watcher.real, 38, 0));
    EXPECT_FALSE(watcher.game.menu(watcher.real, MenuName::mnuRestart));
    EXPECT_EQ(watcher.game.virtualNow(), 3000u);
    watcher.runUntil(player.real + 10000);
    EXPECT_EQ(watcher.boxes.size(), 1u);
    EXPECT_TRUE(watcher.game.watchOver());
    EXPECT_FALSE(watcher.game.ended()); // the picture stays up for the watcher
    EXPECT_EQ(watcher.game.deadline(), std::nullopt);

    std::istringstream in(record);
    std::ostringstream out, err;
    const replay::Result replayed = replay::runScriptFile("-", in, out, err);
    std::vector<PixelRect> differ;
    changedRects(*replayed.finalScene, watcher.game.scene(), differ);
    EXPECT_TRUE(differ.empty());
    EXPECT_TRUE(watcher.game.menu(watcher.real, MenuName::mnuQuit));
    EXPECT_TRUE(watcher.game.ended());
}

// A watch whose script runs out while a timer still runs is over there: no deadline, so the host
// sleeps instead of waking at once again and again.
TEST(MidEnd, AWatchThatRunsOutMidGameAsksForNoMoreCalls)
{
    ScriptError error;
    TestHost watcher(false, parseScript("menu mnuStart\nwait 3000\n", error));
    // At each deadline, as a host's timer calls, a bounded number of times.
    for (int call = 0; call < 1000; ++call)
        if (const std::optional<RealMillis> due = watcher.game.deadline(); due && *due <= Loaded + 5000)
            watcher.game.advance(*due);
    EXPECT_TRUE(watcher.game.watchOver());
    EXPECT_TRUE(watcher.game.form().Timer1.Enabled);
    EXPECT_EQ(watcher.game.virtualNow(), 3000u);
    EXPECT_EQ(watcher.game.deadline(), std::nullopt);
}

// A game played live past its lost-game box, answered, and on a little: its recording, and the
// virtual time its box came up at.
struct Recording {
    std::string script;
    std::uint64_t boxAt = 0;
};

const Recording& aRecording()
{
    static const Recording made = [] {
        TestHost player;
        Recording recording;
        player.underBox = [&recording](MidEnd& game) { recording.boxAt = game.virtualNow(); };
        player.game.menu(Loaded, MenuName::mnuStart);
        for (int press = 0; player.boxes.empty() && press < 2000; ++press)
            player.game.key(player.real += 170, press % 7 < 3 ? 37 : 39, 0);
        player.runUntil(player.real + 3000);
        player.game.menu(player.real, MenuName::mnuRestart);
        player.runUntil(player.real + 2000);
        recording.script = recorded(player);
        return recording;
    }();
    return made;
}

// The script cut at virtual time `at`: every command up to then, the wait in progress cut there.
std::string cutAt(const std::string& script, std::uint64_t at)
{
    std::istringstream lines(script);
    std::string cut;
    std::uint64_t now = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("wait ")) {
            const std::uint64_t amount = std::stoull(line.substr(5));
            if (now + amount > at)
                return cut + "wait " + std::to_string(at - now) + "\n";
            now += amount;
        }
        cut += line + "\n";
    }
    return cut;
}

TestHost watching(const std::string& script)
{
    ScriptError error;
    std::optional<ReplayScript> parsed = parseScript(script, error);
    EXPECT_TRUE(parsed) << error.message;
    return TestHost(false, std::move(parsed));
}

// Every control lands where the headless replay of the recording cut at that time stands.
TEST(MidEnd, TheWatchControlsLandWhereTheReplayCutThereStands)
{
    const Recording& recording = aRecording();
    const std::uint64_t box = recording.boxAt;
    ASSERT_GT(box, 5100u); // the rows below stand in the game before it
    const std::uint64_t length = TestHost(watching(recording.script)).game.watchPosition().length;
    const struct {
        const char* what;
        std::function<void(TestHost&)> play;
        std::uint64_t at; // where the watch stands afterwards
        bool paused;
        std::size_t boxes; // shown to the watcher
    } cases[] = {
        {"paused, the clock holds",
         [](TestHost& h) {
             h.runUntil(Loaded + 3000);
             h.game.watchPause(h.real, true);
             EXPECT_EQ(h.game.deadline(), std::nullopt);
             h.runUntil(Loaded + 9000);
         },
         3000, true, 0},
        {"seek forward, exactly", [](TestHost& h) { h.game.watchSeek(h.real, 7500); }, 7500, false, 0},
        {"seek back replays from the start (after playing through the box)",
         [](TestHost& h) {
             h.runUntil(Loaded + 9000);
             h.game.watchSeek(h.real, 2345);
         },
         2345, false, 1},
        {"seek past the box shows none", [box](TestHost& h) { h.game.watchSeek(h.real, box + 1000); }, box + 1000,
         false, 0},
        {"a seek beyond the end lands at the end", [](TestHost& h) { h.game.watchSeek(h.real, 1u << 30); }, length,
         false, 0},
        {"playing through the box at 8x shows it",
         [box](TestHost& h) {
             h.game.watchSetSpeed(h.real, 8);
             h.runUntil(Loaded + static_cast<RealMillis>(box + 1000) / 8);
         },
         box + 1000, false, 1},
        {"at a quarter the clock runs at a quarter",
         [](TestHost& h) {
             h.game.watchSetSpeed(h.real, 0.1); // taken as the slowest, 1/4
             h.runUntil(Loaded + 4000);
         },
         1000, false, 0},
        {"a step while paused runs one tick",
         [](TestHost& h) {
             h.game.watchSeek(h.real, 3000);
             h.game.watchPause(h.real, true);
             h.game.watchStep(h.real);
         },
         3050, true, 0},
        {"a step while playing does nothing",
         [](TestHost& h) {
             h.game.watchSeek(h.real, 3000);
             h.game.watchStep(h.real);
         },
         3000, false, 0},
        {"to the next box: the tick that raised it has run, the box unseen",
         [](TestHost& h) { h.game.watchJumpToBox(h.real); }, box, false, 0},
        {"to the end", [](TestHost& h) { h.game.watchJumpToEnd(h.real); }, length, false, 0},
        {"the keys: Right twice, Left, Space, then a step",
         [](TestHost& h) {
             for (const std::int16_t code :
                  {std::int16_t{39}, std::int16_t{39}, std::int16_t{37}, std::int16_t{32}, std::int16_t{190}})
                 EXPECT_TRUE(h.game.key(h.real, code, 0)) << code;
             EXPECT_FALSE(h.game.key(h.real, 38, 0)); // the recorded game's keys are not the watcher's
         },
         5050, true, 0},
        {"Home and End",
         [](TestHost& h) {
             h.game.key(h.real, 35, 0);
             h.game.key(h.real, 36, 0);
         },
         0, false, 0},
    };
    for (const auto& row : cases) {
        TestHost host = watching(recording.script);
        row.play(host);
        const WatchPosition position = host.game.watchPosition();
        EXPECT_EQ(position.at, row.at) << row.what;
        EXPECT_EQ(position.length, length) << row.what;
        EXPECT_EQ(position.paused, row.paused) << row.what;
        EXPECT_EQ(position.over, row.at == length) << row.what;
        EXPECT_EQ(host.boxes.size(), row.boxes) << row.what;
        EXPECT_EQ(host.game.dump(), headlessDump(cutAt(recording.script, row.at))) << row.what;
    }
}

// Speed scales real time: the deadlines come at the recorded intervals over the speed, and a
// resumed watch goes on from where it held.
TEST(MidEnd, TheWatchDeadlinesFollowTheSpeed)
{
    const struct {
        double speed;
        RealMillis firstTick; // the countdown's first word, due at virtual 600
        RealMillis interval;  // between the words, 600 ms recorded
    } cases[] = {{8, 75, 75}, {2, 300, 300}, {1, 600, 600}, {0.25, 2400, 2400}};
    for (const auto& row : cases) {
        TestHost host = watching("menu mnuStart\nwait 5000\n");
        host.game.watchSetSpeed(Loaded, row.speed);
        host.game.advance(Loaded); // the menu choice at 0
        EXPECT_EQ(host.game.deadline(), std::optional(Loaded + row.firstTick)) << row.speed;
        host.game.advance(*host.game.deadline());
        EXPECT_EQ(host.game.form().lblReady.Caption, "Ready") << row.speed;
        EXPECT_EQ(host.game.deadline(), std::optional(Loaded + row.firstTick + row.interval)) << row.speed;
        // Paused for a minute at the first word, resumed: the next word comes an interval later.
        host.game.watchPause(Loaded + row.firstTick, true);
        host.game.watchPause(Loaded + row.firstTick + 60000, false);
        EXPECT_EQ(host.game.deadline(), std::optional(Loaded + row.firstTick + 60000 + row.interval)) << row.speed;
    }
}

// What a window's title says of a watch, after the form's caption.
TEST(MidEnd, TheWatchTitleSaysWhereItStands)
{
    const struct {
        WatchPosition position;
        const char* title;
    } cases[] = {
        {{7599, 42000, 2, true, false}, "Farvane V1.33.7 \u2014 0:07.5 / 0:42.0, 2\u00d7, paused"},
        {{0, 65000, 0.25, false, false}, "Farvane V1.33.7 \u2014 0:00.0 / 1:05.0, \u00bc\u00d7"},
        {{3600000, 3600000, 1.5, true, true}, "Farvane V1.33.7 \u2014 1:00:00.0 / 1:00:00.0, 1.5\u00d7, over"},
    };
    for (const auto& row : cases)
        EXPECT_EQ(watchTitle(row.position), row.title);
}

// A burst of a billion ticks (stray countdown ticks after a lost game) goes in slices: each call
// returns with the next one due at once, so the window still takes its close button.
TEST(MidEnd, AWatchedBurstGoesInSlicesAndTheWindowStillCloses)
{
    ScriptError error;
    const std::string burst = "menu mnuStart\nwait 600\nmenu mnuRestart\nwait 60000\nmenu mnuStart\ntick Timer2 ";
    TestHost watcher(false, parseScript(burst + "1000000000\n", error));
    for (int call = 0; call < 100000 && watcher.game.form().CountdownStep < 100; ++call)
        watcher.game.advance(watcher.real = std::max(watcher.real, watcher.game.deadline().value_or(watcher.real)));
    ASSERT_EQ(watcher.boxes.size(), 1u);
    ASSERT_GE(watcher.game.form().CountdownStep, 100);
    watcher.game.advance(watcher.real);
    EXPECT_FALSE(watcher.game.watchOver());
    ASSERT_TRUE(watcher.game.deadline());
    EXPECT_LE(*watcher.game.deadline(), watcher.real);
    watcher.game.close(watcher.real);
    EXPECT_TRUE(watcher.game.ended());

    // A seek through a burst goes in slices too, and lands where it was sent.
    TestHost seeker = watching(burst + "2000000\nwait 100\n");
    seeker.game.watchSeek(seeker.real, 60700);
    EXPECT_LT(seeker.game.watchPosition().at, 60700u);
    ASSERT_TRUE(seeker.game.deadline());
    EXPECT_LE(*seeker.game.deadline(), seeker.real);
    for (int call = 0; call < 100000 && seeker.game.watchPosition().at < 60700; ++call)
        seeker.game.advance(seeker.real);
    EXPECT_EQ(seeker.game.watchPosition().at, 60700u);
    EXPECT_TRUE(seeker.boxes.empty());
}

} // namespace
} // namespace farvane
