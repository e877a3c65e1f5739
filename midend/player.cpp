// The one player of a replay script.
#include "midend/player.h"

#include <algorithm>
#include <utility>

namespace farvane {

ScriptPlayer::ScriptPlayer(Show& shown, std::optional<ReplayScript> played)
    : show(shown), script(std::move(played)), game(*this), timers(game)
{
    game.Form_Load();
    timers.sync();
    if (script)
        at = script->commands.begin();
}

void ScriptPlayer::MsgBox(std::string_view prompt, std::string_view title)
{
    if (over)
        return;
    const bool last = closeAtBox;
    if (last)
        sceneAtBox.emplace(game);
    show.box(prompt, title, last);
    if (last)
        End();
}

void ScriptPlayer::End()
{
    if (over)
        return;
    over = true;
    show.ended();
}

void ScriptPlayer::endAtBox()
{
    if (!sceneAtBox)
        sceneAtBox.emplace(game);
    over = true;
}

void ScriptPlayer::rewind()
{
    game = Veskara(*this);
    timers.reset();
    game.Form_Load();
    timers.sync();
    if (script)
        at = script->commands.begin();
    waitEnd.reset();
    burstLeft.reset();
    closeAtBox = false;
    over = false;
    stopping = false;
    sceneAtBox.reset();
}

VirtualClock::Millis scriptLength(const ReplayScript& script)
{
    VirtualClock::Millis total = 0;
    for (const Command& command : script.commands) {
        if (command.kind == CommandKind::Wait)
            total += static_cast<VirtualClock::Millis>(command.amount);
        else if (command.kind == CommandKind::Close ||
                 (command.kind == CommandKind::Menu && command.menu == MenuName::mnuQuit))
            break;
    }
    return total;
}

bool ScriptPlayer::afterTick()
{
    show.ticked();
    if (stopping) {
        stopping = false;
        left = 0;
    }
    return !over && left > 0 && --left > 0;
}

bool ScriptPlayer::play(Millis until, std::uint64_t budget)
{
    left = budget;
    stopping = false;
    if (!script) {
        if (left > 0 && !over)
            timers.advanceTo(until, [this] { return afterTick(); });
        return left == 0 && !over;
    }
    while (!over && at != script->commands.end()) {
        if (left == 0)
            return true;
        if (!step(*at, until))
            return left == 0 && !over;
        ++at;
    }
    return false;
}

void ScriptPlayer::run(const Command& command)
{
    left = std::numeric_limits<std::uint64_t>::max();
    step(command, Forever);
}

bool ScriptPlayer::step(const Command& command, Millis until)
{
    switch (command.kind) {
    case CommandKind::Wait:
        if (!waitEnd)
            waitEnd = timers.now() + static_cast<Millis>(command.amount);
        if (!timers.advanceTo(std::min(*waitEnd, until), [this] { return afterTick(); }) || *waitEnd > until)
            return false;
        waitEnd.reset();
        if (left > 0)
            --left; // a run of empty waits is work too
        return true;
    case CommandKind::Tick: {
        // Ticks raised at once: the clock and the schedule stay where they are.
        const bool first = command.timer == TimerName::Timer1;
        const Timer& timer = first ? game.Timer1 : game.Timer2;
        void (Veskara::*procedure)() = first ? &Veskara::Timer1_Timer : &Veskara::Timer2_Timer;
        if (!burstLeft)
            burstLeft = command.amount;
        for (; *burstLeft > 0 && timer.Enabled && !over; --*burstLeft) {
            if (left == 0)
                return false;
            --left;
            (game.*procedure)();
            timers.sync();
            show.ticked();
            if (std::exchange(stopping, false))
                left = 0;
        }
        burstLeft.reset();
        if (left > 0)
            --left;
        return true;
    }
    case CommandKind::Key: {
        std::int16_t keyCode = static_cast<std::int16_t>(command.amount);
        game.Form_KeyDown(keyCode, command.shift);
        break;
    }
    case CommandKind::Menu:
        choose(game, command.menu); // as in the window: nothing while it or its menu is disabled
        break;
    case CommandKind::Close:
        // The window's close button ends the program as Quit does, whatever the menu allows.
        End();
        break;
    case CommandKind::CloseAtBox: closeAtBox = true; break;
    case CommandKind::Dump: show.dump(); break;
    }
    if (left > 0)
        --left;
    if (std::exchange(stopping, false))
        left = 0;
    timers.sync();
    return true;
}

std::optional<ScriptPlayer::Millis> ScriptPlayer::nextDue() const
{
    std::optional<Millis> due = timers.nextDue();
    if (script && !scriptOver()) {
        const Command command = *at;
        Millis when = timers.now();
        if (command.kind == CommandKind::Wait && !burstLeft)
            when = waitEnd.value_or(timers.now() + static_cast<Millis>(command.amount));
        due = due ? std::min(*due, when) : when;
    }
    return due;
}

bool ScriptPlayer::scriptOver() const { return over || (script && at == script->commands.end()); }

} // namespace farvane
