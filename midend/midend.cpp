// The mid end: real time onto the virtual clock, events, the box, the picture and the recording,
// for every live host.
#include "midend/midend.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "midend/player.h"
#include "picture/scenediff.h"
#include "script/dump.h"
#include "script/scriptwriter.h"

namespace farvane {

class MidEnd::Impl final : public ScriptPlayer::Show {
public:
    using Millis = VirtualClock::Millis;

    Impl(RealMillis start, ShowBox show, RecordOptions recording, std::optional<ReplayScript> watched)
        : showBox(std::move(show)), sink(recording.sink), checkpoints(recording.checkpoints),
          watching(watched.has_value()), player(*this, std::move(watched)), game(player.form()), clock(player.clock()),
          offset(start), nextCheckpoint(start + CheckpointMs), length(player.length())
    {}

    // --- What the player shows ---
    void box(std::string_view prompt, std::string_view title, bool) override
    {
        if (programEnded || boxOpen)
            return;
        // A seek passes a box without showing it; a jump to the next box stops just after it.
        if (seeking) {
            if (findingBox) {
                findingBox = false;
                seekTarget = clock.now();
                player.stop();
            }
            return;
        }
        boxOpen = true;
        changed = true;
        leaveOut(eventTime);
        // Nothing ticks behind the box, and virtual time stands still while it is up. A recorded
        // game closed on this box ends with it: the watch stops on the scene under it.
        const RealMillis closedAt = showBox(prompt, title);
        boxOpen = false;
        if (!programEnded) {
            takeBackIn(closedAt);
            eventTime = closedAt;
        }
    }

    void ticked() override
    {
        changed = true;
        ++ticks;
    }

    void ended() override
    {
        // A watched game's end is the end of the watch, not of the program.
        if (!watching)
            endProgram();
    }

    // --- The clock ---
    // The time left out is the union of the reasons for it (the box up, the host hidden): the
    // first reason to begin starts it and the last to end closes it, so no instant counts twice.
    void leaveOut(RealMillis now)
    {
        if (!leftOutSince)
            leftOutSince = now;
    }

    void takeBackIn(RealMillis now)
    {
        if (!leftOutSince || boxOpen || hiddenSince)
            return;
        offset += std::max<RealMillis>(0, now - *leftOutSince);
        leftOutSince.reset();
    }

    bool stopped() const { return programEnded || player.ended(); }
    bool blocked() const { return stopped() || boxOpen || hiddenSince || inEvent; }

    void runDue(RealMillis now)
    {
        eventTime = now;
        // Far beyond any real run, and still a whole number a double holds exactly.
        constexpr RealMillis Latest = 9007199254740992.0; // 2^53
        // A hair over, so that a deadline computed at any speed reaches its own tick.
        const RealMillis real = std::floor((now - offset) * speed + 1e-7);
        const Millis reached = !(real > 0) ? 0 : static_cast<Millis>(std::min(real, Latest)); // NaN too
        Millis until = std::max<Millis>(clock.now(), reached);
        // After a stall play resumes where it stood instead of racing through every tick it
        // missed; the virtual clock, and so a record, stays exact.
        if (const std::optional<Millis> due = player.nextDue();
            due && static_cast<RealMillis>(until) > static_cast<RealMillis>(*due) + StallMs * speed) {
            offset += static_cast<RealMillis>(until - *due) / speed;
            until = *due;
        }
        inEvent = true;
        // A long burst goes in slices: the host calls again at once, with its own events between.
        player.play(until);
        inEvent = false;
        if (watching)
            changed = true; // a key or menu choice of the script may have run
    }

    // --- Watching ---
    bool watchControls() const { return watching && !programEnded && !boxOpen && !inEvent; }

    // Play goes on from the clock as it stands at real time `now`.
    void reanchor(RealMillis now)
    {
        offset = now - static_cast<RealMillis>(clock.now()) / speed;
        if (leftOutSince)
            leftOutSince = now;
    }

    void seek(RealMillis now, Millis target, bool toNextBox = false)
    {
        target = std::min(target, length);
        if (target < clock.now())
            player.rewind();
        seekTarget = target;
        findingBox = toNextBox;
        continueSeek(now);
    }

    // A seek through a long burst goes on in the next calls, as play does.
    void continueSeek(RealMillis now)
    {
        eventTime = now;
        seeking = true;
        inEvent = true;
        bool more = true;
        for (int slice = 0; more && slice < SeekSlices; ++slice)
            more = player.play(*seekTarget, ScriptPlayer::Slice);
        inEvent = false;
        seeking = false;
        changed = true;
        if (!more) {
            seekTarget.reset();
            findingBox = false;
            reanchor(now);
        }
    }

    void checkpoint(RealMillis now)
    {
        if (!sink || !checkpoints || recordClosed || now < nextCheckpoint)
            return;
        nextCheckpoint = now + CheckpointMs;
        // Only while a timer runs does the game move on without an event of its own.
        if (clock.nextDue())
            write([&](std::string& lines) { writer.appendWaitUntil(lines, clock.now()); });
        sink->checkpoint();
    }

    // --- Events ---
    bool beginEvent(RealMillis now)
    {
        if (blocked() || watching)
            return false;
        // Ticks and events interleave as in a replay: the ticks due by now run first.
        runDue(now);
        if (stopped())
            return false;
        inEvent = true;
        return true;
    }

    void endEvent(RealMillis now)
    {
        inEvent = false;
        clock.sync();
        changed = true;
        checkpoint(now);
    }

    void record(const Command& command)
    {
        write([&](std::string& lines) { writer.append(lines, clock.now(), command); });
    }

    template <typename Make>
    void write(Make&& make)
    {
        if (!sink || recordClosed)
            return;
        std::string lines;
        make(lines);
        if (!lines.empty())
            sink->write(lines);
    }

    void closeRecord()
    {
        if (recordClosed)
            return;
        // Every tick due by the clock's time has run: a replay waiting up to it stops in this
        // state. With the box up the clock stands inside the tick that opened it, whose rest never
        // runs: a replay must stop at that box too.
        write([&](std::string& lines) {
            if (boxOpen)
                writer.append(lines, writer.written(), Command{.kind = CommandKind::CloseAtBox});
            writer.appendWaitUntil(lines, clock.now());
        });
        recordClosed = true;
    }

    void endProgram()
    {
        if (programEnded)
            return;
        if (boxOpen)
            player.endAtBox();
        closeRecord();
        programEnded = true;
        changed = true;
    }

    ShowBox showBox;
    RecordSink* sink;
    bool checkpoints;
    ScriptWriter writer;
    bool recordClosed = false;
    bool watching;
    ScriptPlayer player;
    Veskara& game;
    VirtualClock& clock;
    RealMillis offset;        // real time the virtual clock leaves out: the start, stalls, boxes, hiding
    RealMillis eventTime = 0; // real time of the call in progress
    RealMillis nextCheckpoint;
    std::optional<RealMillis> hiddenSince;
    std::optional<RealMillis> leftOutSince; // real time since which the clock has held, if it holds
    bool boxOpen = false;
    bool inEvent = false;
    bool programEnded = false;

    // Watching.
    static constexpr int SeekSlices = 64; // slices of play a seek runs in one call
    Millis length = 0;
    double speed = 1;
    bool paused = false;
    bool seeking = false;             // boxes pass unseen
    bool findingBox = false;          // and the first one ends the seek
    std::optional<Millis> seekTarget; // a seek in progress
    std::uint64_t ticks = 0;

    // The picture.
    std::optional<FrameBuffer> picture;
    PixelOrder order = PixelOrder::Argb32;
    double ratio = 1.0;
    SceneChanges changes;
    std::vector<PixelRect> drawn;
    bool changed = true;
};

MidEnd::MidEnd(RealMillis start, ShowBox showBox, RecordOptions recording)
    : impl(std::make_unique<Impl>(start, std::move(showBox), recording, std::nullopt))
{}

MidEnd::MidEnd(RealMillis start, ShowBox showBox, ReplayScript script, WatchStart from)
    : impl(std::make_unique<Impl>(start, std::move(showBox), RecordOptions{}, std::move(script)))
{
    watchSetSpeed(start, from.speed);
    if (from.fromMs > 0)
        watchSeek(start, from.fromMs);
}

MidEnd::~MidEnd() = default;

void MidEnd::advance(RealMillis now)
{
    if (impl->seekTarget && impl->watchControls()) {
        impl->continueSeek(now);
        return;
    }
    if (impl->blocked() || impl->paused)
        return;
    impl->runDue(now);
    impl->checkpoint(now);
}

bool MidEnd::key(RealMillis now, std::int16_t code, std::int16_t shift)
{
    if (impl->watching) {
        if (!impl->watchControls())
            return false;
        const Impl::Millis at = impl->seekTarget.value_or(impl->clock.now());
        constexpr Impl::Millis Leap = 5000;
        switch (code) {
        case 32: watchPause(now, !impl->paused); return true;
        case 37: watchSeek(now, at > Leap ? at - Leap : 0); return true;
        case 39: watchSeek(now, at + Leap); return true;
        case 219: watchSetSpeed(now, impl->speed / 2); return true;
        case 221: watchSetSpeed(now, impl->speed * 2); return true;
        case 190: watchStep(now); return true;
        case 36: watchSeek(now, 0); return true;
        case 35: watchJumpToEnd(now); return true;
        default: return false;
        }
    }
    if (!impl->beginEvent(now))
        return false;
    const Command command{.kind = CommandKind::Key, .amount = code, .shift = shift};
    impl->record(command);
    impl->player.run(command);
    impl->endEvent(now);
    return true;
}

bool MidEnd::menu(RealMillis now, MenuName entry)
{
    if (impl->watching && entry == MenuName::mnuQuit && !impl->programEnded && !impl->boxOpen) {
        impl->programEnded = true;
        return true;
    }
    if (!canChoose(impl->game, entry) || !impl->beginEvent(now))
        return false;
    // The ticks due before the choice may just have greyed the entry.
    const bool runs = canChoose(impl->game, entry);
    if (runs) {
        const Command command{.kind = CommandKind::Menu, .menu = entry};
        impl->record(command);
        impl->player.run(command);
    }
    impl->endEvent(now);
    return runs;
}

void MidEnd::close(RealMillis)
{
    // The close button runs no procedure of the form. The clock stays where the last tick left
    // it: every tick due by then has run, so a replay of the record stops in the same state.
    if (impl->programEnded)
        return;
    if (!impl->boxOpen && !impl->watching)
        impl->record(Command{.kind = CommandKind::Close});
    impl->endProgram();
}

void MidEnd::setHidden(RealMillis now, bool hide)
{
    if (hide == impl->hiddenSince.has_value())
        return;
    // Ticks due before the host went away run when it is back, at their own virtual times.
    if (hide) {
        impl->hiddenSince = now;
        impl->leaveOut(now);
    } else {
        impl->hiddenSince.reset();
        impl->takeBackIn(now);
    }
}

void MidEnd::watchPause(RealMillis now, bool pause)
{
    if (!impl->watchControls() || pause == impl->paused)
        return;
    if (pause) {
        // Everything due by now has run; the clock holds there.
        if (!impl->seekTarget && !impl->blocked())
            impl->runDue(now);
        impl->paused = true;
    } else {
        impl->paused = false;
        impl->reanchor(now);
    }
    impl->changed = true;
}

void MidEnd::watchSetSpeed(RealMillis now, double speed)
{
    if (!impl->watchControls() || std::isnan(speed))
        return;
    speed = std::clamp(speed, 0.25, 8.0);
    // Virtual time runs on from where it stands at `now` (or where it stopped being taken in).
    if (!impl->paused) {
        const RealMillis from = impl->leftOutSince.value_or(now);
        const RealMillis reached = (from - impl->offset) * impl->speed;
        impl->offset = from - reached / speed;
    }
    impl->speed = speed;
    impl->changed = true;
}

void MidEnd::watchSeek(RealMillis now, std::uint64_t virtualMs)
{
    if (impl->watchControls())
        impl->seek(now, virtualMs);
}

void MidEnd::watchJumpToBox(RealMillis now)
{
    if (impl->watchControls())
        impl->seek(now, impl->length, true);
}

void MidEnd::watchJumpToEnd(RealMillis now) { watchSeek(now, impl->length); }

void MidEnd::watchStep(RealMillis now)
{
    if (!impl->watchControls() || !impl->paused || impl->seekTarget)
        return;
    impl->eventTime = now;
    const std::uint64_t before = impl->ticks;
    // Bounded, like every call: a script with no timer on for a long way stops short.
    for (int work = 0; impl->ticks == before && work < (1 << 20); ++work) {
        const std::optional<Impl::Millis> due = impl->player.nextDue();
        if (!due || impl->stopped() || impl->player.scriptOver())
            break;
        impl->inEvent = true;
        impl->player.play(*due, 1);
        impl->inEvent = false;
        if (impl->programEnded)
            break;
    }
    impl->changed = true;
}

WatchPosition MidEnd::watchPosition() const
{
    return WatchPosition{.at = impl->clock.now(),
                         .length = impl->length,
                         .speed = impl->speed,
                         .paused = impl->paused,
                         .over = watchOver()};
}

std::string watchTimes(const WatchPosition& position)
{
    const bool hours = position.length >= 3600000;
    const auto time = [hours](std::uint64_t ms) {
        const std::uint64_t tenths = ms / 100;
        const std::uint64_t seconds = tenths / 10;
        std::string text;
        if (hours)
            text = std::to_string(seconds / 3600) + ':' + (seconds / 60 % 60 < 10 ? "0" : "") +
                   std::to_string(seconds / 60 % 60);
        else
            text = std::to_string(seconds / 60);
        text += std::string(":") + (seconds % 60 < 10 ? "0" : "") + std::to_string(seconds % 60) + '.' +
                std::to_string(tenths % 10);
        return text;
    };
    return time(position.at) + " / " + time(position.length);
}

std::string watchText(const WatchPosition& position)
{
    // 0.25 and 0.5 as the fractions, any other speed in its shortest decimal.
    std::string speed;
    if (position.speed == 0.25)
        speed = "\u00bc";
    else if (position.speed == 0.5)
        speed = "\u00bd";
    else {
        char digits[32];
        std::snprintf(digits, sizeof digits, "%g", position.speed);
        speed = digits;
    }
    std::string text = watchTimes(position) + ", " + speed + "\u00d7";
    if (position.over)
        text += ", over";
    else if (position.paused)
        text += ", paused";
    return text;
}

std::string watchTitle(const WatchPosition& position)
{
    return std::string(FormCaption) + " \u2014 " + watchText(position);
}

std::optional<RealMillis> MidEnd::deadline() const
{
    if (impl->seekTarget && impl->watchControls())
        return impl->eventTime; // a long seek goes on at once
    if (impl->paused)
        return std::nullopt;
    // A watch that is over stops the clock, also with a timer still on.
    if (impl->stopped() || impl->boxOpen || impl->hiddenSince || watchOver())
        return std::nullopt;
    const std::optional<VirtualClock::Millis> due = impl->player.nextDue();
    if (!due)
        return std::nullopt;
    // The tick's own deadline, not an interval from now, so ticks never drift.
    RealMillis at = static_cast<RealMillis>(*due) / impl->speed + impl->offset;
    if (impl->sink && impl->checkpoints && !impl->recordClosed && impl->clock.nextDue())
        at = std::min(at, impl->nextCheckpoint);
    return at;
}

bool MidEnd::ended() const { return impl->programEnded; }
bool MidEnd::watching() const { return impl->watching; }
bool MidEnd::watchOver() const { return impl->watching && impl->player.scriptOver(); }
bool MidEnd::boxIsOpen() const { return impl->boxOpen; }
bool MidEnd::hidden() const { return impl->hiddenSince.has_value(); }

MenuState MidEnd::menuState() const
{
    MenuState state;
    if (impl->programEnded)
        return state;
    if (impl->watching) {
        state.fileMenu = true;
        state.entries[static_cast<std::size_t>(MenuName::mnuQuit)] = true;
        return state;
    }
    for (const MenuItem& item : MenuItems)
        state.entries[static_cast<std::size_t>(item.name)] = canChoose(impl->game, item.name);
    state.fileMenu = impl->game.mnuFile.Enabled;
    state.helpMenu = impl->game.mnuHelp.Enabled;
    return state;
}

GameStatus MidEnd::status() const
{
    const Scene& shown = scene();
    const auto shields = static_cast<int>(
        std::count_if(shown.Shieldf.begin(), shown.Shieldf.end(), [](const Line& icon) { return icon.Visible; }));
    return GameStatus{.score = shown.lblScore.Caption,
                      .highScore = shown.lblHigh.Caption,
                      .countdown = shown.lblReady.Caption,
                      .shieldsLeft = shields,
                      .gameOver = shields == 0,
                      .boxUp = impl->boxOpen};
}

const Scene& MidEnd::scene() const { return impl->player.scene(); }

bool MidEnd::render()
{
    if (!impl->picture)
        impl->picture.emplace(impl->ratio, impl->order);
    if (!impl->changed)
        return false;
    impl->drawn.clear();
    for (const PixelRect& rect : impl->changes.since(scene())) {
        rasterize(scene(), *impl->picture, rect);
        impl->drawn.push_back(impl->picture->deviceRect(rect));
    }
    impl->changed = false;
    return true;
}

const FrameBuffer& MidEnd::frame() const
{
    if (!impl->picture)
        impl->picture.emplace(impl->ratio, impl->order);
    return *impl->picture;
}

const std::vector<PixelRect>& MidEnd::dirty() const { return impl->drawn; }

void MidEnd::setFrameFormat(double devicePixelRatio, PixelOrder order)
{
    if (impl->picture && devicePixelRatio == impl->ratio && order == impl->order)
        return;
    impl->ratio = devicePixelRatio;
    impl->order = order;
    impl->picture.emplace(devicePixelRatio, order);
    impl->changes.reset();
    impl->changed = true;
}

std::string MidEnd::closingLines() const
{
    std::string lines;
    if (impl->sink && !impl->recordClosed) {
        ScriptWriter writer = impl->writer;
        writer.appendWaitUntil(lines, impl->clock.now());
    }
    return lines;
}

void MidEnd::closeRecord() { impl->closeRecord(); }

const Veskara& MidEnd::form() const { return impl->game; }
Veskara& MidEnd::form() { return impl->game; }

void MidEnd::formChanged()
{
    impl->clock.sync();
    impl->changed = true;
}

std::uint64_t MidEnd::virtualNow() const { return impl->clock.now(); }

std::string MidEnd::dump() const
{
    std::string line;
    replay::appendDumpLine(line, impl->game, impl->clock.now());
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

} // namespace farvane
