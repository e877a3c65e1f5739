// The one player of a replay script: the headless replay, a watched recording and the soak all
// walk a script's events through virtual time here.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "game/form.h"
#include "midend/virtualclock.h"
#include "playfield/host.h"
#include "script/script.h"

namespace farvane {

// A script's whole virtual time: its waits, up to its end or to a close or Quit that ends it.
VirtualClock::Millis scriptLength(const ReplayScript& script);

class ScriptPlayer final : private Host {
public:
    using Millis = VirtualClock::Millis;
    static constexpr Millis Forever = std::numeric_limits<Millis>::max();
    // Work (ticks and commands) for one call of play() that keeps a window responsive: a few ms.
    static constexpr std::uint64_t Slice = 1 << 14;

    // What the run shows outside the form.
    class Show {
    public:
        // A message box as it comes up; returns once it is answered. `last` after close-at-box:
        // the window is closed on it, and the program ends with the scene as it stands.
        virtual void box(std::string_view prompt, std::string_view title, bool last) = 0;
        virtual void dump() {}   // a dump command, with the clock at its time
        virtual void ticked() {} // after each tick of a wait or a burst
        virtual void ended() {}  // Quit, close, or the box closed on: nothing more runs

    protected:
        ~Show() = default;
    };

    // Loads the form, where the clock starts at 0; play() walks `script`, if any.
    explicit ScriptPlayer(Show& show, std::optional<ReplayScript> script = std::nullopt);
    ScriptPlayer(const ScriptPlayer&) = delete;
    ScriptPlayer& operator=(const ScriptPlayer&) = delete;

    // Plays on up to virtual time `until`, doing at most `budget` ticks and commands, so a long
    // burst or wait goes in slices: true when the budget ran out first (call again). With a
    // script, its events each at its own time, stopping when they run out; without one (a live
    // game), the ticks due.
    bool play(Millis until, std::uint64_t budget = Slice);
    // Runs one command whole, outside any script: a live game's key or menu choice, a soak's event.
    void run(const Command& command);
    // Back to where the script starts: the form loaded afresh, the clock at 0.
    void rewind();
    // Ends the play() call in progress after the tick or command in progress, as if its budget ran out.
    void stop() { stopping = true; }
    // The script's whole virtual time (scriptLength), 0 without one.
    Millis length() const { return script ? scriptLength(*script) : 0; }

    // When the next tick or script event falls due, if any.
    std::optional<Millis> nextDue() const;
    // The script has run out or the program has ended: nothing more to play.
    bool scriptOver() const;
    bool ended() const { return over; }
    // The window was closed with a box up: the program ends, the scene stays as the box left it.
    void endAtBox();
    // What the player sees: the form, or the scene under the box the program ended at.
    const Scene& scene() const { return sceneAtBox ? *sceneAtBox : game; }

    Veskara& form() { return game; }
    const Veskara& form() const { return game; }
    VirtualClock& clock() { return timers; }
    const VirtualClock& clock() const { return timers; }

private:
    void MsgBox(std::string_view prompt, std::string_view title) override;
    void End() override;
    // Runs `command` as far as `until` and the budget let it; true when it is done.
    bool step(const Command& command, Millis until);
    bool afterTick();

    Show& show;
    std::optional<ReplayScript> script;
    CommandList::const_iterator at; // the next command to run
    Veskara game;
    VirtualClock timers;
    std::uint64_t left = 0;                // work left in this call
    std::optional<Millis> waitEnd;         // the end of the wait in progress
    std::optional<std::int64_t> burstLeft; // ticks left of the burst in progress
    bool closeAtBox = false;               // the next box is closed on
    bool over = false;
    bool stopping = false;
    std::optional<Scene> sceneAtBox;
};

} // namespace farvane
