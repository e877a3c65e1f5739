// The menu commands: Start, Restart with the high score, Quit, How To Play and About.
#include <gtest/gtest.h>

#include "game.h"
#include "menu/menutable.h"

using namespace farvane;
using farvane::test::Game;

namespace {

void loseAt(Veskara& form, std::size_t i)
{
    form.HideShield2();
    form.HideShield1();
    form.Obstacle[i].Left = 3000;
    form.Obstacle[i].Top = 5500;
    form.CheckObstacleHits();
}

} // namespace

TEST(Menu, StartClearsTheMessageDisablesStartAndHelpAndRunsTheCountdown)
{
    Game game;
    Veskara& form = game.form;
    form.mnuHow_Click();
    const Veskara before = form;
    form.mnuStart_Click();
    EXPECT_EQ(form.lblReady.Caption, "");
    EXPECT_FALSE(form.mnuHelp.Enabled);
    EXPECT_FALSE(form.mnuStart.Enabled);
    EXPECT_TRUE(form.Timer2.Enabled);
    EXPECT_FALSE(form.Timer1.Enabled);
    EXPECT_TRUE(form.mnuFile.Enabled && form.mnuRestart.Enabled && form.mnuQuit.Enabled);
    EXPECT_TRUE(form.mnuHow.Enabled && form.mnuAbout.Enabled);
    EXPECT_EQ(form.lblScore.Caption, before.lblScore.Caption);
    EXPECT_EQ(form.CountdownStep, 0);
    EXPECT_EQ(form.FallStep, before.FallStep);
    EXPECT_EQ(form.random, before.random);
    EXPECT_EQ(form.Obstacle[0].Left, before.Obstacle[0].Left);
}

TEST(Menu, RestartResetsTheGame)
{
    Game game;
    Veskara& form = game.form;
    game.start();
    game.ticks(30);
    game.key(KeyLeft);
    form.lblScore.Caption = "2500";
    game.ticks(3); // frenzy: ScoreStep and the fall speeds change
    form.mnuAbout_Click();
    form.HideShield2();
    form.ShowPlayerHit();
    form.BigObstacle[1].Left = 4321;
    form.BigObstacle[1].Width = 900;
    form.Obstacle[2].Width = 900;

    form.mnuRestart_Click();
    EXPECT_EQ(form.ScoreStep, 1);
    EXPECT_EQ(form.FallStep, 100);
    EXPECT_EQ(form.CountdownStep, 0);
    EXPECT_FALSE(form.Timer1.Enabled);
    EXPECT_TRUE(form.mnuHelp.Enabled);
    EXPECT_TRUE(form.mnuStart.Enabled);
    EXPECT_EQ(form.lblScore.Caption, "0");
    EXPECT_EQ(form.lblReady.Caption, "");
    EXPECT_EQ(form.Player1.BorderColor, Teal);
    EXPECT_EQ(form.Player4.BorderColor, Teal);
    for (std::size_t i = 0; i < 4; ++i) {
        const Shape& o = form.Obstacle[i];
        EXPECT_FALSE(o.Visible) << i;
        EXPECT_EQ(o.Top, 1080) << i;
        EXPECT_EQ(o.Height, 495) << i;
        EXPECT_EQ(o.Width, 255) << i;
        EXPECT_EQ(o.Left, form.SpawnLeft[i]) << i;
    }
    for (const Shape& big : form.BigObstacle) {
        EXPECT_FALSE(big.Visible);
        EXPECT_EQ(big.Top, 1080);
        EXPECT_EQ(big.Height, 495);
        EXPECT_EQ(big.Width, 255);
    }
    EXPECT_EQ(form.BigObstacle[1].Left, 4321) << "a big obstacle keeps its Left";
    for (std::size_t n = 0; n < 3; ++n) {
        EXPECT_TRUE(form.Shielda[n].Visible && form.Shieldb[n].Visible && form.Shieldc[n].Visible &&
                    form.Shieldd[n].Visible && form.Shielde[n].Visible && form.Shieldf[n].Visible)
            << "icon " << n;
    }
}

TEST(Menu, RestartLeavesRoadSteerDriftsAndBigFallStep)
{
    Game game;
    Veskara& form = game.form;
    game.start();
    game.key(KeyRight);
    game.key(KeyRight);
    form.lblScore.Caption = "2500";
    game.ticks(2);
    ASSERT_EQ(form.BigFallStep, 901);
    const Veskara before = form;

    form.mnuRestart_Click();
    EXPECT_EQ(form.RightEdge, 18);
    EXPECT_EQ(form.LeftEdge, 11);
    EXPECT_EQ(form.Steer, -50);
    for (std::size_t i = 0; i < form.Border.size(); ++i)
        EXPECT_EQ(form.Border[i].Visible, before.Border[i].Visible) << "Border " << i;
    EXPECT_EQ(form.Drift, before.Drift);
    EXPECT_EQ(form.BigDrift, before.BigDrift);
    EXPECT_EQ(form.SpawnLeft, before.SpawnLeft);
    EXPECT_EQ(form.BigFallStep, 901);
    EXPECT_EQ(form.FallStep, 100);
    EXPECT_EQ(form.ScoreStep, 1);
    EXPECT_EQ(form.random, before.random) << "Restart draws no random number";
    EXPECT_FALSE(form.Timer2.Enabled);
}

TEST(Menu, RestartRightAfterLoadingKeepsZeroAndPutsObstaclesAtTheLeftEdge)
{
    Game game;
    Veskara& form = game.form;
    form.mnuRestart_Click();
    EXPECT_EQ(form.lblHigh.Caption, "0");
    for (const Shape& o : form.Obstacle) {
        EXPECT_EQ(o.Left, 0);
        EXPECT_EQ(o.Top, 1080);
        EXPECT_FALSE(o.Visible);
    }
    EXPECT_EQ(form.BigObstacle[0].Left, 3000);
    EXPECT_FALSE(form.Timer2.Enabled);
}

TEST(Menu, HighScoreIsKeptAsTheLargerNumber)
{
    struct Row {
        const char* high;
        const char* score;
        const char* kept;
    };
    const Row rows[] = {
        {"95", "100", "100"}, {"999", "1000", "1000"},        {"100", "1000", "1000"},
        {"10", "9", "10"},    {"100", "100", "100"},          {"", "0", "0"},
        {"", "735", "735"},   {"1000", "999", "1000"},        {"0", "0", "0"},
        {"0", "5", "5"},      {"1083546", "2906", "1083546"},
    };
    for (const Row& row : rows) {
        Game game;
        game.form.lblHigh.Caption = row.high;
        game.form.lblScore.Caption = row.score;
        game.form.mnuRestart_Click();
        EXPECT_EQ(game.form.lblHigh.Caption, row.kept) << "high " << row.high << ", score " << row.score;
        EXPECT_EQ(game.form.lblScore.Caption, "0");
    }
}

TEST(Menu, HighScoreSurvivesLaterGames)
{
    Game game;
    Veskara& form = game.form;
    game.start();
    game.ticks(12);
    form.mnuRestart_Click();
    EXPECT_EQ(form.lblHigh.Caption, "12");
    form.mnuStart_Click();
    for (int k = 0; k < 4; ++k)
        form.Timer2_Timer();
    game.ticks(5);
    form.mnuRestart_Click();
    EXPECT_EQ(form.lblHigh.Caption, "12");
}

TEST(Menu, RestartDuringTheCountdownReplaysItAndStartsTheGameByItself)
{
    Game game;
    Veskara& form = game.form;
    form.mnuStart_Click();
    form.Timer2_Timer();
    form.Timer2_Timer();
    ASSERT_EQ(form.lblReady.Caption, "Set");

    form.mnuRestart_Click();
    EXPECT_EQ(form.lblReady.Caption, "");
    EXPECT_EQ(form.CountdownStep, 0);
    EXPECT_TRUE(form.Timer2.Enabled) << "Restart leaves the countdown running";
    EXPECT_TRUE(form.mnuStart.Enabled);
    EXPECT_TRUE(form.mnuHelp.Enabled);

    const char* words[] = {"Ready", "Set", "Go!"};
    for (const char* word : words) {
        form.Timer2_Timer();
        EXPECT_EQ(form.lblReady.Caption, word);
        EXPECT_FALSE(form.Timer1.Enabled);
    }
    form.Timer2_Timer();
    EXPECT_TRUE(form.Timer1.Enabled);
    EXPECT_FALSE(form.Timer2.Enabled);
    EXPECT_TRUE(form.mnuStart.Enabled) << "Start stays enabled through the game that follows";
    EXPECT_TRUE(form.mnuHelp.Enabled);
}

TEST(Menu, StartDuringAGameTheCountdownStartedOnlyStraysUntilRestart)
{
    Game game;
    Veskara& form = game.form;
    form.mnuStart_Click();
    form.Timer2_Timer();
    form.mnuRestart_Click();
    for (int k = 0; k < 4; ++k)
        form.Timer2_Timer();
    game.ticks(2);
    form.mnuHow_Click();

    form.mnuStart_Click();
    EXPECT_EQ(form.lblReady.Caption, "");
    EXPECT_FALSE(form.mnuStart.Enabled);
    EXPECT_FALSE(form.mnuHelp.Enabled);
    EXPECT_TRUE(form.Timer2.Enabled);
    EXPECT_EQ(form.CountdownStep, 4);
    for (int k = 0; k < 6; ++k) {
        form.Timer2_Timer();
        EXPECT_EQ(form.lblReady.Caption, "") << "stray tick " << k + 1;
    }
    EXPECT_TRUE(form.Timer1.Enabled) << "the game keeps running";
    game.ticks(1);
    EXPECT_EQ(form.lblScore.Caption, "3");

    // The next Restart stops the game and replays the countdown, which starts the game again.
    form.mnuRestart_Click();
    EXPECT_FALSE(form.Timer1.Enabled);
    form.Timer2_Timer();
    EXPECT_EQ(form.lblReady.Caption, "Ready");
    for (int k = 0; k < 3; ++k)
        form.Timer2_Timer();
    EXPECT_TRUE(form.Timer1.Enabled);
    EXPECT_FALSE(form.Timer2.Enabled);
}

TEST(Menu, StartAfterALostStrayGameStartsNothing)
{
    Game game;
    Veskara& form = game.form;
    form.mnuStart_Click();
    form.mnuRestart_Click();
    for (int k = 0; k < 4; ++k)
        form.Timer2_Timer();
    loseAt(form, 0);
    ASSERT_FALSE(form.Timer1.Enabled);
    ASSERT_TRUE(form.mnuStart.Enabled);

    form.mnuStart_Click();
    for (int k = 0; k < 10; ++k)
        form.Timer2_Timer();
    EXPECT_EQ(form.lblReady.Caption, "");
    EXPECT_FALSE(form.Timer1.Enabled);
    EXPECT_TRUE(form.Timer2.Enabled);
    EXPECT_EQ(form.CountdownStep, 14);
}

TEST(Menu, AfterAUsualLossStartStaysDisabledUntilRestart)
{
    Game game;
    Veskara& form = game.form;
    game.start();
    loseAt(form, 1);
    EXPECT_FALSE(form.mnuStart.Enabled);
    EXPECT_TRUE(form.mnuHelp.Enabled);
    EXPECT_FALSE(form.Timer2.Enabled);
    form.mnuRestart_Click();
    EXPECT_TRUE(form.mnuStart.Enabled);
    form.mnuStart_Click();
    form.Timer2_Timer();
    EXPECT_EQ(form.lblReady.Caption, "Ready");
}

TEST(Menu, QuitEndsTheProgramInAnyState)
{
    Game idle;
    idle.form.mnuQuit_Click();
    EXPECT_EQ(idle.host.ends, 1);
    EXPECT_TRUE(idle.host.boxes.empty());

    Game counting;
    counting.form.mnuStart_Click();
    counting.form.Timer2_Timer();
    counting.form.mnuQuit_Click();
    EXPECT_EQ(counting.host.ends, 1);

    Game playing;
    playing.start();
    playing.ticks(5);
    playing.form.mnuQuit_Click();
    EXPECT_EQ(playing.host.ends, 1);
    EXPECT_TRUE(playing.host.boxes.empty());
}

TEST(Menu, HowToPlayAndAboutWriteTheirTexts)
{
    Game game;
    Veskara& form = game.form;
    form.mnuHow_Click();
    EXPECT_EQ(form.lblReady.Caption, "Use the Left and Right arrow keys to avoid running into the falling obstacles.");
    EXPECT_EQ(form.lblReady.Caption.size(), 78u);
    form.mnuAbout_Click();
    EXPECT_EQ(form.lblReady.Caption, "Programmed By: Telmasc");
    EXPECT_TRUE(form.mnuHelp.Enabled);
    EXPECT_FALSE(form.Timer2.Enabled);
}

TEST(Menu, ACaptionShowsAsItStandsWithNoAccessKey)
{
    const struct {
        const char* caption;
        const char* shown;
    } cases[] = {{"How To Play", "How To Play"}, {"R&D", "R&&D"}, {"&&", "&&&&"}, {"", ""}};
    for (const auto& row : cases)
        EXPECT_EQ(menuText(row.caption), row.shown) << row.caption;
}
