// The timers' schedule on a clock of whole milliseconds.
#include "midend/virtualclock.h"

namespace farvane {

VirtualClock::VirtualClock(Veskara& formToRun)
    : form(formToRun), timerSlots{Slot{&Scene::Timer1, &Veskara::Timer1_Timer},
                                  Slot{&Scene::Timer2, &Veskara::Timer2_Timer}}
{
    sync();
}

void VirtualClock::sync()
{
    for (Slot& slot : timerSlots) {
        const Timer& timer = form.*(slot.timer);
        // An interval of 0 keeps a timer from ticking at all.
        const bool on = timer.Enabled && timer.Interval > 0;
        if (on && !slot.on) {
            slot.due = clock + static_cast<Millis>(timer.Interval);
            slot.order = ++enableCount;
        }
        slot.on = on;
    }
}

void VirtualClock::reset()
{
    clock = 0;
    enableCount = 0;
    for (Slot& slot : timerSlots)
        slot.on = false;
}

std::optional<VirtualClock::Millis> VirtualClock::nextDue() const
{
    std::optional<Millis> due;
    for (const Slot& slot : timerSlots)
        if (slot.on && (!due || slot.due < *due))
            due = slot.due;
    return due;
}

VirtualClock::Slot* VirtualClock::nextSlot(Millis until)
{
    Slot* next = nullptr;
    for (Slot& slot : timerSlots) {
        if (!slot.on || slot.due > until)
            continue;
        if (!next || slot.due < next->due || (slot.due == next->due && slot.order < next->order))
            next = &slot;
    }
    return next;
}

} // namespace farvane
