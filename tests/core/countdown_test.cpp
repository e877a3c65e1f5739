// The countdown: "Ready", "Set", "Go!", then the game tick takes over; the stray state after.
#include <gtest/gtest.h>

#include "game.h"

using namespace farvane;
using farvane::test::Game;

TEST(Countdown, ShowsOneWordPerTickThenStartsTheGame)
{
    Game game;
    Veskara& form = game.form;
    form.mnuStart_Click();
    ASSERT_TRUE(form.Timer2.Enabled);
    const char* words[] = {"Ready", "Set", "Go!"};
    for (int k = 0; k < 3; ++k) {
        form.Timer2_Timer();
        EXPECT_EQ(form.lblReady.Caption, words[k]) << "tick " << k + 1;
        EXPECT_EQ(form.CountdownStep, k + 1);
        EXPECT_FALSE(form.Timer1.Enabled) << "tick " << k + 1;
        EXPECT_TRUE(form.Timer2.Enabled) << "tick " << k + 1;
    }
    form.Timer2_Timer();
    EXPECT_EQ(form.lblReady.Caption, "");
    EXPECT_TRUE(form.Timer1.Enabled);
    EXPECT_FALSE(form.Timer2.Enabled);
    EXPECT_EQ(form.CountdownStep, 4);
}

TEST(Countdown, ChangesNothingButTheLabelTimersAndCounter)
{
    Game game;
    Veskara& form = game.form;
    form.mnuStart_Click();
    const Veskara before = form;
    for (int k = 0; k < 4; ++k)
        form.Timer2_Timer();
    EXPECT_EQ(form.lblScore.Caption, before.lblScore.Caption);
    EXPECT_EQ(form.Drift, before.Drift);
    EXPECT_EQ(form.random, before.random);
    for (std::size_t i = 0; i < form.Obstacle.size(); ++i) {
        EXPECT_EQ(form.Obstacle[i].Top, before.Obstacle[i].Top);
        EXPECT_EQ(form.Obstacle[i].Visible, before.Obstacle[i].Visible);
    }
    EXPECT_EQ(form.mnuStart.Enabled, before.mnuStart.Enabled);
    EXPECT_EQ(form.mnuHelp.Enabled, before.mnuHelp.Enabled);
}

TEST(Countdown, FirstGameTickRunsRightAfterTheFourthCountdownTick)
{
    Game game;
    game.start();
    game.ticks(1);
    EXPECT_EQ(game.form.lblScore.Caption, "1");
    EXPECT_TRUE(game.form.Obstacle[0].Visible);
}

TEST(Countdown, StrayTicksOnlyCount)
{
    Game game;
    Veskara& form = game.form;
    game.start();
    game.ticks(3);
    form.lblReady.Caption = "x";
    form.Timer2.Enabled = true; // as Start does after a Restart let the countdown run out
    const Veskara before = form;
    for (int k = 0; k < 10; ++k)
        form.Timer2_Timer();
    EXPECT_EQ(form.CountdownStep, 14);
    EXPECT_EQ(form.lblReady.Caption, "x");
    EXPECT_TRUE(form.Timer1.Enabled);
    EXPECT_TRUE(form.Timer2.Enabled);
    EXPECT_EQ(form.lblScore.Caption, before.lblScore.Caption);
}

TEST(Countdown, StrayCounterStopsAt32767AndNothingElseChanges)
{
    Game game;
    Veskara& form = game.form;
    game.start();
    form.Timer2.Enabled = true;
    // The stray state is entered with CountdownStep 4: 32,763 ticks bring it to 32767.
    for (int k = 0; k < 32763; ++k)
        form.Timer2_Timer();
    EXPECT_EQ(form.CountdownStep, 32767);
    const Veskara before = form;
    for (int k = 0; k < 5; ++k)
        form.Timer2_Timer();
    EXPECT_EQ(form.CountdownStep, 32767);
    EXPECT_EQ(form.lblReady.Caption, before.lblReady.Caption);
    EXPECT_TRUE(form.Timer1.Enabled);
    EXPECT_TRUE(form.Timer2.Enabled);
    EXPECT_EQ(form.lblScore.Caption, before.lblScore.Caption);
}
