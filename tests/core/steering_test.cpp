// Steering: the arrow keys swing the road edges, shift every obstacle and earn points.
#include <gtest/gtest.h>

#include <array>

#include "game.h"

using namespace farvane;
using farvane::test::Game;

namespace {

struct Steering : Game {
    Steering() { start(); }

    std::array<float, 6> lefts() const
    {
        const Veskara& f = form;
        return {f.Obstacle[0].Left, f.Obstacle[1].Left,    f.Obstacle[2].Left,
                f.Obstacle[3].Left, f.BigObstacle[0].Left, f.BigObstacle[1].Left};
    }

    // Exactly one even and one odd Border shown, and they are the ones the edge indices name.
    void expectOneEdgePerSide() const
    {
        const Veskara& f = form;
        int right = 0;
        int left = 0;
        for (std::size_t i = 0; i < f.Border.size(); ++i) {
            if (f.Border[i].Visible)
                ++(i % 2 == 0 ? right : left);
        }
        EXPECT_EQ(right, 1);
        EXPECT_EQ(left, 1);
        EXPECT_TRUE(f.Border[static_cast<std::size_t>(f.RightEdge)].Visible) << "RightEdge " << f.RightEdge;
        EXPECT_TRUE(f.Border[static_cast<std::size_t>(f.LeftEdge)].Visible) << "LeftEdge " << f.LeftEdge;
        EXPECT_EQ(f.RightEdge + f.LeftEdge, 29);
        EXPECT_EQ(f.Steer, 25 * (f.LeftEdge - 15) / 2);
    }
};

} // namespace

TEST(Steering, SevenLeftPressesReachTheLimit)
{
    Steering game;
    Veskara& form = game.form;
    const auto start = game.lefts();
    for (int press = 1; press <= 7; ++press) {
        game.key(KeyLeft);
        EXPECT_EQ(form.LeftEdge, 15 + 2 * press);
        EXPECT_EQ(form.RightEdge, 14 - 2 * press);
        game.expectOneEdgePerSide();
    }
    EXPECT_EQ(form.LeftEdge, 29);
    EXPECT_EQ(form.RightEdge, 0);
    EXPECT_EQ(form.Steer, 175);
    EXPECT_EQ(form.lblScore.Caption, "35");
    EXPECT_TRUE(form.Border[29].Visible);
    EXPECT_TRUE(form.Border[0].Visible);
    const auto moved = game.lefts();
    for (std::size_t k = 0; k < moved.size(); ++k)
        EXPECT_EQ(moved[k], start[k] + 6615) << "obstacle " << k;
}

TEST(Steering, EighthLeftPressIsIgnoredEntirelyAndRightIsThenAccepted)
{
    Steering game;
    Veskara& form = game.form;
    for (int press = 0; press < 7; ++press)
        game.key(KeyLeft);
    const Veskara atLimit = form;
    game.key(KeyLeft);
    EXPECT_EQ(form.lblScore.Caption, "35");
    EXPECT_EQ(form.Steer, 175);
    EXPECT_EQ(form.LeftEdge, 29);
    EXPECT_EQ(form.RightEdge, 0);
    for (std::size_t i = 0; i < form.Border.size(); ++i)
        EXPECT_EQ(form.Border[i].Visible, atLimit.Border[i].Visible) << "Border " << i;
    EXPECT_EQ(form.Obstacle[2].Left, atLimit.Obstacle[2].Left);
    EXPECT_EQ(form.BigObstacle[0].Left, atLimit.BigObstacle[0].Left);

    game.key(KeyRight);
    EXPECT_EQ(form.LeftEdge, 27);
    EXPECT_EQ(form.RightEdge, 2);
    EXPECT_EQ(form.Steer, 150);
    EXPECT_EQ(form.lblScore.Caption, "40");
    game.expectOneEdgePerSide();
}

TEST(Steering, SevenRightPressesReachTheOtherLimit)
{
    Steering game;
    Veskara& form = game.form;
    for (int press = 0; press < 8; ++press) {
        game.key(KeyRight);
        game.expectOneEdgePerSide();
    }
    EXPECT_EQ(form.LeftEdge, 1);
    EXPECT_EQ(form.RightEdge, 28);
    EXPECT_EQ(form.Steer, -175);
    EXPECT_EQ(form.lblScore.Caption, "35");
    EXPECT_EQ(form.Obstacle[0].Left, 2880 - 6615);
}

TEST(Steering, LeftThenRightRestoresAllButTheScore)
{
    Steering game;
    Veskara& form = game.form;
    game.ticks(3);
    const Veskara before = form;
    game.key(KeyLeft);
    game.key(KeyRight);
    EXPECT_EQ(form.LeftEdge, before.LeftEdge);
    EXPECT_EQ(form.RightEdge, before.RightEdge);
    EXPECT_EQ(form.Steer, before.Steer);
    for (std::size_t i = 0; i < form.Border.size(); ++i)
        EXPECT_EQ(form.Border[i].Visible, before.Border[i].Visible) << "Border " << i;
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(form.Obstacle[i].Left, before.Obstacle[i].Left) << i;
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(form.BigObstacle[i].Left, before.BigObstacle[i].Left) << i;
    EXPECT_EQ(form.lblScore.Caption, "13");
}

TEST(Steering, EdgesStayOnePerSideThroughAnyPressSequence)
{
    Steering game;
    const std::int16_t keys[] = {37, 37, 39, 39, 39, 39, 39, 39, 39, 39, 39, 37, 37, 37, 37,
                                 37, 37, 37, 37, 37, 37, 37, 37, 37, 39, 37, 39, 39, 39};
    for (const std::int16_t code : keys) {
        game.key(code);
        game.expectOneEdgePerSide();
    }
}

TEST(Steering, PressShiftsHiddenAndWaitingObstaclesToo)
{
    Steering game;
    Veskara& form = game.form;
    game.key(KeyLeft);
    EXPECT_FALSE(form.Obstacle[0].Visible);
    EXPECT_EQ(form.Obstacle[0].Left, 2880 + 945);
    EXPECT_EQ(form.BigObstacle[1].Left, 3480 + 945);
}

TEST(Steering, NextTickAddsTheNewSteerToEveryObstacle)
{
    Steering game;
    Veskara& form = game.form;
    game.key(KeyRight);
    game.ticks(1);
    EXPECT_EQ(form.Obstacle[1].Left, 3120 - 945 + form.Drift[1] - 25);
}

TEST(Steering, NoKeyActsUnlessTheGameTickRuns)
{
    Game game;
    Veskara& form = game.form;
    const auto check = [&](const char* when) {
        const Veskara before = form;
        for (const std::int16_t code : {KeyLeft, KeyRight}) {
            game.key(code);
            EXPECT_EQ(form.lblScore.Caption, before.lblScore.Caption) << when;
            EXPECT_EQ(form.Steer, before.Steer) << when;
            EXPECT_EQ(form.LeftEdge, before.LeftEdge) << when;
            EXPECT_EQ(form.Obstacle[0].Left, before.Obstacle[0].Left) << when;
            EXPECT_EQ(form.Border[15].Visible, before.Border[15].Visible) << when;
        }
    };
    check("before Start");
    form.mnuStart_Click();
    form.Timer2_Timer();
    check("during the countdown");
    for (int k = 0; k < 3; ++k)
        form.Timer2_Timer();
    game.key(KeyLeft);
    EXPECT_EQ(form.lblScore.Caption, "5") << "the game runs now";
    form.HideShield2();
    form.HideShield1();
    form.Obstacle[0].Left = 3000;
    form.Obstacle[0].Top = 5500;
    form.CheckObstacleHits();
    ASSERT_FALSE(form.Timer1.Enabled);
    check("after losing");
}

TEST(Steering, OtherKeysAndShiftMasksChangeNothing)
{
    Steering game;
    Veskara& form = game.form;
    const Veskara before = form;
    for (const std::int16_t code : {38, 40, 0, -1, 36, 41, 13, 32767, -32768})
        for (const std::int16_t shift : {0, 1, 2, 4, 7})
            game.key(code, shift);
    EXPECT_EQ(form.lblScore.Caption, before.lblScore.Caption);
    EXPECT_EQ(form.Steer, 0);
    EXPECT_EQ(form.LeftEdge, 15);
    EXPECT_EQ(form.RightEdge, 14);
    EXPECT_EQ(form.Obstacle[3].Left, before.Obstacle[3].Left);
    for (std::size_t i = 0; i < form.Border.size(); ++i)
        EXPECT_EQ(form.Border[i].Visible, before.Border[i].Visible) << "Border " << i;
}

TEST(Steering, ShiftMaskDoesNotStopAnArrowKey)
{
    Steering game;
    game.key(KeyLeft, 1);
    game.key(KeyLeft, 7);
    EXPECT_EQ(game.form.Steer, 50);
    EXPECT_EQ(game.form.lblScore.Caption, "10");
}

TEST(Steering, KeyCodeIsLeftAsPassed)
{
    Steering game;
    std::int16_t code = KeyRight;
    game.form.Form_KeyDown(code, 0);
    EXPECT_EQ(code, KeyRight);
}

TEST(Steering, GuardsLookAtTheSteepestEdgeNotTheIndices)
{
    Steering game;
    Veskara& form = game.form;
    form.Border[29].Visible = true; // as if the left limit were shown
    game.key(KeyLeft);
    EXPECT_EQ(form.lblScore.Caption, "0");
    EXPECT_EQ(form.LeftEdge, 15);
    form.Border[29].Visible = false;
    form.Border[28].Visible = true;
    game.key(KeyRight);
    EXPECT_EQ(form.RightEdge, 14);
    game.key(KeyLeft);
    EXPECT_EQ(form.LeftEdge, 17);
}
