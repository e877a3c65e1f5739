// The page's entry points: the JavaScript module (page.js) calls these with the browser's clock
// and input, and shows the box through Module.showBox, which the tick waits for.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "midend/midend.h"

namespace {

// Suspends the tick (Asyncify) until the page's <dialog> is answered; returns the real time then.
// Nothing may call into the module while it waits, so the picture and the menus to show under
// the box come along.
EM_ASYNC_JS(double, showBoxAndWait,
            (const char* prompt, int promptBytes, const char* title, int titleBytes, const void* pixels, int width,
             int height, int menuState),
            {
                return await Module.showBox(UTF8ToString(prompt, promptBytes), UTF8ToString(title, titleBytes),
                                            {pixels : pixels, width : width, height : height, menuState : menuState});
            });

std::unique_ptr<farvane::MidEnd> game;
std::unique_ptr<farvane::StringSink> record; // none while watching
double ratio = 1;
std::string text;  // the last string handed out; valid until the next call that returns one
std::string input; // what the page hands in: farvane_input's buffer

const char* handOut(std::string value)
{
    text = std::move(value);
    return text.c_str();
}

// The menu state as bits, laid out here alone: bit i whether MenuItems[i] (the page's data-entry)
// can be chosen now, then whether the File and Help menus are enabled and whether the game has ended.
constexpr int FileMenuBit = static_cast<int>(farvane::MenuItems.size());
constexpr int HelpMenuBit = FileMenuBit + 1;
constexpr int EndedBit = HelpMenuBit + 1;

int menuBits()
{
    const farvane::MenuState state = game->menuState();
    int bits = 0;
    for (std::size_t i = 0; i < state.entries.size(); ++i)
        bits |= state.entries[i] ? 1 << i : 0;
    bits |= state.fileMenu ? 1 << FileMenuBit : 0;
    bits |= state.helpMenu ? 1 << HelpMenuBit : 0;
    bits |= game->ended() ? 1 << EndedBit : 0;
    return bits;
}

double showBox(std::string_view prompt, std::string_view title)
{
    // The box comes up over the picture of the losing hit.
    game->render();
    return showBoxAndWait(prompt.data(), static_cast<int>(prompt.size()), title.data(), static_cast<int>(title.size()),
                          game->frame().pixels(), game->frame().width(), game->frame().height(), menuBits());
}

} // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void farvane_load(double now, double devicePixelRatio)
{
    ratio = devicePixelRatio;
    record = std::make_unique<farvane::StringSink>();
    game = std::make_unique<farvane::MidEnd>(now, showBox, farvane::RecordOptions{record.get(), false});
    game->setFrameFormat(ratio, farvane::PixelOrder::Rgba8888);
}

// A buffer of `bytes` bytes for the page to write a text into, for the next call that reads one.
EMSCRIPTEN_KEEPALIVE char* farvane_input(int bytes)
{
    input.assign(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    return input.data();
}

// Watches a recording: farvane_input holds the file's name (`nameBytes` bytes), then its text.
// Returns "" when the watch starts, else what is wrong, as farvane --script says it; the game in
// play goes on then.
EMSCRIPTEN_KEEPALIVE const char* farvane_watch(double now, int nameBytes)
{
    const std::string_view all(input);
    const std::size_t split = std::min(all.size(), static_cast<std::size_t>(nameBytes > 0 ? nameBytes : 0));
    farvane::ScriptError error;
    std::optional<farvane::ReplayScript> script = farvane::parseScript(all.substr(split), error);
    if (!script)
        return handOut(std::string(all.substr(0, split)) + ":" + std::to_string(error.line) + ": " + error.message);
    input.clear();
    record.reset();
    game = std::make_unique<farvane::MidEnd>(now, showBox, std::move(*script));
    game->setFrameFormat(ratio, farvane::PixelOrder::Rgba8888);
    return handOut({});
}

EMSCRIPTEN_KEEPALIVE void farvane_frame(double now) { game->advance(now); }

EMSCRIPTEN_KEEPALIVE int farvane_key(double now, int code, int shift)
{
    return game->key(now, static_cast<std::int16_t>(code), static_cast<std::int16_t>(shift)) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int farvane_menu(double now, int entry)
{
    if (entry < 0 || entry >= static_cast<int>(farvane::MenuItems.size()))
        return 0;
    return game->menu(now, farvane::MenuItems[static_cast<std::size_t>(entry)].name) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void farvane_hidden(double now, int hidden) { game->setHidden(now, hidden != 0); }

EMSCRIPTEN_KEEPALIVE int farvane_state() { return menuBits(); }
// 0: a game of the player's own; 1: watching a recording; 2: the watch is over.
EMSCRIPTEN_KEEPALIVE int farvane_watch_state() { return game->watchOver() ? 2 : game->watching() ? 1 : 0; }
// Which bit of farvane_state tells of the File menu (0), the Help menu (1), the end of the game (2).
EMSCRIPTEN_KEEPALIVE int farvane_menu_bit(int which)
{
    return which == 0 ? FileMenuBit : which == 1 ? HelpMenuBit : EndedBit;
}

// The page's real time of the next tick due, or -1 when none is: the page sleeps until an event.
EMSCRIPTEN_KEEPALIVE double farvane_next_due() { return game->deadline().value_or(-1); }

// What a screen reader hears of: score, high score, countdown word, shields left and whether the
// game is over (1 or 0), one a line.
EMSCRIPTEN_KEEPALIVE const char* farvane_status()
{
    const farvane::GameStatus status = game->status();
    return handOut(status.score + '\n' + status.highScore + '\n' + status.countdown + '\n' +
                   std::to_string(status.shieldsLeft) + '\n' + (status.gameOver ? '1' : '0'));
}

// The picture's RGBA bytes when it may have changed since the last call, else null.
EMSCRIPTEN_KEEPALIVE const std::uint32_t* farvane_render() { return game->render() ? game->frame().pixels() : nullptr; }
// The device-pixel rectangles the last farvane_render drew, as x, y, width, height each.
EMSCRIPTEN_KEEPALIVE int farvane_dirty_count() { return static_cast<int>(game->dirty().size()); }
EMSCRIPTEN_KEEPALIVE const farvane::PixelRect* farvane_dirty_rects() { return game->dirty().data(); }
EMSCRIPTEN_KEEPALIVE int farvane_width() { return game->frame().width(); }
EMSCRIPTEN_KEEPALIVE int farvane_height() { return game->frame().height(); }
EMSCRIPTEN_KEEPALIVE void farvane_set_ratio(double devicePixelRatio)
{
    ratio = devicePixelRatio;
    game->setFrameFormat(ratio, farvane::PixelOrder::Rgba8888);
}

// The game played so far as a replay script, up to the clock; "" while watching.
EMSCRIPTEN_KEEPALIVE const char* farvane_recording()
{
    return handOut(record ? record->text() + game->closingLines() : std::string());
}
// Where the watch stands: the clock and the length in virtual ms, the speed, whether paused and
// whether over (1 or 0), and the two times as the windows' titles show them, one a line.
EMSCRIPTEN_KEEPALIVE const char* farvane_watch_position()
{
    const farvane::WatchPosition at = game->watchPosition();
    char speed[32];
    std::snprintf(speed, sizeof speed, "%.17g", at.speed);
    return handOut(std::to_string(at.at) + '\n' + std::to_string(at.length) + '\n' + speed + '\n' +
                   (at.paused ? '1' : '0') + '\n' + (at.over ? '1' : '0') + '\n' + farvane::watchTimes(at));
}
// The watch controls; each does nothing in a game of the player's own. A step may show the box.
EMSCRIPTEN_KEEPALIVE void farvane_watch_pause(double now, int paused) { game->watchPause(now, paused != 0); }
EMSCRIPTEN_KEEPALIVE void farvane_watch_speed(double now, double speed) { game->watchSetSpeed(now, speed); }
EMSCRIPTEN_KEEPALIVE void farvane_watch_seek(double now, double virtualMs)
{
    // Clamped here too: a negative, huge or NaN time from the page is no undefined conversion.
    const double ms = virtualMs > 0 ? std::min(virtualMs, 9007199254740992.0) : 0;
    game->watchSeek(now, static_cast<std::uint64_t>(ms));
}
EMSCRIPTEN_KEEPALIVE void farvane_watch_step(double now) { game->watchStep(now); }
// 0: to the next box of the recording; 1: to the end.
EMSCRIPTEN_KEEPALIVE void farvane_watch_jump(double now, int which)
{
    if (which == 0)
        game->watchJumpToBox(now);
    else
        game->watchJumpToEnd(now);
}
EMSCRIPTEN_KEEPALIVE const char* farvane_dump() { return handOut(game->dump()); }
EMSCRIPTEN_KEEPALIVE double farvane_virtual_now() { return static_cast<double>(game->virtualNow()); }

} // extern "C"
