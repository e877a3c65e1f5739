// The form Veskara: the scene, the ten module variables, the random source and the event procedures.
#pragma once

#include <array>
#include <cstdint>

#include "playfield/host.h"
#include "playfield/rnd.h"
#include "playfield/runtime.h"
#include "playfield/scene.h"

namespace farvane {

constexpr std::int16_t KeyLeft = 37;
constexpr std::int16_t KeyRight = 39;

// Where every obstacle goes back to at the horizon; only its Left differs.
constexpr float HorizonTop = 1080;
constexpr float HorizonWidth = 255;
constexpr float HorizonHeight = 495;

// Hides an obstacle at the horizon with its start size; its Left is the caller's business.
inline void SendToHorizon(Shape& obstacle)
{
    obstacle.Visible = false;
    obstacle.Top = HorizonTop;
    obstacle.Height = HorizonHeight;
    obstacle.Width = HorizonWidth;
}

class Veskara : public Scene {
public:
    // The host shows the message box and ends the program; it must outlive the form.
    explicit Veskara(Host& formHost) : host(&formHost) {}

    // Module variables, all 16-bit Integers, 0 until Form_Load sets some of them.
    std::int16_t RightEdge = 0;              // index in Border of the right road edge shown; even
    std::int16_t LeftEdge = 0;               // index in Border of the left road edge shown; odd
    std::int16_t FallStep = 0;               // twips a small obstacle falls per tick, on top of 75
    std::int16_t BigFallStep = 0;            // twips a big obstacle falls per tick, on top of 50
    std::array<std::int16_t, 4> Drift{};     // twips small obstacle i moves sideways per tick
    std::array<std::int16_t, 2> BigDrift{};  // twips big obstacle i moves sideways per tick
    std::array<std::int16_t, 4> SpawnLeft{}; // Left at which obstacle i re-enters; shared by big 0 and 1
    std::int16_t ScoreStep = 0;              // points per tick
    std::int16_t CountdownStep = 0;          // Timer2 ticks since it was last set to 0
    std::int16_t Steer = 0;                  // twips every obstacle moves sideways per tick, from steering

    RandomSource random;

    // Event procedures.
    void Form_Load();
    void Form_KeyDown(std::int16_t& KeyCode, std::int16_t Shift);
    void Timer1_Timer();
    void Timer2_Timer();
    void mnuStart_Click();
    void mnuRestart_Click();
    void mnuQuit_Click();
    void mnuHow_Click();
    void mnuAbout_Click();

    // Private procedures of the form, public so that tests can drive them one at a time.
    void CheckObstacleHits();
    void CheckBigObstacleHits();
    void ShowPlayerHit();
    void ShowPlayerNormal();
    void HideShield0();
    void HideShield1();
    void HideShield2();

    float Rnd() { return random.Rnd(); }

private:
    Box playerBox() const;
    bool hitsPlayer(const Shape& obstacle) const;
    void loseShield();
    void loseGame();
    std::int16_t drawDrift();
    std::int16_t drawSpawnLeft();
    void returnToHorizon(Shape& obstacle, std::int16_t& drift, std::size_t spawnIndex);
    void steer(int direction);

    Host* host;
};

} // namespace farvane
