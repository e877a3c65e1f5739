// The browser's host: real time onto the virtual clock, past a stall and a hidden tab.
#include <gtest/gtest.h>

#include <functional>

#include "web/webgame.h"

namespace farvane {
namespace {

// A frame every 16 ms from `from` to `to`, real time.
void frames(WebGame& game, double from, double to)
{
    for (double real = from; real < to; real += 16)
        game.runDueTicks(real);
    game.runDueTicks(to);
}

TEST(WebGame, RealTimeGoesOntoTheVirtualClockWithoutJumps)
{
    // The page loads at real time 1000 ms, and Start is chosen at once.
    const struct {
        const char* what;
        std::function<void(WebGame&)> play;
        VirtualClock::Millis virtualNow;
        const char* ready;
    } cases[] = {
        {"a frame every 16 ms for 1.2 s", [](WebGame& game) { frames(game, 1000, 2200); }, 1200, "Set"},
        {"one frame after a 10 s stall resumes at the tick that was due",
         [](WebGame& game) { game.runDueTicks(11000); }, 600, "Ready"},
        {"and play goes on from there",
         [](WebGame& game) {
             game.runDueTicks(11000);
             game.runDueTicks(11600);
         },
         1200, "Set"},
        {"a minute in a hidden tab is left out",
         [](WebGame& game) {
             frames(game, 1000, 1100);
             game.setHidden(1100, true);
             game.runDueTicks(30000); // a frame that comes anyway runs nothing
             game.setHidden(61100, false);
             frames(game, 61100, 62300);
         },
         1300, "Set"},
    };
    for (const auto& row : cases) {
        WebGame game(1000, 1.0, [](std::string_view, std::string_view) { return 0.0; });
        ASSERT_TRUE(game.menu(1000, MenuName::mnuStart));
        row.play(game);
        EXPECT_EQ(game.virtualNow(), row.virtualNow) << row.what;
        EXPECT_EQ(game.form().lblReady.Caption, row.ready) << row.what;
    }
}

TEST(WebGame, TheNextDueTickIsInRealTimeAndNoneWhileNothingCanRun)
{
    const struct {
        const char* what;
        std::function<void(WebGame&)> play;
        std::optional<double> due;
    } cases[] = {
        {"before Start no timer runs", [](WebGame&) {}, std::nullopt},
        {"the first countdown word", [](WebGame& game) { game.menu(1000, MenuName::mnuStart); }, 1600},
        {"after a stall, from where play resumed",
         [](WebGame& game) {
             game.menu(1000, MenuName::mnuStart);
             game.runDueTicks(11000);
         },
         11600},
        {"a hidden tab",
         [](WebGame& game) {
             game.menu(1000, MenuName::mnuStart);
             game.setHidden(1100, true);
         },
         std::nullopt},
    };
    for (const auto& row : cases) {
        WebGame game(1000, 1.0, [](std::string_view, std::string_view) { return 0.0; });
        row.play(game);
        EXPECT_EQ(game.nextDue(), row.due) << row.what;
    }
}

} // namespace
} // namespace farvane
