// Start-up: the module variables' start values and the six drifts drawn at load.
#include "game/form.h"
#include "playfield/runtime.h"

namespace farvane {

void Veskara::Form_Load()
{
    RightEdge = 14;
    LeftEdge = 15;
    FallStep = 100;
    ScoreStep = 1;
    for (auto& drift : Drift)
        drift = drawDrift();
    for (auto& drift : BigDrift)
        drift = drawDrift();
}

// One Rnd times 500 less 250, with no rounding in between, floored: -250..249.
std::int16_t Veskara::drawDrift() { return Int(static_cast<double>(Rnd()) * 500.0 - 250.0); }

// One Rnd times 720 plus 2880, floored: 2880..3599.
std::int16_t Veskara::drawSpawnLeft() { return Int(static_cast<double>(Rnd()) * 720.0 + 2880.0); }

} // namespace farvane
