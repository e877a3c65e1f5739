// Steering: the arrow keys swing the road edges, shift every obstacle and earn points.
#include "game/form.h"
#include "playfield/runtime.h"

namespace farvane {

namespace {

constexpr float SteerShift = 945;      // twips every obstacle jumps on a press
constexpr std::int16_t SteerGain = 25; // twips added to the per-tick sideways shift
constexpr double PressPoints = 5;

void showBorder(Scene& scene, int index, bool visible)
{
    // The edge guards keep the indices inside the array; a stray one is ignored, never written.
    if (index >= 0 && index < static_cast<int>(scene.Border.size()))
        scene.Border[static_cast<std::size_t>(index)].Visible = visible;
}

void shiftObstacles(Scene& scene, float shift)
{
    for (auto& obstacle : scene.Obstacle)
        obstacle.Left = static_cast<float>(static_cast<double>(obstacle.Left) + shift);
    for (auto& obstacle : scene.BigObstacle)
        obstacle.Left = static_cast<float>(static_cast<double>(obstacle.Left) + shift);
}

} // namespace

void Veskara::Form_KeyDown(std::int16_t& KeyCode, std::int16_t /*Shift*/)
{
    if (!Timer1.Enabled)
        return;
    // The guards look at the steepest edge line on the side the press moves towards, not at
    // the index variables.
    if (KeyCode == KeyLeft && !Border[29].Visible)
        steer(+1);
    if (KeyCode == KeyRight && !Border[28].Visible)
        steer(-1);
}

// One press: +1 for Left, which moves the world to the right, -1 for Right, its mirror image.
void Veskara::steer(int direction)
{
    const std::int16_t right = Add16(RightEdge, -2 * direction);
    const std::int16_t left = Add16(LeftEdge, 2 * direction);
    RightEdge = right;
    LeftEdge = left;
    // The edge whose index grows is updated first: the left one for Left, the right one for Right.
    const int growing = direction > 0 ? LeftEdge : RightEdge;
    const int shrinking = direction > 0 ? RightEdge : LeftEdge;
    showBorder(*this, growing, true);
    showBorder(*this, growing - 2, false);
    showBorder(*this, shrinking, true);
    showBorder(*this, shrinking + 2, false);
    SetCaptionNumber(lblScore.Caption, CaptionToNumber(lblScore.Caption) + PressPoints);
    Steer = Add16(Steer, SteerGain * direction);
    shiftObstacles(*this, SteerShift * static_cast<float>(direction));
}

} // namespace farvane
