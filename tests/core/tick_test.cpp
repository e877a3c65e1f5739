// The game tick: motion, return to the horizon, the speed schedule, the frenzy and the score.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "game.h"

using namespace farvane;
using farvane::test::Game;

// Counts every allocation of the test program, so a test can see that a tick makes none.
namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size)
{
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
// g++ cannot see that the replaced operator new above takes its memory from malloc, and in the
// sanitizer build it warns that these free() a pointer from a mismatched allocation function.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

// Draws of the generator after the six that Form_Load takes.
struct Draws {
    RandomSource random;
    Draws()
    {
        for (int k = 0; k < 6; ++k)
            random.Rnd();
    }
    std::int16_t drift() { return Int(static_cast<double>(random.Rnd()) * 500.0 - 250.0); }
    std::int16_t spawn() { return Int(static_cast<double>(random.Rnd()) * 720.0 + 2880.0); }
};

// A started game in which nothing can hit the player.
struct Running : Game {
    Running()
    {
        start();
        movePlayerAway();
    }
};

double score(const Veskara& form) { return CaptionToNumber(form.lblScore.Caption); }

} // namespace

TEST(Tick, FirstTickShowsAndMovesEverySmallObstacle)
{
    Running game;
    Veskara& form = game.form;
    form.Steer = 25;
    game.ticks(1);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(form.Obstacle[i].Visible) << i;
        EXPECT_EQ(form.Obstacle[i].Top, 1255) << i;
        EXPECT_EQ(form.Obstacle[i].Height, 531) << i;
        EXPECT_EQ(form.Obstacle[i].Width, 270) << i;
        EXPECT_EQ(form.Obstacle[i].Left, 2880 + 240 * static_cast<int>(i) + form.Drift[i] + 25) << i;
    }
    EXPECT_FALSE(form.BigObstacle[0].Visible);
    EXPECT_EQ(form.lblScore.Caption, "1");
}

TEST(Tick, WorkedExampleLeavesOnTheLeftAtTick30Not29)
{
    Running game;
    Veskara& form = game.form;
    form.Drift[0] = -120;
    struct Row {
        int tick;
        float top, height, width, left;
    };
    const Row rows[] = {{1, 1255, 531, 270, 2760},
                        {2, 1430, 567, 285, 2640},
                        {3, 1605, 603, 300, 2520},
                        {10, 2830, 855, 405, 1680},
                        {29, 6155, 1539, 690, -600}};
    int done = 0;
    for (const Row& row : rows) {
        game.ticks(row.tick - done);
        done = row.tick;
        const Shape& o = form.Obstacle[0];
        EXPECT_TRUE(o.Visible) << "tick " << row.tick;
        EXPECT_EQ(o.Top, row.top) << "tick " << row.tick;
        EXPECT_EQ(o.Height, row.height) << "tick " << row.tick;
        EXPECT_EQ(o.Width, row.width) << "tick " << row.tick;
        EXPECT_EQ(o.Left, row.left) << "tick " << row.tick;
    }
    EXPECT_EQ(form.SpawnLeft[0], 0);

    // Tick 30: Left -720, Left + Width -15, wholly left of the client area. It is the first reset
    // of the run: back at Left 0, then the drift is drawn and then the spawn point.
    Draws draws;
    const std::int16_t drift = draws.drift();
    const std::int16_t spawn = draws.spawn();
    game.ticks(1);
    const Shape& o = form.Obstacle[0];
    EXPECT_FALSE(o.Visible);
    EXPECT_EQ(o.Top, 1080);
    EXPECT_EQ(o.Height, 495);
    EXPECT_EQ(o.Width, 255);
    EXPECT_EQ(o.Left, 0);
    EXPECT_EQ(form.Drift[0], -243);
    EXPECT_EQ(form.Drift[0], drift);
    EXPECT_EQ(form.SpawnLeft[0], 3427);
    EXPECT_EQ(form.SpawnLeft[0], spawn);
    EXPECT_EQ(form.random, draws.random) << "one reset draws Rnd exactly twice";

    // Tick 31 shows it again, already moved one step from the horizon.
    game.ticks(1);
    EXPECT_TRUE(o.Visible);
    EXPECT_EQ(o.Top, 1255);
    EXPECT_EQ(o.Height, 531);
    EXPECT_EQ(o.Width, 270);
    EXPECT_EQ(o.Left, -243);
}

TEST(Tick, OffScreenTestCountsEqualAsOut)
{
    struct Row {
        const char* what;
        float left, top; // before the move; drift and Steer 0, so Left stays and Top grows 175
        bool out;
    };
    const Row rows[] = {
        {"Top reaches ScaleHeight", 3000, 6375 - 175, true},
        {"Top one short of ScaleHeight", 3000, 6374 - 175, false},
        {"Left equals ScaleWidth", 6615, 3000, true},
        {"Left one short of ScaleWidth", 6614, 3000, false},
        {"Left + Width equals ScaleLeft", -270, 3000, true},
        {"Left + Width one past ScaleLeft", -269, 3000, false},
        {"partly outside on the left", -100, 3000, false},
        {"bottom below the window but Top inside", 3000, 6000, false},
    };
    for (const Row& row : rows) {
        Running game;
        Veskara& form = game.form;
        form.Drift[0] = 0;
        form.Obstacle[0].Left = row.left;
        form.Obstacle[0].Top = row.top;
        game.ticks(1);
        EXPECT_EQ(!form.Obstacle[0].Visible, row.out) << row.what;
        EXPECT_EQ(form.Obstacle[0].Top == 1080, row.out) << row.what;
    }
}

TEST(Tick, OffScreenTestReadsTheClientAreaAfresh)
{
    Running game;
    Veskara& form = game.form;
    form.ScaleLeft = 500;
    form.Drift[0] = 0;
    form.Obstacle[0].Left = 500 - 270;
    game.ticks(1);
    EXPECT_FALSE(form.Obstacle[0].Visible);

    form.ScaleHeight = 3000;
    form.Drift[1] = 0;
    form.Obstacle[1].Top = 3000 - 175;
    game.ticks(1);
    EXPECT_FALSE(form.Obstacle[1].Visible);
}

TEST(Tick, BigObstacleResetFeedsTheNextSmallResetOfTheSameIndex)
{
    Running game;
    Veskara& form = game.form;
    form.lblScore.Caption = "900";
    form.BigObstacle[0].Top = 6375;
    Draws draws;
    const std::int16_t bigDrift = draws.drift();
    const std::int16_t spawn = draws.spawn();
    game.ticks(1);
    EXPECT_FALSE(form.BigObstacle[0].Visible);
    EXPECT_EQ(form.BigObstacle[0].Left, 0); // the spawn point had not been drawn yet
    EXPECT_EQ(form.BigObstacle[0].Top, 1080);
    EXPECT_EQ(form.BigDrift[0], bigDrift);
    EXPECT_EQ(form.SpawnLeft[0], spawn);

    form.Obstacle[0].Top = 6375;
    game.ticks(1);
    EXPECT_FALSE(form.Obstacle[0].Visible);
    EXPECT_EQ(form.Obstacle[0].Left, spawn);
}

TEST(Tick, SmallObstacleResetFeedsTheNextBigResetOfTheSameIndex)
{
    Running game;
    Veskara& form = game.form;
    form.lblScore.Caption = "900";
    form.Obstacle[1].Top = 6375;
    Draws draws;
    const std::int16_t drift = draws.drift();
    const std::int16_t spawn = draws.spawn();
    game.ticks(1);
    EXPECT_EQ(form.Obstacle[1].Left, 0);
    EXPECT_EQ(form.Drift[1], drift);
    EXPECT_EQ(form.SpawnLeft[1], spawn);

    form.BigObstacle[1].Top = 6375;
    game.ticks(1);
    EXPECT_FALSE(form.BigObstacle[1].Visible);
    EXPECT_EQ(form.BigObstacle[1].Left, spawn);
    EXPECT_EQ(form.BigObstacle[1].Width, 255);
    EXPECT_EQ(form.BigObstacle[1].Height, 495);
}

TEST(Tick, SmallResetsDrawBeforeBigResetsInOneTick)
{
    Running game;
    Veskara& form = game.form;
    form.lblScore.Caption = "900";
    form.Obstacle[3].Top = 6375;
    form.BigObstacle[0].Top = 6375;
    Draws draws;
    const std::int16_t smallDrift = draws.drift();
    const std::int16_t smallSpawn = draws.spawn();
    const std::int16_t bigDrift = draws.drift();
    const std::int16_t bigSpawn = draws.spawn();
    game.ticks(1);
    EXPECT_EQ(form.Drift[3], smallDrift);
    EXPECT_EQ(form.SpawnLeft[3], smallSpawn);
    EXPECT_EQ(form.BigDrift[0], bigDrift);
    EXPECT_EQ(form.SpawnLeft[0], bigSpawn);
    EXPECT_EQ(form.random, draws.random);
}

TEST(Tick, BigObstaclesWaitBelow800)
{
    Running game;
    Veskara& form = game.form;
    form.lblScore.Caption = "799";
    form.BigObstacle[0].Top = 6375; // would be out if it were moved
    game.ticks(1);
    EXPECT_FALSE(form.BigObstacle[0].Visible);
    EXPECT_EQ(form.BigObstacle[0].Top, 6375);
    EXPECT_EQ(form.BigObstacle[1].Top, 1080);
    EXPECT_EQ(form.BigObstacle[1].Width, 255);
    EXPECT_EQ(form.lblScore.Caption, "800");
}

TEST(Tick, ScoreOf800BringsInBigObstaclesBeforeTheNewSpeeds)
{
    Running game;
    Veskara& form = game.form;
    // 800 ticks from the start: the 601st met the 600 milestone, the 800th found 799.
    game.ticks(800);
    EXPECT_EQ(form.lblScore.Caption, "800");
    EXPECT_EQ(form.FallStep, 150);
    EXPECT_EQ(form.BigFallStep, 180);
    for (const Shape& big : form.BigObstacle) {
        EXPECT_FALSE(big.Visible);
        EXPECT_EQ(big.Top, 1080);
    }
    const float bigLeft0 = form.BigObstacle[0].Left;

    game.ticks(1);
    const Shape& big = form.BigObstacle[0];
    EXPECT_TRUE(big.Visible);
    EXPECT_EQ(big.Top, 1080 + 180 + 50) << "moved with the speed that stood before 800";
    EXPECT_EQ(big.Height, 495 + 55);
    EXPECT_EQ(big.Width, 255 + 30);
    EXPECT_EQ(big.Left, bigLeft0 + static_cast<float>(form.BigDrift[0]));
    EXPECT_TRUE(form.BigObstacle[1].Visible);
    EXPECT_EQ(form.FallStep, 200);
    EXPECT_EQ(form.BigFallStep, 240);
    EXPECT_EQ(form.lblScore.Caption, "801");

    game.ticks(1);
    EXPECT_EQ(big.Top, 1080 + 180 + 50 + 240 + 50);
}

TEST(Tick, KeyPressOverAMilestoneSkipsIt)
{
    Running game;
    Veskara& form = game.form;
    game.ticks(598);
    ASSERT_EQ(form.lblScore.Caption, "598");
    game.key(KeyLeft);
    ASSERT_EQ(form.lblScore.Caption, "603");
    while (score(form) < 800) {
        game.ticks(1);
        ASSERT_EQ(form.FallStep, 100) << "score " << form.lblScore.Caption;
        ASSERT_EQ(form.BigFallStep, 0) << "score " << form.lblScore.Caption;
    }
    ASSERT_EQ(form.lblScore.Caption, "800");
    form.Drift[0] = 0;
    form.Obstacle[0].Top = 2000;
    form.Obstacle[0].Left = 3000;
    game.ticks(1);
    EXPECT_EQ(form.Obstacle[0].Top, 2000 + 175) << "still the start speed";
    EXPECT_EQ(form.FallStep, 200);
    EXPECT_EQ(form.BigFallStep, 240);
}

TEST(Tick, EveryMilestoneSetsItsSpeeds)
{
    struct Row {
        const char* score;
        std::int16_t fall;
        std::int16_t bigFall;
        std::int16_t scoreStep;
    };
    // FallStep, BigFallStep and ScoreStep stand at 7, 9 and 3 before the tick, so an unchanged
    // value shows.
    const Row rows[] = {
        {"0", 7, 9, 3},          {"599", 7, 9, 3},        {"600", 150, 180, 3},      {"601", 7, 9, 3},
        {"799", 7, 9, 3},        {"800", 200, 240, 3},    {"1000", 250, 300, 3},     {"1200", 300, 360, 3},
        {"1400", 350, 420, 3},   {"1500", 7, 9, 3},       {"1600", 400, 480, 3},     {"1800", 450, 540, 3},
        {"2000", 500, 600, 3},   {"2200", 550, 660, 3},   {"2399", 7, 9, 3},         {"2400", 600, 720, 3},
        {"2401", 901, 901, 507}, {"2600", 901, 901, 507}, {"100000", 901, 901, 507},
    };
    for (const Row& row : rows) {
        Running game;
        Veskara& form = game.form;
        form.lblScore.Caption = row.score;
        form.FallStep = 7;
        form.BigFallStep = 9;
        form.ScoreStep = 3;
        game.ticks(1);
        EXPECT_EQ(form.FallStep, row.fall) << "score " << row.score;
        EXPECT_EQ(form.BigFallStep, row.bigFall) << "score " << row.score;
        EXPECT_EQ(form.ScoreStep, row.scoreStep) << "score " << row.score;
        EXPECT_EQ(score(form), CaptionToNumber(row.score) + row.scoreStep) << "score " << row.score;
    }
}

TEST(Tick, ScoreOf2400BringsTheFrenzyOnTheNextTick)
{
    Running game;
    Veskara& form = game.form;
    form.lblScore.Caption = "2400";
    game.ticks(1);
    EXPECT_EQ(form.FallStep, 600);
    EXPECT_EQ(form.BigFallStep, 720);
    EXPECT_EQ(form.ScoreStep, 1);
    EXPECT_EQ(form.lblScore.Caption, "2401");
    game.ticks(1);
    EXPECT_EQ(form.FallStep, 901);
    EXPECT_EQ(form.BigFallStep, 901);
    EXPECT_EQ(form.ScoreStep, 505);
    EXPECT_EQ(form.lblScore.Caption, "2906");
}

TEST(Tick, KeyPressAt2399SkipsStraightIntoTheFrenzy)
{
    Running game;
    Veskara& form = game.form;
    form.lblScore.Caption = "2399";
    game.key(KeyRight);
    ASSERT_EQ(form.lblScore.Caption, "2404");
    game.ticks(1);
    EXPECT_EQ(form.FallStep, 901);
    EXPECT_EQ(form.ScoreStep, 505);
    EXPECT_EQ(form.lblScore.Caption, "2909");
}

TEST(Tick, FrenzyScoreStepStopsAt32767AndTheGameGoesOn)
{
    Running game;
    Veskara& form = game.form;
    form.lblScore.Caption = "2401";
    game.ticks(65);
    EXPECT_EQ(form.ScoreStep, 32761);
    EXPECT_EQ(form.lblScore.Caption, "1083546"); // 2401 + 1,081,145

    game.ticks(1);
    EXPECT_EQ(form.ScoreStep, 32767);
    EXPECT_EQ(form.lblScore.Caption, "1116313");
    EXPECT_TRUE(form.Timer1.Enabled);

    game.ticks(1);
    EXPECT_EQ(form.ScoreStep, 32767);
    EXPECT_EQ(form.lblScore.Caption, "1149080");
    EXPECT_EQ(form.FallStep, 901);
    EXPECT_EQ(form.BigFallStep, 901);
}

TEST(Tick, ScoreGrowsByScoreStepAfterTheScheduleSetsIt)
{
    Running game;
    Veskara& form = game.form;
    form.ScoreStep = 3;
    game.ticks(2);
    EXPECT_EQ(form.lblScore.Caption, "6");
}

TEST(Tick, RepaintsThePlayerTealBeforeTheChecks)
{
    Running game;
    Veskara& form = game.form;
    form.ShowPlayerHit();
    game.ticks(1);
    EXPECT_EQ(form.Player1.BorderColor, Teal);
    EXPECT_EQ(form.Player2.BorderColor, Teal);
    EXPECT_EQ(form.Player6.BorderColor, Teal);
}

TEST(Tick, RunsWithoutAllocating)
{
    Running game;
    Veskara& form = game.form;
    form.lblScore.Caption = "700";
    game.ticks(1);
    const long before = allocations.load();
    game.ticks(2000); // through the big obstacles, the milestones and the frenzy
    EXPECT_EQ(allocations.load(), before);
    EXPECT_GT(score(form), 1000000.0);
}
