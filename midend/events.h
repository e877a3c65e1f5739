// One event of a script run against the form at the clock's time: what the headless driver and a
// watched recording both do with a tick, a key, a menu choice or a close.
#pragma once

#include <cstdint>

#include "game/form.h"
#include "midend/virtualclock.h"
#include "playfield/host.h"
#include "script/script.h"

namespace farvane {

// Runs a tick, key, menu or close command; `going()` tells whether the program still runs (a run
// of ticks stops once it does not). Other commands are the caller's; returns false for them.
template <typename Going>
bool runEvent(Veskara& form, VirtualClock& clock, Host& host, const Command& command, Going&& going)
{
    switch (command.kind) {
    case CommandKind::Tick: {
        // Ticks raised at once: the clock and the schedule stay where they are.
        const bool first = command.timer == TimerName::Timer1;
        const Timer& timer = first ? form.Timer1 : form.Timer2;
        void (Veskara::*procedure)() = first ? &Veskara::Timer1_Timer : &Veskara::Timer2_Timer;
        for (std::int64_t done = 0; done < command.amount && timer.Enabled && going(); ++done) {
            (form.*procedure)();
            clock.sync();
        }
        return true;
    }
    case CommandKind::Key: {
        std::int16_t keyCode = static_cast<std::int16_t>(command.amount);
        form.Form_KeyDown(keyCode, command.shift);
        break;
    }
    case CommandKind::Menu:
        choose(form, command.menu); // as in the window: nothing while it or its menu is disabled
        break;
    case CommandKind::Close:
        // The window's close button ends the program as Quit does, whatever the menu allows.
        host.End();
        break;
    default:
        return false;
    }
    clock.sync();
    return true;
}

} // namespace farvane
