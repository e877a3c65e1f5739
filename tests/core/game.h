// A loaded form with its fake host, and the few steps the tests use to bring a game along.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fakehost.h"
#include "game/form.h"

namespace farvane::test {

struct Game {
    FakeHost host;
    Veskara form{host};

    Game() { form.Form_Load(); }
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    // Start and the four countdown ticks: the game tick runs from here.
    void start()
    {
        form.mnuStart_Click();
        for (int k = 0; k < 4; ++k)
            form.Timer2_Timer();
    }

    void key(std::int16_t code, std::int16_t shift = 0) { form.Form_KeyDown(code, shift); }

    void ticks(int count)
    {
        for (int k = 0; k < count; ++k)
            form.Timer1_Timer();
    }

    // The player box is built from Player1 and Player6 before every test; moved far to the
    // right of the playfield it cannot meet any obstacle, so long runs lose no shield.
    void movePlayerAway() { form.Player1.Left = 100000; }
};

// One shield left, Timer1 on and the first `obstacles` obstacles about to land on the player: the
// next game tick loses.
inline void setUpLosingTick(Veskara& form, std::size_t obstacles = 1)
{
    form.Timer2.Enabled = false;
    form.Timer1.Enabled = true;
    form.HideShield2();
    form.HideShield1();
    for (std::size_t i = 0; i < obstacles; ++i) {
        form.Obstacle[i].Left = 3000;
        form.Obstacle[i].Top = 5000;
    }
}

} // namespace farvane::test
