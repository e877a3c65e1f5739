// Collisions of the player with the obstacles, the shield icons, and the lost game.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "game.h"

using namespace farvane;
using farvane::test::Game;

namespace {

// A started game; nothing overlaps the player box (2880, 5640, 3855, 6135) until a test puts it there.
struct Playing : Game {
    Playing() { start(); }

    // Puts an obstacle where it overlaps the player box.
    static void overlap(Shape& obstacle, float left = 3000, float top = 5500)
    {
        obstacle.Left = left;
        obstacle.Top = top;
    }

    bool iconShown(std::size_t n) const
    {
        const Veskara& f = form;
        const bool all = f.Shielda[n].Visible && f.Shieldb[n].Visible && f.Shieldc[n].Visible && f.Shieldd[n].Visible &&
                         f.Shielde[n].Visible && f.Shieldf[n].Visible;
        const bool none = !f.Shielda[n].Visible && !f.Shieldb[n].Visible && !f.Shieldc[n].Visible &&
                          !f.Shieldd[n].Visible && !f.Shielde[n].Visible && !f.Shieldf[n].Visible;
        EXPECT_TRUE(all || none) << "icon " << n << " is half hidden";
        return all;
    }

    bool playerIs(Colour colour) const
    {
        const Veskara& f = form;
        return f.Player1.BorderColor == colour && f.Player2.BorderColor == colour && f.Player3.BorderColor == colour &&
               f.Player4.BorderColor == colour && f.Player5.BorderColor == colour && f.Player6.BorderColor == colour;
    }

    void loseTwoShields()
    {
        form.HideShield2();
        form.HideShield1();
    }
};

} // namespace

TEST(Collisions, ShieldsGoHitByHit)
{
    struct Row {
        int hit;
        bool icon0, icon1, icon2;
        std::size_t boxes;
        bool running;
    };
    const Row rows[] = {
        {1, true, true, false, 0, true},
        {2, true, false, false, 0, true},
        {3, false, false, false, 1, false},
        {4, false, false, false, 2, false},
    };
    Playing game;
    Veskara& form = game.form;
    form.SpawnLeft[0] = 3100;
    for (const Row& row : rows) {
        form.ShowPlayerNormal();
        Playing::overlap(form.Obstacle[0]);
        form.CheckObstacleHits();
        EXPECT_EQ(game.iconShown(0), row.icon0) << "hit " << row.hit;
        EXPECT_EQ(game.iconShown(1), row.icon1) << "hit " << row.hit;
        EXPECT_EQ(game.iconShown(2), row.icon2) << "hit " << row.hit;
        EXPECT_EQ(game.host.boxes.size(), row.boxes) << "hit " << row.hit;
        EXPECT_EQ(form.Timer1.Enabled, row.running) << "hit " << row.hit;
        EXPECT_EQ(form.mnuHelp.Enabled, !row.running) << "hit " << row.hit;
        EXPECT_TRUE(game.playerIs(Red)) << "hit " << row.hit;
        EXPECT_FALSE(form.Obstacle[0].Visible) << "hit " << row.hit;
        EXPECT_EQ(form.Obstacle[0].Top, 1080) << "hit " << row.hit;
        EXPECT_EQ(form.Obstacle[0].Left, 3100) << "hit " << row.hit;
    }
    EXPECT_FALSE(form.mnuStart.Enabled) << "losing leaves Start as it was";
    for (const auto& box : game.host.boxes) {
        EXPECT_EQ(box.prompt, "You Lose!");
        EXPECT_EQ(box.title, "Muahahahaa");
    }
}

TEST(Collisions, BigObstaclesCostShieldsTheSameWay)
{
    Playing game;
    Veskara& form = game.form;
    for (int hit = 1; hit <= 3; ++hit) {
        form.ShowPlayerNormal();
        Playing::overlap(form.BigObstacle[1]);
        form.CheckBigObstacleHits();
        EXPECT_TRUE(game.playerIs(Red)) << "hit " << hit;
        EXPECT_EQ(game.iconShown(1), hit < 2) << "hit " << hit;
    }
    EXPECT_FALSE(game.iconShown(0) || game.iconShown(1) || game.iconShown(2));
    EXPECT_EQ(game.host.boxes.size(), 1u);
    EXPECT_FALSE(form.Timer1.Enabled);
    EXPECT_TRUE(form.mnuHelp.Enabled);
    EXPECT_TRUE(game.playerIs(Red));
}

TEST(Collisions, HiddenObstacleThatOverlapsCounts)
{
    Playing game;
    Playing::overlap(game.form.Obstacle[2]);
    game.form.Obstacle[2].Visible = false;
    Playing::overlap(game.form.BigObstacle[0], 3500);
    game.form.BigObstacle[0].Visible = false;
    game.form.CheckObstacleHits();
    game.form.CheckBigObstacleHits();
    EXPECT_FALSE(game.iconShown(2));
    EXPECT_FALSE(game.iconShown(1));
    EXPECT_TRUE(game.iconShown(0));
}

TEST(Collisions, TwoOverlappingObstaclesCostTwoShieldsInOneTick)
{
    Playing game;
    Veskara& form = game.form;
    for (const std::size_t i : {1u, 3u}) {
        form.Drift[i] = 0;
        form.Obstacle[i].Left = 3000;
        form.Obstacle[i].Top = 5000; // the tick moves it to 5175, 531 high: into the player box
    }
    game.ticks(1);
    EXPECT_TRUE(game.iconShown(0));
    EXPECT_FALSE(game.iconShown(1));
    EXPECT_FALSE(game.iconShown(2));
    EXPECT_TRUE(form.Timer1.Enabled);
    EXPECT_TRUE(game.host.boxes.empty());
}

TEST(Collisions, ThreeOverlappingObstaclesEndTheGameInOneTick)
{
    Playing game;
    for (const std::size_t i : {0u, 1u, 2u})
        Playing::overlap(game.form.Obstacle[i]);
    game.form.CheckObstacleHits();
    EXPECT_FALSE(game.iconShown(0));
    EXPECT_EQ(game.host.boxes.size(), 1u);
    EXPECT_FALSE(game.form.Timer1.Enabled);
}

TEST(Collisions, EveryLosingHitOfATickShowsItsOwnBox)
{
    Playing game;
    Veskara& form = game.form;
    game.loseTwoShields();
    for (const std::size_t i : {0u, 2u}) {
        form.Drift[i] = 0;
        form.Obstacle[i].Left = 3000;
        form.Obstacle[i].Top = 5000;
    }
    // Below 800 the big obstacles do not move, but one left in the player box still collides.
    Playing::overlap(form.BigObstacle[0]);
    game.ticks(1);
    EXPECT_EQ(game.host.boxes.size(), 3u);
    EXPECT_FALSE(form.Timer1.Enabled);
    EXPECT_FALSE(form.BigObstacle[0].Visible);
    EXPECT_EQ(form.BigObstacle[0].Top, 1080);
}

TEST(Collisions, TouchingEdgesAreNoHitAndOneTwipMoreIs)
{
    struct Row {
        const char* what;
        float left, top;
        bool hit;
    };
    // Every obstacle here is 255 wide and 495 high.
    const Row rows[] = {
        {"bottom on 5640", 3000, 5145, false}, {"bottom on 5641", 3000, 5146, true},
        {"right on 2880", 2625, 5700, false},  {"right on 2881", 2626, 5700, true},
        {"left on 3855", 3855, 5700, false},   {"left on 3854", 3854, 5700, true},
        {"top on 6135", 3000, 6135, false},    {"top on 6134", 3000, 6134, true},
    };
    for (const Row& row : rows) {
        Playing small;
        Playing::overlap(small.form.Obstacle[1], row.left, row.top);
        small.form.CheckObstacleHits();
        EXPECT_EQ(!small.iconShown(2), row.hit) << "small, " << row.what;

        Playing big;
        Playing::overlap(big.form.BigObstacle[1], row.left, row.top);
        big.form.CheckBigObstacleHits();
        EXPECT_EQ(!big.iconShown(2), row.hit) << "big, " << row.what;
    }
}

TEST(Collisions, BoxSidesRoundTheWholeSumHalfToEven)
{
    struct Row {
        const char* what;
        float left, top, width, height;
        bool hit;
    };
    const Row rows[] = {
        // 5145 + 495.5 = 5640.5 rounds to the even 5640: only touching.
        {"bottom tie rounds down to even", 3000, 5145, 255, 495.5f, false},
        // 5146 + 495.5 = 5641.5 rounds to 5642.
        {"bottom tie rounds up to even", 3000, 5146, 255, 495.5f, true},
        // 2624.5 + 256.5 = 2881: one twip in. Rounding each term first would give 2624 + 256 = 2880.
        {"right side from the unrounded sum", 2624.5f, 5700, 256.5f, 495, true},
        // A Left of 3854.5 rounds to the even 3854: one twip inside the player's right side.
        {"left tie rounds to even", 3854.5f, 5700, 255, 495, true},
        {"left tie rounds up to even", 3855.5f, 5700, 255, 495, false},
    };
    for (const Row& row : rows) {
        Playing game;
        Shape& obstacle = game.form.Obstacle[0];
        obstacle.Left = row.left;
        obstacle.Top = row.top;
        obstacle.Width = row.width;
        obstacle.Height = row.height;
        game.form.CheckObstacleHits();
        EXPECT_EQ(!game.iconShown(2), row.hit) << row.what;
    }
}

// The checks skip the box of an obstacle that is clear of the vehicle before rounding; one that
// is inside by a fraction of a twip must still be rounded and tested.
TEST(Collisions, AFractionOfATwipInsideHitsOnlyWhenItRoundsToAWholeOne)
{
    struct Row {
        const char* what;
        float left, top;
        bool hit;
    };
    // Every obstacle here is 255 wide and 495 high; the player box is (2880, 5640, 3855, 6135).
    const Row rows[] = {
        {"bottom 5640.7 rounds into the box", 3000, 5145.7f, true},
        {"bottom 5640.3 rounds onto its edge", 3000, 5145.3f, false},
        {"right 2880.7 rounds into the box", 2625.7f, 5700, true},
        {"right 2880.3 rounds onto its edge", 2625.3f, 5700, false},
        {"left 3854.3 rounds into the box", 3854.3f, 5700, true},
        {"left 3854.7 rounds onto its edge", 3854.7f, 5700, false},
        {"top 6134.3 rounds into the box", 3000, 6134.3f, true},
        {"top 6134.7 rounds onto its edge", 3000, 6134.7f, false},
    };
    for (const Row& row : rows) {
        Playing small;
        Playing::overlap(small.form.Obstacle[3], row.left, row.top);
        small.form.CheckObstacleHits();
        EXPECT_EQ(!small.iconShown(2), row.hit) << "small, " << row.what;

        Playing big;
        Playing::overlap(big.form.BigObstacle[0], row.left, row.top);
        big.form.CheckBigObstacleHits();
        EXPECT_EQ(!big.iconShown(2), row.hit) << "big, " << row.what;
    }
}

// The same with the vehicle's own side a fraction off the twip grid: both sides are rounded
// before they are compared.
TEST(Collisions, AFractionalCabTopIsRoundedBeforeTheObstacleMeetsIt)
{
    struct Row {
        const char* what;
        float cabTop, obstacleTop;
        bool hit;
    };
    // Obstacles 495 high; the cab's top 5640.4 rounds to 5640.
    const Row rows[] = {
        {"bottom 5640.3 meets the rounded cab", 5640.4f, 5145.3f, false},
        {"bottom 5640.6 is a twip inside after rounding", 5640.4f, 5145.6f, true},
        {"bottom 5639.7 under a cab at 5639.5 both round to 5640", 5639.5f, 5144.7f, false},
    };
    for (const Row& row : rows) {
        Playing game;
        game.form.Player6.Top = row.cabTop;
        Playing::overlap(game.form.Obstacle[2], 3000, row.obstacleTop);
        game.form.CheckObstacleHits();
        EXPECT_EQ(!game.iconShown(2), row.hit) << row.what;
    }
}

TEST(Collisions, PlayerBoxComesFromTheBodyAndTheCab)
{
    Playing game;
    Veskara& form = game.form;
    form.Player6.Top = 5000; // a taller cab raises the box's top
    Playing::overlap(form.Obstacle[0], 3000, 4600);
    form.CheckObstacleHits();
    EXPECT_FALSE(game.iconShown(2));
}

TEST(Collisions, BigObstacleKeepsItsLeftAndSmallGoesToItsSpawnPoint)
{
    Playing game;
    Veskara& form = game.form;
    form.SpawnLeft[1] = 3333;
    const auto drifts = form.Drift;
    const auto bigDrifts = form.BigDrift;
    const RandomSource random = form.random;
    Playing::overlap(form.Obstacle[1], 2900, 5400);
    Playing::overlap(form.BigObstacle[1], 3700, 5600);
    form.Obstacle[1].Width = 700;
    form.BigObstacle[1].Height = 900;
    form.CheckObstacleHits();
    form.CheckBigObstacleHits();

    const Shape& small = form.Obstacle[1];
    EXPECT_FALSE(small.Visible);
    EXPECT_EQ(small.Left, 3333);
    EXPECT_EQ(small.Top, 1080);
    EXPECT_EQ(small.Width, 255);
    EXPECT_EQ(small.Height, 495);
    const Shape& big = form.BigObstacle[1];
    EXPECT_FALSE(big.Visible);
    EXPECT_EQ(big.Left, 3700);
    EXPECT_EQ(big.Top, 1080);
    EXPECT_EQ(big.Width, 255);
    EXPECT_EQ(big.Height, 495);
    EXPECT_EQ(form.Drift, drifts);
    EXPECT_EQ(form.BigDrift, bigDrifts);
    EXPECT_EQ(form.SpawnLeft[1], 3333);
    EXPECT_EQ(form.random, random) << "a hit draws no random number";
}

TEST(Collisions, SmallObstacleHitBeforeAnyResetReentersAtTheLeftEdge)
{
    Playing game;
    Playing::overlap(game.form.Obstacle[3]);
    game.form.CheckObstacleHits();
    EXPECT_EQ(game.form.Obstacle[3].Left, 0);
}

TEST(Collisions, MessageBoxComesWithTheGameAlreadyStopped)
{
    Playing game;
    Veskara& form = game.form;
    game.loseTwoShields();
    form.lblScore.Caption = "41";
    form.Drift[2] = 0;
    form.Obstacle[2].Left = 3000;
    form.Obstacle[2].Top = 5000;

    struct Seen {
        bool timer1, help, icon0, red, obstacleInPlace;
        std::string score;
    };
    std::vector<Seen> seen;
    game.host.onMsgBox = [&] {
        seen.push_back(Seen{form.Timer1.Enabled, form.mnuHelp.Enabled, form.Shieldf[0].Visible,
                            form.Player1.BorderColor == Red && form.Player6.BorderColor == Red,
                            form.Obstacle[2].Top == 5175, form.lblScore.Caption});
    };
    game.ticks(1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].timer1) << "Timer1 is off before the box is shown";
    EXPECT_TRUE(seen[0].help);
    EXPECT_FALSE(seen[0].icon0);
    EXPECT_TRUE(seen[0].red);
    EXPECT_TRUE(seen[0].obstacleInPlace) << "the obstacle goes back only after the box";
    EXPECT_EQ(seen[0].score, "42") << "the checks run after the score step";
    EXPECT_FALSE(form.Obstacle[2].Visible);
    EXPECT_EQ(form.Obstacle[2].Top, 1080);
}

TEST(Collisions, SecondLosingHitFindsTheFirstObstacleAlreadySentBack)
{
    Playing game;
    Veskara& form = game.form;
    game.loseTwoShields();
    form.SpawnLeft[0] = 2950;
    Playing::overlap(form.Obstacle[0]);
    Playing::overlap(form.Obstacle[1]);
    std::vector<std::array<float, 2>> tops;
    game.host.onMsgBox = [&] { tops.push_back({form.Obstacle[0].Top, form.Obstacle[1].Top}); };
    form.CheckObstacleHits();
    ASSERT_EQ(tops.size(), 2u);
    EXPECT_EQ(tops[0][0], 5500);
    EXPECT_EQ(tops[0][1], 5500);
    EXPECT_EQ(tops[1][0], 1080);
    EXPECT_EQ(tops[1][1], 5500);
}

TEST(Collisions, NoHitLeavesEverythingAsItWas)
{
    Playing game;
    game.ticks(1);
    EXPECT_TRUE(game.iconShown(0) && game.iconShown(1) && game.iconShown(2));
    EXPECT_TRUE(game.playerIs(Teal));
    EXPECT_TRUE(game.form.Obstacle[0].Visible);
}
