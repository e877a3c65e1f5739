// The game tick timed the same way in the page's WebAssembly and natively.
#include "web/tickbench.h"

#include <chrono>

#include "game/form.h"

namespace farvane {

namespace {

class SilentHost : public Host {
public:
    void MsgBox(std::string_view, std::string_view) override {}
    void End() override {}
};

} // namespace

double tickNanos(std::int64_t ticks)
{
    constexpr int GameTicks = 2400;
    SilentHost host;
    Veskara start(host);
    start.Form_Load();
    start.mnuStart_Click();
    for (int k = 0; k < 4; ++k)
        start.Timer2_Timer();
    start.Player1.Left = -1.0e6f; // no obstacle ever reaches the vehicle
    Veskara form = start;
    int inGame = 0;
    const auto begin = std::chrono::steady_clock::now();
    for (std::int64_t done = 0; done < ticks; ++done) {
        form.Timer1_Timer();
        if (++inGame == GameTicks) {
            form = start;
            inGame = 0;
        }
    }
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    // The final score keeps the loop from being optimised away.
    volatile bool keep = form.lblScore.Caption.empty();
    (void)keep;
    return std::chrono::duration<double, std::nano>(elapsed).count() / static_cast<double>(ticks);
}

} // namespace farvane
