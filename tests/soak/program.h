// One run of the game headless: the form, a host that checks every message box, and the timers'
// schedule on a virtual clock, as the replay driver runs it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "game/form.h"
#include "midend/virtualclock.h"
#include "tests/support/invariants.h"

namespace farvane::soak {

// Answers every message box at once, checking what must hold when one opens.
class CheckingHost : public Host {
public:
    void MsgBox(std::string_view prompt, std::string_view title) override;
    void End() override { ended = true; }

    const Veskara* form = nullptr;
    Verdict* verdict = nullptr;
    std::uint64_t boxes = 0;
    bool ended = false;
};

struct Program {
    explicit Program(Verdict& verdict)
    {
        host.form = &form;
        host.verdict = &verdict;
        form.Form_Load();
        clock.sync();
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    CheckingHost host;
    Veskara form{host};
    VirtualClock clock{form};
};

inline void CheckingHost::MsgBox(std::string_view prompt, std::string_view title)
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
