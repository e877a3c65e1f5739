// The mid end: the live game written once for every host. A host (the Qt window, the browser
// page, the Windows program) hands it real time, keys, menu choices, a close, hidden and shown,
// and shows the box it asks for; it hands back the picture and where it changed, the menu state,
// when to call it next and whether the program has ended, and writes the recording to a sink.
// Standard C++ only.
//
// Real time is a monotonic clock in milliseconds, any origin, as a double (performance.now() on
// the page; a whole number of ms from QElapsedTimer or the Windows tick count converts exactly).
// The virtual clock the game runs on starts at 0 when the form loads and is real time less the
// union of what it leaves out: a stall, the box being up, the host being hidden. An instant that
// is left out for two reasons at once (the page hidden under the box) is left out once.
//
// Only the page calls setHidden(): a browser throttles a hidden tab's timers, so the page holds
// the clock while its tab is in the background. A desktop window (Qt, Windows) plays on while
// minimised or covered, as any desktop program does.
//
// Every call runs to its end on the host's one thread. The only call back out is the box (ShowBox),
// which returns once the player has answered it. While it is up:
// - advance(), key() and menu() do nothing (key() and menu() return false);
// - close() ends the program, and the record ends with "close-at-box";
// - setHidden() takes note, so the time hidden after the box is answered is left out too;
// - render() and setFrameFormat() draw the scene under the box, for a host that repaints then;
// - closeRecord() and every query (deadline() is none, boxIsOpen() true) answer as always.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "game/form.h"
#include "menu/menutable.h"
#include "picture/raster.h"
#include "playfield/scene.h"
#include "script/recordsink.h"
#include "script/script.h"

namespace farvane {

// Real time: milliseconds on the host's monotonic clock, any origin.
using RealMillis = double;

// What the menus show: which entries can be chosen now (the one rule every host follows), and
// whether the File and Help menus themselves are enabled.
struct MenuState {
    std::array<bool, MenuItems.size()> entries{}; // by MenuName
    bool fileMenu = false;
    bool helpMenu = false;

    bool operator==(const MenuState&) const = default;
};

// What a host shows or tells of the game (a screen reader, a title), read off the scene.
struct GameStatus {
    std::string score;     // as the road shows it
    std::string highScore; // "" until a Restart carries a score over
    std::string countdown; // the word in the road: "Ready", "Set", "Go!", a help text, or ""
    int shieldsLeft = 3;
    bool gameOver = false; // the last game was lost: no shield is left
    bool boxUp = false;

    bool operator==(const GameStatus&) const = default;
};

// Where a watched recording stands, in virtual ms of the recording.
struct WatchPosition {
    std::uint64_t at = 0;     // the virtual clock
    std::uint64_t length = 0; // the recording's whole virtual time
    double speed = 1;         // times real time
    bool paused = false;
    bool over = false; // the script has run out or its game has ended
};

// "0:07.5 / 0:42.0": the time a watch stands at and its length, in tenths of a second rounded
// down, with hours when the length has any.
std::string watchTimes(const WatchPosition& position);

// "0:07.5 / 0:42.0, 2×, paused": where a watch stands, as a window's title shows it after the
// caption. Tenths of a second, rounded down; hours when the length has any.
std::string watchText(const WatchPosition& position);

// The caption a window shows while watching: the form's, then where the watch stands,
// "Farvane V1.33.7 — 0:07.5 / 0:42.0, 2×, paused".
std::string watchTitle(const WatchPosition& position);

// How a watch starts: its speed, and the virtual time it starts at (clamped to the length).
struct WatchStart {
    double speed = 1;
    std::uint64_t fromMs = 0;
};

// Where a live game's recording goes, if anywhere.
struct RecordOptions {
    RecordSink* sink = nullptr; // none: nothing is recorded; else it must outlive the mid end
    bool checkpoints = false;   // a "wait" up to the clock every MidEnd::CheckpointMs of real time
                                // while a timer runs, so a program killed outright loses little
};

class MidEnd {
public:
    // Shows the lost-game box (one OK button) over the picture of the losing hit (scene() shows
    // it; a host that shows frame() calls render() first), and returns once it is dismissed, with
    // the real time it was dismissed at. The host may call close() and setHidden() before returning.
    using ShowBox = std::function<RealMillis(std::string_view prompt, std::string_view title)>;

    // A game more than this behind real time has stalled (a suspended machine, a debugger, a
    // busy page): play resumes where it stood instead of racing through every tick it missed.
    static constexpr RealMillis StallMs = 250;
    // Real time between two checkpoints of a recording (see RecordOptions).
    static constexpr RealMillis CheckpointMs = 1000;
    // While a watch plays, a window shows where it stands this often (calling advance() then too),
    // also through a stretch with no tick.
    static constexpr RealMillis WatchShowMs = 100;

    // A live game: loads the form at real time `start`, where the virtual clock starts at 0.
    MidEnd(RealMillis start, ShowBox showBox, RecordOptions recording = {});
    // Watching: plays `script` (read and checked whole by the host) in real time from `start`:
    // each event at its own virtual time, the box where the recorded game showed it (the watcher
    // answers it). The watcher's keys and menu choices are ignored, except Quit, which ends the
    // program as close() does. When the script runs out, or the recorded game ends, the watch is
    // over: the picture stays as `farvane --script FILE --screenshot` draws it and time stops.
    // key() takes the watcher's controls instead (see below).
    MidEnd(RealMillis start, ShowBox showBox, ReplayScript script, WatchStart from = {});
    ~MidEnd();
    MidEnd(const MidEnd&) = delete;
    MidEnd& operator=(const MidEnd&) = delete;

    // --- Input. Each runs the ticks due by `now` first, as a replay interleaves them. ---

    // Real time has reached `now`: runs every tick (and while watching, every event) due by then.
    // Call it at deadline(); calling it at any other time is harmless. May show the box. Its work
    // is bounded: a watched burst of a billion ticks goes in slices, each call returning with the
    // deadline at once, so the host takes its own events (a close, a signal) in between.
    void advance(RealMillis now);
    // A key-down: form key code (37 Left, 39 Right, other desktop virtual-key codes) and shift
    // mask (Shift 1, Ctrl 2, Alt 4). False when no event could run (ended, box up, hidden). While
    // watching, a watch control's key; true when it is one.
    bool key(RealMillis now, std::int16_t code, std::int16_t shift);
    // A menu entry; runs only when menuState() allows it after the ticks due. False when it did not run.
    bool menu(RealMillis now, MenuName entry);
    // The window's close button: ends the program in any state, also while the box is up (the
    // record then ends with "close-at-box": nothing after the box in that tick runs).
    void close(RealMillis now);
    // The page's tab went into the background or came back: the clock holds while it is hidden,
    // so the game never jumps or races when the player returns.
    void setHidden(RealMillis now, bool hidden);

    // --- Watching: the controls. They do nothing in a live game, once ended or with the box up. ---
    // Space (32) pauses and resumes, Left (37) and Right (39) seek 5 s, [ (219) and ] (221) halve
    // and double the speed, . (190) steps, Home (36) and End (35) jump to the start and the end.

    // Paused, the virtual clock holds and there is no deadline.
    void watchPause(RealMillis now, bool paused);
    // Times real time, 0.25 to 8 (clamped): the deadlines come at the recorded intervals / speed.
    void watchSetSpeed(RealMillis now, double speed);
    // To virtual time `virtualMs` (clamped to the length), exactly: the state is what the
    // headless replay of the script cut there gives (every command up to that time, the wait in
    // progress cut there). Back replays from the start. No box shows on the way.
    void watchSeek(RealMillis now, std::uint64_t virtualMs);
    // While paused: plays on until one timer tick has run (a box on the way shows).
    void watchStep(RealMillis now);
    // To the next message box of the recording after the clock: the state once the tick that
    // raised it has run, the box not shown; to the end if none comes.
    void watchJumpToBox(RealMillis now);
    void watchJumpToEnd(RealMillis now);
    WatchPosition watchPosition() const;

    // --- Output. ---

    // The real time at which to call advance() next; none when nothing is due (no timer on, the
    // box up, hidden, ended, the watch over). A host arms one timer for it after every call.
    std::optional<RealMillis> deadline() const;
    // The program is to end (Quit, close()): the host closes its window. The record is closed.
    bool ended() const;
    // Watching, and the script has run out or its game has ended: the final picture shows.
    bool watchOver() const;
    bool watching() const;
    bool boxIsOpen() const;
    bool hidden() const;
    // The menus by the one rule: an entry can be chosen when it and its menu are enabled. While
    // watching only File and Quit can; once ended, nothing.
    MenuState menuState() const;

    GameStatus status() const;

    // The scene to show: the form's, except after a close on the box, where it stays as the box
    // left it.
    const Scene& scene() const;
    // The picture, for hosts that show the mid end's frame: draws the rectangles that changed since
    // the last call into frame(), and returns whether any did; dirty() then holds them in device
    // pixels. A host that draws scene() itself tracks its own changes and need not call it.
    bool render();
    const FrameBuffer& frame() const;
    const std::vector<PixelRect>& dirty() const;
    // Makes the frame again at another device pixel ratio or pixel order; the next render() draws it whole.
    void setFrameFormat(double devicePixelRatio, PixelOrder order);

    // --- The recording. ---

    // The lines that would close the record now (a "wait" up to the clock), not yet written: the
    // page appends them to the sink's text when it saves a recording mid-game.
    std::string closingLines() const;
    // Closes the record as the game stands (a "wait" up to the clock, or "close-at-box" with the
    // box up) and records nothing more: a host ending for an outside reason (a signal) calls it.
    // ended() and close() call it themselves; a second call does nothing.
    void closeRecord();

    // --- For tests and tools. ---

    const Veskara& form() const;
    Veskara& form(); // a change made here is taken in by formChanged()
    void formChanged();
    std::uint64_t virtualNow() const;
    std::string dump() const; // the state dump line at the clock, without its line end

private:
    class Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace farvane
