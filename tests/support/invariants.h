// What must hold after every event of any game: road edges, shields, score text, obstacles at rest,
// module variables within their ranges, timers and menus.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "game/form.h"
#include "playfield/scene.h"

namespace farvane::soak {

// Counts the checks made and keeps the first one that failed.
class Verdict {
public:
    void expect(bool holds, const std::string& what)
    {
        ++checks;
        if (!holds && failure.empty())
            failure = what;
    }
    bool ok() const { return failure.empty(); }
    const std::string& firstFailure() const { return failure; }
    std::uint64_t checkCount() const { return checks; }

private:
    std::uint64_t checks = 0;
    std::string failure;
};

// The score caption as a whole number, when it is one written the way the game writes numbers:
// decimal digits only, no sign, no leading zero.
std::optional<std::uint64_t> WholeScore(const std::string& caption);

// The shield icons shown, 3 to 0, or nullopt when some icon is half hidden or a later icon is
// shown while an earlier one is gone (icon 2 goes first, then 1, then 0).
std::optional<int> ShieldsShown(const Scene& scene);

// What holds of any scene the game can reach: one road edge a side, whole shield icons in order,
// a whole-number score, obstacles at rest at the horizon, the player in one colour, fixed timer
// intervals, the menu entries that never change, and the texts the message label can hold.
void CheckScene(const Scene& scene, Verdict& verdict);

// CheckScene plus the module variables: the road-edge indices against the lines shown and Steer,
// the fall speeds, ScoreStep, the spawn points, the drifts and the countdown state.
void CheckForm(const Veskara& form, Verdict& verdict);

// Everything the form holds, as text: two forms that print the same are the same game.
std::string Fingerprint(const Veskara& form);

} // namespace farvane::soak
