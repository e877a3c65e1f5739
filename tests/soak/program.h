// One run of the game headless, played by the script player with a host that checks every
// message box.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "midend/player.h"
#include "tests/support/invariants.h"

namespace farvane::soak {

// Answers every message box at once, checking what must hold when one opens.
class CheckingHost final : public ScriptPlayer::Show {
public:
    void box(std::string_view prompt, std::string_view title, bool last) override;
    void ticked() override
    {
        if (onTick)
            onTick();
    }
    void ended() override { programEnded = true; }

    const Veskara* form = nullptr;
    Verdict* verdict = nullptr;
    std::uint64_t boxes = 0;
    bool programEnded = false;
    std::function<void()> onTick; // after each tick the player runs
};

struct Program {
    explicit Program(Verdict& verdict)
    {
        host.form = &form;
        host.verdict = &verdict;
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    CheckingHost host;
    ScriptPlayer player{host};
    Veskara& form = player.form();
    VirtualClock& clock = player.clock();
};

inline void CheckingHost::box(std::string_view prompt, std::string_view title, bool)
{
    ++boxes;
    verdict->expect(prompt == "You Lose!" && title == "Muahahahaa", "the box says \"You Lose!\", \"Muahahahaa\"");
    verdict->expect(!form->Timer1.Enabled, "a message box opens only with Timer1 already off");
    verdict->expect(form->mnuHelp.Enabled, "a message box opens only with the Help menu back on");
    verdict->expect(form->Player1.BorderColor == Red, "a message box opens with the player shown red");
    verdict->expect(!form->Shielda[0].Visible && !form->Shieldf[0].Visible && !form->Shieldf[1].Visible,
                    "a message box opens once shield icons 0 and 1 are gone");
    CheckForm(*form, *verdict);
}

} // namespace farvane::soak
