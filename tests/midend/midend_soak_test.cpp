// Random calls into the mid end as hosts make them (time passing, keys, menus, the page hidden and
// shown, the box answered late, hidden under or closed on, the window closed), with the time rule
// checked after every call against a model: the virtual clock is real time since the load less the
// union of the stretches left out (the box up, the host hidden), each instant once.
//
// FARVANE_MIDEND_SOAK_CALLS sets how many calls to make (default 2000000, well under a second).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "midend/midend.h"

namespace farvane {
namespace {

constexpr RealMillis Open = std::numeric_limits<RealMillis>::infinity();

struct Stretch {
    RealMillis from;
    RealMillis to; // Open while it lasts
};

class MidEndSoak {
public:
    explicit MidEndSoak(std::uint32_t seed) : rng(seed) { load(); }

    void play(std::uint64_t calls)
    {
        for (std::uint64_t n = 0; n < calls && !failed(); ++n)
            step();
    }

    std::string failure;
    std::uint64_t boxes = 0;
    std::uint64_t hiddenUnderBox = 0;
    std::uint64_t programs = 0;

private:
    bool failed() const { return !failure.empty(); }
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    void load()
    {
        ++programs;
        start = real;
        hidden = false;
        stretches.clear();
        lastVirtual = 0;
        game = std::make_unique<MidEnd>(start, [this](std::string_view, std::string_view) { return box(); });
    }

    // The model: real time since the load less the union of the stretches left out.
    RealMillis expectedVirtual() const
    {
        RealMillis leftOut = 0, reached = start;
        for (const Stretch& s : stretches) { // in the order they began
            const RealMillis from = std::max(s.from, reached);
            const RealMillis to = std::min(s.to, real);
            if (to > from) {
                leftOut += to - from;
                reached = to;
            }
        }
        return real - start - leftOut;
    }

    RealMillis box()
    {
        ++boxes;
        const std::size_t boxStretch = stretches.size();
        stretches.push_back({real, Open});
        // The player takes a while; the page may be hidden and shown meanwhile, or the window closed.
        real += below(3) == 0 ? below(30000) : below(500);
        if (!hidden && below(4) == 0) {
            ++hiddenUnderBox;
            setHidden(true);
            real += below(5000);
            if (below(2) == 0)
                setHidden(false);
        }
        if (below(20) == 0)
            game->close(real);
        real += below(3000);
        stretches[boxStretch].to = real;
        return real;
    }

    void setHidden(bool hide)
    {
        game->setHidden(real, hide);
        if (hide) {
            hiddenStretch = stretches.size();
            stretches.push_back({real, Open});
        } else {
            stretches[hiddenStretch].to = real;
        }
        hidden = hide;
    }

    // Time passes: never more than 200 ms the clock keeps, so no stall is ever taken.
    void pass()
    {
        const std::optional<RealMillis> due = game->deadline();
        real += due && *due > real && *due - real <= 200 && below(2) == 0 ? *due - real : below(201);
    }

    void step()
    {
        const int pick = below(1000);
        bool ranDue = false; // the call ran every tick due by now, so the clock must stand at the model's
        if (pick < 550) {
            pass();
            game->advance(real);
            ranDue = !hidden;
        } else if (pick < 800) {
            pass();
            ranDue = game->key(real, static_cast<std::int16_t>(below(3) == 0 ? 38 : below(2) == 0 ? 37 : 39), 0);
        } else if (pick < 950) {
            // No time passes first: a choice the menus refuse runs no tick, and time passing
            // unseen by the clock would make a stall of it. Quit now and then.
            const int entry = below(100);
            const MenuName name = entry < 50   ? MenuName::mnuStart
                                  : entry < 70 ? MenuName::mnuRestart
                                  : entry < 85 ? MenuName::mnuHow
                                  : entry < 98 ? MenuName::mnuAbout
                                               : MenuName::mnuQuit;
            ranDue = game->menu(real, name) && !game->ended();
        } else if (pick < 995) {
            if (hidden)
                real += below(60000);
            setHidden(!hidden);
        } else {
            game->close(real);
        }
        check(ranDue);
        if (game->ended())
            load();
    }

    void check(bool ranDue)
    {
        if (game->ended())
            return;
        const auto now = static_cast<RealMillis>(game->virtualNow());
        const RealMillis model = expectedVirtual();
        if (now < lastVirtual)
            failure = "the virtual clock went back";
        else if (now > model)
            failure = "the virtual clock ran ahead of the model";
        else if (ranDue && now != model)
            failure = "after running the ticks due the virtual clock stands at " + std::to_string(now) +
                      ", the model at " + std::to_string(model);
        else if (const std::optional<RealMillis> due = game->deadline(); due && *due - (real - model) < now)
            failure = "the deadline lies in the virtual past";
        else if (due && hidden)
            failure = "a deadline while hidden";
        lastVirtual = now;
    }

    std::mt19937 rng;
    RealMillis real = 5000;
    RealMillis start = 0;
    bool hidden = false;
    std::size_t hiddenStretch = 0; // while hidden
    std::vector<Stretch> stretches;
    RealMillis lastVirtual = 0;
    std::unique_ptr<MidEnd> game;
};

TEST(MidEndSoak, RandomCallsKeepTheTimeRule)
{
    const char* text = std::getenv("FARVANE_MIDEND_SOAK_CALLS");
    const std::uint64_t calls = text && *text ? std::strtoull(text, nullptr, 10) : 2000000;
    MidEndSoak soak(20261209);
    soak.play(calls);
    ASSERT_TRUE(soak.failure.empty()) << soak.failure;
    // The calls must reach the corners the rule speaks of, or the run proves little.
    std::cout << "mid-end soak: " << calls << " calls, " << soak.boxes << " boxes (" << soak.hiddenUnderBox
              << " hidden under), " << soak.programs << " runs of the program\n";
    EXPECT_GT(soak.boxes, 10u);
    EXPECT_GT(soak.hiddenUnderBox, 3u);
    EXPECT_GT(soak.programs, 10u);
}

} // namespace
} // namespace farvane
