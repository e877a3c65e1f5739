// The browser's host of the form: real time from the page onto the virtual clock, keys, menus,
// the lost-game box, the picture and the record of the game played. Standard C++ only; the page
// (web/main.cpp) hands in the browser's clock and shows the box.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "menu/menutable.h"
#include "picture/raster.h"
#include "picture/scenediff.h"
#include "script/scriptwriter.h"
#include "midend/virtualclock.h"
#include "game/form.h"

namespace farvane {

class WebGame : public Host {
public:
    // Real time: milliseconds on the page's clock (performance.now()), any origin.
    using RealMillis = double;
    // Shows the box and returns once it is dismissed, with the real time it was dismissed at.
    using ShowBox = std::function<RealMillis(std::string_view prompt, std::string_view title)>;

    // A play of more than this behind real time is a stall (a busy machine, a paused debugger):
    // play resumes from it, no burst. The same rule as the desktop window's.
    static constexpr RealMillis StallMs = 250;

    // Loads the form at real time `start`; the virtual clock starts at 0 there.
    WebGame(RealMillis start, double devicePixelRatio, ShowBox showBox);

    // Runs every tick due by `now`. May show the box.
    void runDueTicks(RealMillis now);
    // A key-down of the page (37 Left, 39 Right, any other code ignored by the game); shift mask
    // Shift 1, Ctrl 2, Alt 4. False when no event can run now (the game ended, the tab hidden).
    bool key(RealMillis now, std::int16_t code, std::int16_t shift);
    // A menu entry; as on the desktop it does nothing unless the shared menu rule lets it run.
    bool menu(RealMillis now, MenuName entry);
    // The tab is hidden or shown again: the clock holds while it is hidden, so a game never
    // jumps or races when the player comes back.
    void setHidden(RealMillis now, bool hidden);

    // The real time the next tick falls due; nothing when no tick will without an event (no timer
    // enabled, the tab hidden, the box up, the game ended), so an idle page can sleep.
    std::optional<RealMillis> nextDue() const;

    // The picture, drawn again where the scene changed since the last call; false when nothing
    // may have. The picture is then whole; dirty() tells which of its device pixels are new.
    bool render();
    const FrameBuffer& frame() const { return picture; }
    // The device-pixel rectangles the last render() drew, for the canvas's dirty rectangles.
    const std::vector<PixelRect>& dirty() const { return drawn; }
    void setDevicePixelRatio(double ratio);

    // The game played so far as a replay script, up to the virtual time the clock has reached.
    std::string recording() const;
    // The state dump line (without its line end) at the clock's time.
    std::string dump() const;

    // Bits 0-4: whether each entry of MenuItems can be chosen now (the shared menu rule);
    // 5 and 6: the File and Help menus enabled; 7: the game has ended.
    int menuState() const;

    const Veskara& form() const { return game; }
    VirtualClock::Millis virtualNow() const { return clock.now(); }
    bool ended() const { return hasEnded; }
    bool boxIsOpen() const { return boxOpen; }
    bool hidden() const { return hiddenSince.has_value(); }

    // Host
    void MsgBox(std::string_view prompt, std::string_view title) override;
    void End() override { hasEnded = true; }

private:
    bool beginEvent(RealMillis now);
    void record(const Command& command);

    ShowBox showBox;
    Veskara game;
    VirtualClock clock;
    FrameBuffer picture;
    SceneChanges changes;        // what the picture shows, and so what a frame must draw again
    std::vector<PixelRect> drawn; // device pixels, as the last render() drew them
    ScriptWriter writer;
    std::string script;
    RealMillis offset;                    // real time left out of the virtual clock
    RealMillis eventTime = 0;             // real time of the call in progress
    std::optional<RealMillis> hiddenSince; // real time the tab went into the background
    bool boxOpen = false;
    bool hasEnded = false;
    bool changed = true;
};

} // namespace farvane
