// The browser's host of the form: real time onto the virtual clock, keys, menus, the box, the
// picture and the record.
#include "web/webgame.h"

#include <algorithm>
#include <cmath>

#include "script/dump.h"

namespace farvane {

WebGame::WebGame(RealMillis start, double devicePixelRatio, ShowBox show)
    : showBox(std::move(show)), game(*this), clock(game), picture(devicePixelRatio, PixelOrder::Rgba8888),
      offset(start)
{
    script = ScriptWriter::heading();
    script += '\n';
    game.Form_Load();
    clock.sync();
}

void WebGame::runDueTicks(RealMillis now)
{
    if (hasEnded || boxOpen || hiddenSince)
        return;
    eventTime = now;
    const RealMillis real = std::floor(now - offset);
    VirtualClock::Millis until = std::max<VirtualClock::Millis>(
        clock.now(), real > 0 ? static_cast<VirtualClock::Millis>(real) : 0);
    if (const std::optional<VirtualClock::Millis> due = clock.nextDue();
        due && until > *due + static_cast<VirtualClock::Millis>(StallMs)) {
        offset += static_cast<RealMillis>(until - *due);
        until = *due;
    }
    clock.advanceTo(until, [this] {
        changed = true;
        return !hasEnded;
    });
}

bool WebGame::beginEvent(RealMillis now)
{
    if (hasEnded || boxOpen || hiddenSince)
        return false;
    // Ticks and events interleave as in a replay: the ticks due by now run first.
    runDueTicks(now);
    return !hasEnded;
}

void WebGame::record(const Command& command) { writer.append(script, clock.now(), command); }

bool WebGame::key(RealMillis now, std::int16_t code, std::int16_t shift)
{
    if (!beginEvent(now))
        return false;
    Command command;
    command.kind = CommandKind::Key;
    command.amount = code;
    command.shift = shift;
    record(command);
    std::int16_t keyCode = code;
    game.Form_KeyDown(keyCode, shift);
    clock.sync();
    changed = true;
    return true;
}

bool WebGame::menu(RealMillis now, MenuName entry)
{
    if (!canChoose(game, entry) || !beginEvent(now))
        return false;
    // The ticks due before the click may just have greyed the entry.
    if (!canChoose(game, entry))
        return false;
    Command command;
    command.kind = CommandKind::Menu;
    command.menu = entry;
    record(command);
    choose(game, entry);
    clock.sync();
    changed = true;
    return true;
}

void WebGame::setHidden(RealMillis now, bool hide)
{
    if (hide == hiddenSince.has_value())
        return;
    // Ticks due before the tab went away run when it is back, at their own virtual times.
    if (hide) {
        hiddenSince = now;
    } else {
        offset += std::max<RealMillis>(0, now - *hiddenSince);
        hiddenSince.reset();
    }
}

void WebGame::MsgBox(std::string_view prompt, std::string_view title)
{
    if (hasEnded || boxOpen)
        return;
    boxOpen = true;
    // The box comes up over the picture of the losing hit.
    changed = true;
    render();
    // Nothing ticks behind the box, and virtual time stands still while it is up.
    const RealMillis closedAt = showBox(prompt, title);
    offset += std::max<RealMillis>(0, closedAt - eventTime);
    eventTime = closedAt;
    boxOpen = false;
}

std::optional<WebGame::RealMillis> WebGame::nextDue() const
{
    const std::optional<VirtualClock::Millis> due = clock.nextDue();
    if (!due || hasEnded || boxOpen || hiddenSince)
        return std::nullopt;
    return offset + static_cast<RealMillis>(*due);
}

int WebGame::menuState() const
{
    int bits = 0;
    for (std::size_t i = 0; i < MenuItems.size(); ++i)
        if (canChoose(game, MenuItems[i].name))
            bits |= 1 << i;
    bits |= game.mnuFile.Enabled ? 1 << 5 : 0;
    bits |= game.mnuHelp.Enabled ? 1 << 6 : 0;
    bits |= hasEnded ? 1 << 7 : 0;
    return bits;
}

bool WebGame::render()
{
    if (!changed)
        return false;
    drawn.clear();
    for (const PixelRect& rect : changes.since(game)) {
        rasterize(game, picture, rect);
        drawn.push_back(picture.deviceRect(rect));
    }
    changed = false;
    return true;
}

void WebGame::setDevicePixelRatio(double ratio)
{
    if (ratio == picture.devicePixelRatio())
        return;
    picture = FrameBuffer(ratio, PixelOrder::Rgba8888);
    changes.reset();
    changed = true;
}

std::string WebGame::recording() const
{
    std::string text = script;
    ScriptWriter checkpoint = writer;
    checkpoint.appendWaitUntil(text, clock.now());
    return text;
}

std::string WebGame::dump() const
{
    std::string line;
    replay::appendDumpLine(line, game, clock.now());
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

} // namespace farvane
