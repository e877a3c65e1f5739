// The menu commands: Start, Restart (which keeps the high score), Quit, How To Play and About.
#include "game/form.h"
#include "playfield/runtime.h"

namespace farvane {

void Veskara::mnuStart_Click()
{
    lblReady.Caption.clear();
    mnuHelp.Enabled = false;
    mnuStart.Enabled = false;
    Timer2.Enabled = true;
}

// The high score is carried over when none is kept yet or the kept one is the smaller number.
// Compared as numbers: as text, "95" would outrank "100" and the high score would fall behind.
static bool beatsHighScore(const std::string& high, const std::string& score)
{
    return high.empty() || CaptionToNumber(high) < CaptionToNumber(score);
}

void Veskara::mnuRestart_Click()
{
    if (beatsHighScore(lblHigh.Caption, lblScore.Caption))
        lblHigh.Caption = lblScore.Caption;
    ScoreStep = 1;
    Timer1.Enabled = false;
    mnuHelp.Enabled = true;
    mnuStart.Enabled = true;
    lblScore.Caption = "0";
    lblReady.Caption.clear();
    FallStep = 100;
    ShowPlayerNormal();
    // Timer2 is left alone: a Restart during the countdown makes it start over from "Ready"
    // and then start the game by itself.
    CountdownStep = 0;
    for (std::size_t i = 0; i < Obstacle.size(); ++i) {
        SendToHorizon(Obstacle[i]);
        Obstacle[i].Left = SpawnLeft[i];
    }
    for (auto& obstacle : BigObstacle)
        SendToHorizon(obstacle); // keeps its Left
    for (std::size_t n = 0; n < Shielda.size(); ++n) {
        Shielda[n].Visible = true;
        Shieldb[n].Visible = true;
        Shieldc[n].Visible = true;
        Shieldd[n].Visible = true;
        Shielde[n].Visible = true;
        Shieldf[n].Visible = true;
    }
}

void Veskara::mnuQuit_Click() { host->End(); }

void Veskara::mnuHow_Click()
{
    lblReady.Caption = "Use the Left and Right arrow keys to avoid running into the falling obstacles.";
}

void Veskara::mnuAbout_Click() { lblReady.Caption = "Programmed By: Telmasc"; }

} // namespace farvane
