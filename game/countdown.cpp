// The countdown before a game: "Ready", "Set", "Go!", then the game tick takes over.
#include "game/form.h"
#include "playfield/runtime.h"

namespace farvane {

void Veskara::Timer2_Timer()
{
    switch (CountdownStep) {
    case 0: lblReady.Caption = "Ready"; break;
    case 1: lblReady.Caption = "Set"; break;
    case 2: lblReady.Caption = "Go!"; break;
    case 3:
        // The game tick is on before the countdown is off, so no instant has neither running.
        lblReady.Caption.clear();
        Timer1.Enabled = true;
        Timer2.Enabled = false;
        break;
    default:
        // A Start chosen after a Restart let the countdown run on: the timer ticks with no effect.
        break;
    }
    CountdownStep = Add16(CountdownStep, 1);
}

} // namespace farvane
