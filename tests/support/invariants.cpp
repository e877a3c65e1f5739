// The invariants of a running game, checked against a scene or a whole form.
#include "tests/support/invariants.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace farvane::soak {

namespace {

constexpr std::array<std::int16_t, 12> FallSteps{100, 150, 200, 250, 300, 350, 400, 450, 500, 550, 600, 901};
constexpr std::array<std::int16_t, 12> BigFallSteps{0, 180, 240, 300, 360, 420, 480, 540, 600, 660, 720, 901};
constexpr std::int16_t ScoreStepMax = 32767;

const std::array<std::string, 6> ReadyTexts{
    "",
    "Ready",
    "Set",
    "Go!",
    "Use the Left and Right arrow keys to avoid running into the falling obstacles.",
    "Programmed By: Telmasc"};

template <typename T, std::size_t N>
bool oneOf(const std::array<T, N>& values, const T& value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

// Whether all six parts of shield icon n are shown; nullopt when they disagree.
std::optional<bool> iconShown(const Scene& scene, std::size_t n)
{
    const bool parts[] = {scene.Shielda[n].Visible, scene.Shieldb[n].Visible, scene.Shieldc[n].Visible,
                          scene.Shieldd[n].Visible, scene.Shielde[n].Visible, scene.Shieldf[n].Visible};
    for (const bool part : parts)
        if (part != parts[0])
            return std::nullopt;
    return parts[0];
}

void append(std::string& text, const char* name, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, " %s=%.9g", name, value);
    text += buffer;
}

void append(std::string& text, const char* name, const Shape& shape)
{
    append(text, name, shape.Left);
    append(text, "T", shape.Top);
    append(text, "W", shape.Width);
    append(text, "H", shape.Height);
    append(text, "C", shape.BorderColor);
    append(text, "V", shape.Visible);
}

} // namespace

std::optional<std::uint64_t> WholeScore(const std::string& caption)
{
    if (caption.empty() || caption.size() > 19 || (caption.size() > 1 && caption[0] == '0'))
        return std::nullopt;
    if (!std::all_of(caption.begin(), caption.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::uint64_t value = 0;
    std::from_chars(caption.data(), caption.data() + caption.size(), value);
    return value;
}

std::optional<int> ShieldsShown(const Scene& scene)
{
    int shown = 0;
    bool gap = false;
    for (std::size_t n = 0; n < 3; ++n) {
        const auto icon = iconShown(scene, n);
        if (!icon)
            return std::nullopt;
        if (*icon) {
            if (gap)
                return std::nullopt; // an icon shown after a hidden one: they went in the wrong order
            ++shown;
        } else {
            gap = true;
        }
    }
    return shown;
}

void CheckScene(const Scene& scene, Verdict& verdict)
{
    int rightShown = 0;
    int leftShown = 0;
    for (std::size_t i = 0; i < scene.Border.size(); ++i)
        if (scene.Border[i].Visible)
            ++(i % 2 == 0 ? rightShown : leftShown);
    verdict.expect(rightShown == 1, "exactly one right road edge is shown");
    verdict.expect(leftShown == 1, "exactly one left road edge is shown");

    verdict.expect(ShieldsShown(scene).has_value(), "shields show as whole icons, icon 2 gone first, then 1, then 0");
    verdict.expect(WholeScore(scene.lblScore.Caption).has_value(),
                   "the score is a whole number: \"" + scene.lblScore.Caption + "\"");
    verdict.expect(scene.lblHigh.Caption.empty() || WholeScore(scene.lblHigh.Caption).has_value(),
                   "the high score is empty or a whole number: \"" + scene.lblHigh.Caption + "\"");
    verdict.expect(oneOf(ReadyTexts, scene.lblReady.Caption), "the message label holds one of the game's texts");

    auto atHorizon = [&](const Shape& obstacle, const char* what) {
        verdict.expect(obstacle.Visible || (obstacle.Top == 1080 && obstacle.Width == 255 && obstacle.Height == 495),
                       std::string(what) + " hidden only at the horizon, Top 1080, Width 255, Height 495");
    };
    for (const Shape& obstacle : scene.Obstacle)
        atHorizon(obstacle, "a small obstacle");
    for (const Shape& obstacle : scene.BigObstacle)
        atHorizon(obstacle, "a big obstacle");

    const Colour colours[] = {scene.Player1.BorderColor, scene.Player2.BorderColor, scene.Player3.BorderColor,
                              scene.Player4.BorderColor, scene.Player5.BorderColor, scene.Player6.BorderColor};
    verdict.expect(std::all_of(std::begin(colours), std::end(colours), [&](Colour c) { return c == colours[0]; }) &&
                       (colours[0] == Teal || colours[0] == Red),
                   "the player's six parts are all teal or all red");

    verdict.expect(scene.Timer1.Interval == 50 && scene.Timer2.Interval == 600, "the timers keep 50 and 600 ms");
    verdict.expect(scene.mnuFile.Enabled && scene.mnuRestart.Enabled && scene.mnuQuit.Enabled && scene.mnuHow.Enabled &&
                       scene.mnuAbout.Enabled,
                   "File, Restart, Quit, How To Play and About stay enabled");
    verdict.expect(scene.mnuHelp.Enabled || !scene.mnuStart.Enabled, "Start is never enabled while Help is not");
    verdict.expect(ShieldsShown(scene).value_or(0) > 0 || !scene.Timer1.Enabled,
                   "no game tick runs once every shield is gone");
}

void CheckForm(const Veskara& form, Verdict& verdict)
{
    CheckScene(form, verdict);

    const bool edgesInRange = form.RightEdge >= 0 && form.RightEdge <= 28 && form.RightEdge % 2 == 0 &&
                              form.LeftEdge >= 1 && form.LeftEdge <= 29 && form.LeftEdge % 2 == 1;
    verdict.expect(edgesInRange, "RightEdge even in 0..28, LeftEdge odd in 1..29");
    if (edgesInRange) {
        verdict.expect(form.Border[static_cast<std::size_t>(form.RightEdge)].Visible, "Border(RightEdge) is shown");
        verdict.expect(form.Border[static_cast<std::size_t>(form.LeftEdge)].Visible, "Border(LeftEdge) is shown");
    }
    verdict.expect(form.RightEdge + form.LeftEdge == 29, "RightEdge + LeftEdge = 29");
    verdict.expect(form.Steer * 2 == 25 * (form.LeftEdge - 15), "Steer = 25 x (LeftEdge - 15) / 2");

    verdict.expect(oneOf(FallSteps, form.FallStep), "FallStep is 100, a milestone speed or 901");
    verdict.expect(oneOf(BigFallSteps, form.BigFallStep), "BigFallStep is 0, a milestone speed or 901");
    verdict.expect(form.ScoreStep == ScoreStepMax || (form.ScoreStep >= 1 && (form.ScoreStep - 1) % 504 == 0),
                   "ScoreStep is 1 plus a multiple of 504, or stays at 32767");
    for (const std::int16_t spawn : form.SpawnLeft)
        verdict.expect(spawn == 0 || (spawn >= 2880 && spawn <= 3599), "SpawnLeft is 0 or in 2880..3599");
    for (const std::int16_t drift : form.Drift)
        verdict.expect(drift >= -250 && drift <= 249, "Drift is in -250..249");
    for (const std::int16_t drift : form.BigDrift)
        verdict.expect(drift >= -250 && drift <= 249, "BigDrift is in -250..249");

    verdict.expect(form.CountdownStep >= 0, "CountdownStep never goes below 0");
    verdict.expect(form.Timer2.Enabled || form.CountdownStep == 0 || form.CountdownStep == 4,
                   "with the countdown off, CountdownStep is 0 (idle) or 4 (done)");
    verdict.expect(!(form.Timer2.Enabled && form.CountdownStep <= 3 && form.Timer1.Enabled),
                   "no game tick runs while a countdown word is due");
    verdict.expect(!form.Timer1.Enabled || form.CountdownStep >= 4, "a game runs only after a whole countdown");
}

std::string Fingerprint(const Veskara& form)
{
    std::string text;
    text.reserve(2048);
    for (const Line& border : form.Border)
        text += border.Visible ? '1' : '0';
    for (const Shape& obstacle : form.Obstacle)
        append(text, " O", obstacle);
    for (const Shape& obstacle : form.BigObstacle)
        append(text, " B", obstacle);
    for (const Shape* part : {&form.Player1, &form.Player6})
        append(text, " P", *part);
    for (const Line* part : {&form.Player2, &form.Player3, &form.Player4, &form.Player5})
        append(text, " p", part->BorderColor);
    for (std::size_t n = 0; n < 3; ++n)
        for (const bool part : {form.Shielda[n].Visible, form.Shieldb[n].Visible, form.Shieldc[n].Visible,
                                form.Shieldd[n].Visible, form.Shielde[n].Visible, form.Shieldf[n].Visible})
            text += part ? '1' : '0';
    text += " [" + form.lblScore.Caption + "][" + form.lblHigh.Caption + "][" + form.lblReady.Caption + "]";
    for (const bool flag : {form.Timer1.Enabled, form.Timer2.Enabled, form.mnuFile.Enabled, form.mnuStart.Enabled,
                            form.mnuRestart.Enabled, form.mnuQuit.Enabled, form.mnuHelp.Enabled, form.mnuHow.Enabled,
                            form.mnuAbout.Enabled})
        text += flag ? '1' : '0';
    append(text, "RE", form.RightEdge);
    append(text, "LE", form.LeftEdge);
    append(text, "FS", form.FallStep);
    append(text, "BFS", form.BigFallStep);
    for (const std::int16_t v : form.Drift)
        append(text, "D", v);
    for (const std::int16_t v : form.BigDrift)
        append(text, "BD", v);
    for (const std::int16_t v : form.SpawnLeft)
        append(text, "SL", v);
    append(text, "SS", form.ScoreStep);
    append(text, "CS", form.CountdownStep);
    append(text, "ST", form.Steer);
    append(text, "R", form.random.State());
    return text;
}

} // namespace farvane::soak
