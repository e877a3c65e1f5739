// Per-tick motion of the obstacles, their return to the horizon, the speed schedule and the score.
#include <algorithm>
#include <iterator>

#include "game/form.h"
#include "playfield/runtime.h"

namespace farvane {

namespace {

constexpr double BigObstacleScore = 800;
constexpr double FrenzyScore = 2401;
constexpr double Milestones[] = {600, 800, 1000, 1200, 1400, 1600, 1800, 2000, 2200, 2400};
constexpr std::int16_t FrenzyFallStep = 901;
constexpr std::int16_t FrenzyScoreStepGain = 504;

// How one kind of obstacle falls and grows per tick.
struct Motion {
    double fallBase; // added to Top on top of the kind's fall step
    double grow;     // added to Height
    double widen;    // added to Width
};
constexpr Motion SmallMotion{75, 36, 15};
constexpr Motion BigMotion{50, 55, 30};

// Each sum is formed wider than a Single and stored back as one, as the properties are Singles.
float singleSum(double a, double b, double c) { return static_cast<float>(a + b + c); }
// Two terms need no third "+ 0", which could only turn a sum of -0 into +0: no caller can tell.
float singleSum(double a, double b) { return static_cast<float>(a + b); }

void move(Shape& obstacle, const Motion& motion, std::int16_t fallStep, std::int16_t drift, std::int16_t steer)
{
    obstacle.Visible = true;
    obstacle.Top = singleSum(fallStep, obstacle.Top, motion.fallBase);
    obstacle.Height = singleSum(obstacle.Height, motion.grow);
    obstacle.Width = singleSum(obstacle.Width, motion.widen);
    obstacle.Left = singleSum(drift, obstacle.Left, steer);
}

} // namespace

// Out only when wholly below, right of or left of the client area: the test uses Top, not the
// bottom edge, so an obstacle stays in flight while any part of it is still above the bottom.
static bool isOut(const Scene& form, const Shape& obstacle)
{
    return obstacle.Top >= form.ScaleHeight || obstacle.Left >= form.ScaleWidth ||
           singleSum(obstacle.Left, obstacle.Width) <= form.ScaleLeft;
}

// Placed from the old spawn point before the new one is drawn, drift first, so the first return
// of each index in a run comes in at the left edge.
void Veskara::returnToHorizon(Shape& obstacle, std::int16_t& drift, std::size_t spawnIndex)
{
    SendToHorizon(obstacle);
    obstacle.Left = SpawnLeft[spawnIndex];
    drift = drawDrift();
    SpawnLeft[spawnIndex] = drawSpawnLeft();
}

void Veskara::Timer1_Timer()
{
    for (std::size_t i = 0; i < Obstacle.size(); ++i) {
        move(Obstacle[i], SmallMotion, FallStep, Drift[i], Steer);
        if (isOut(*this, Obstacle[i]))
            returnToHorizon(Obstacle[i], Drift[i], i);
    }

    // Nothing changes the score between here and the schedule, so one read serves all three uses.
    const double score = CaptionToNumber(lblScore.Caption);

    if (score >= BigObstacleScore) {
        for (std::size_t i = 0; i < BigObstacle.size(); ++i) {
            move(BigObstacle[i], BigMotion, BigFallStep, BigDrift[i], Steer);
            // Big obstacles 0 and 1 share the spawn points of small obstacles 0 and 1.
            if (isOut(*this, BigObstacle[i]))
                returnToHorizon(BigObstacle[i], BigDrift[i], i);
        }
    }

    ShowPlayerNormal();

    // Only an exact milestone counts: a key press that carries the score past one skips it.
    if (std::find(std::begin(Milestones), std::end(Milestones), score) != std::end(Milestones)) {
        FallStep = RoundToInt16(score / 100 * 25);
        BigFallStep = RoundToInt16(score / 100 * 30);
    } else if (score >= FrenzyScore) {
        FallStep = FrenzyFallStep;
        BigFallStep = FrenzyFallStep;
        ScoreStep = Add16(ScoreStep, FrenzyScoreStepGain);
    }

    SetCaptionNumber(lblScore.Caption, score + ScoreStep);

    CheckObstacleHits();
    CheckBigObstacleHits();
}

} // namespace farvane
