// The timers' schedule on a clock of whole milliseconds: the script player runs the form on it,
// for the mid end, the headless replay and the soak alike.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "game/form.h"

namespace farvane {

// A timer that turns on at time t ticks at t + Interval, t + 2 Interval, ... while it stays on;
// turning it off drops its pending tick. Ticks due at the same instant run in the order in
// which their timers were last turned on. The clock itself only moves when told to.
class VirtualClock {
public:
    using Millis = std::uint64_t;

    explicit VirtualClock(Veskara& form);

    Millis now() const { return clock; }

    // Takes note of the timers' Enabled flags after an event handled at now().
    void sync();
    // Back to 0 with no timer on, as before the form loaded.
    void reset();

    // When the next tick falls due, if any timer is on.
    std::optional<Millis> nextDue() const;

    // Runs every tick due up to and including `until`, in time order, with now() at each tick's
    // time; then now() becomes `until`. After each tick `afterTick()` is called; when it returns
    // false the run stops there, with now() left at that tick's time.
    template <typename AfterTick>
    bool advanceTo(Millis until, AfterTick&& afterTick);

    bool advanceTo(Millis until)
    {
        return advanceTo(until, [] { return true; });
    }

private:
    struct Slot {
        Timer Scene::*timer;
        void (Veskara::*tick)();
        bool on = false;         // Enabled as last seen
        Millis due = 0;          // next tick, while on
        std::uint64_t order = 0; // when it was last turned on, for ties
    };

    Slot* nextSlot(Millis until);

    Veskara& form;
    Millis clock = 0;
    std::uint64_t enableCount = 0;
    std::array<Slot, 2> timerSlots; // not "slots": Qt defines that word as a macro
};

template <typename AfterTick>
bool VirtualClock::advanceTo(Millis until, AfterTick&& afterTick)
{
    while (Slot* slot = nextSlot(until)) {
        clock = slot->due;
        (form.*(slot->tick))();
        // The ticked timer keeps its rhythm if it stayed on; any change of a flag inside the
        // tick is taken from this instant.
        if ((form.*(slot->timer)).Enabled && slot->on)
            slot->due += static_cast<Millis>((form.*(slot->timer)).Interval);
        sync();
        if (!afterTick())
            return false;
    }
    clock = until > clock ? until : clock;
    return true;
}

} // namespace farvane
