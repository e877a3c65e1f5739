// Collisions of the player with the obstacles, the shield icons, and the lost game.
#include "game/form.h"
#include "playfield/runtime.h"

namespace farvane {

namespace {

// A box side that is a sum is added in full precision and only then rounded.
std::int32_t side(double a, double b = 0) { return RoundToInt32(a + b); }

Box boxOf(const Shape& obstacle)
{
    // Visible plays no part: a hidden obstacle collides like a shown one.
    return Box{side(obstacle.Left), side(obstacle.Top), side(obstacle.Left, obstacle.Width),
               side(obstacle.Top, obstacle.Height)};
}

} // namespace

// The body gives the left, right and bottom sides, the cab the top.
Box Veskara::playerBox() const
{
    return Box{side(Player1.Left), side(Player6.Top), side(Player1.Left, Player1.Width),
               side(Player1.Top, Player1.Height)};
}

void Veskara::loseGame()
{
    HideShield0();
    ShowPlayerHit();
    Timer1.Enabled = false; // off before the box, so no tick runs while it waits
    mnuHelp.Enabled = true;
    host->MsgBox("You Lose!", "Muahahahaa");
}

// Inline in the two checks below: each tick asks it once per obstacle.
inline bool Veskara::hitsPlayer(const Shape& obstacle) const
{
    // Most obstacles are nowhere near the vehicle. Rounding never reverses an order, so a side
    // whose sum lies on or beyond the vehicle's side before rounding still does after it: those
    // obstacles cannot hit, and neither box need be made. A NaN fails every comparison and goes
    // on to the full test.
    const double top = obstacle.Top;
    const double left = obstacle.Left;
    const double playerLeft = Player1.Left;
    if (top + double(obstacle.Height) <= double(Player6.Top) || top >= double(Player1.Top) + double(Player1.Height) ||
        left + double(obstacle.Width) <= playerLeft || left >= playerLeft + double(Player1.Width))
        return false;
    Box intersection; // filled by the test, read by nobody
    return IntersectRect(intersection, playerBox(), boxOf(obstacle)) != 0;
}

// One shield icon goes, icon 2 first. With icon 1 already gone this hit is the last, and the
// lost game comes first; the shield step still runs after it.
void Veskara::loseShield()
{
    if (!Shieldf[1].Visible)
        loseGame();
    if (!Shieldf[2].Visible)
        HideShield1();
    else
        HideShield2();
}

void Veskara::CheckObstacleHits()
{
    // A hit, even a lost game, does not end the loop: two overlapping obstacles give two boxes.
    for (std::size_t i = 0; i < Obstacle.size(); ++i) {
        if (!hitsPlayer(Obstacle[i]))
            continue;
        loseShield();
        SendToHorizon(Obstacle[i]);
        Obstacle[i].Left = SpawnLeft[i];
        ShowPlayerHit();
    }
}

void Veskara::CheckBigObstacleHits()
{
    for (std::size_t i = 0; i < BigObstacle.size(); ++i) {
        if (!hitsPlayer(BigObstacle[i]))
            continue;
        loseShield();
        ShowPlayerHit();
        // A big obstacle goes back up above the place where it hit: its Left stays.
        SendToHorizon(BigObstacle[i]);
    }
}

namespace {

void paintPlayer(Veskara& form, Colour colour)
{
    form.Player1.BorderColor = colour;
    form.Player2.BorderColor = colour;
    form.Player3.BorderColor = colour;
    form.Player4.BorderColor = colour;
    form.Player5.BorderColor = colour;
    form.Player6.BorderColor = colour;
}

void hideShield(Veskara& form, int n)
{
    form.Shielda[n].Visible = false;
    form.Shieldb[n].Visible = false;
    form.Shieldc[n].Visible = false;
    form.Shieldd[n].Visible = false;
    form.Shielde[n].Visible = false;
    form.Shieldf[n].Visible = false;
}

} // namespace

void Veskara::ShowPlayerHit() { paintPlayer(*this, Red); }
void Veskara::ShowPlayerNormal() { paintPlayer(*this, Teal); }
void Veskara::HideShield0() { hideShield(*this, 0); }
void Veskara::HideShield1() { hideShield(*this, 1); }
void Veskara::HideShield2() { hideShield(*this, 2); }

} // namespace farvane
