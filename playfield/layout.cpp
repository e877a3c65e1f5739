// The playfield as the window first shows it: every element's place, colour and caption, in twips.
#include "playfield/scene.h"

namespace farvane {

namespace {

Shape rectangle(float left, float top, float width, float height, Colour colour, bool visible)
{
    return Shape{left, top, width, height, colour, visible, 1};
}

Line line(float x1, float y1, float x2, float y2, Colour colour, bool visible)
{
    return Line{x1, y1, x2, y2, colour, visible};
}

Label label(const char* caption, float left, float top, float width, float height, Alignment align)
{
    Label l;
    l.Caption = caption;
    l.Left = left;
    l.Top = top;
    l.Width = width;
    l.Height = height;
    l.Align = align;
    return l;
}

} // namespace

Scene::Scene()
{
    // Far ends of the road edges: pairs m = 0..11 reach the window's sides at these heights,
    // the last three reach the bottom row.
    constexpr float SideY[12] = {1680, 1800, 1920, 2040, 2280, 2520, 2760, 3120, 3480, 4200, 4920, 6120};
    constexpr float BottomRightX[3] = {5760, 4920, 3840};
    constexpr float BottomLeftX[3] = {960, 1920, 2880};
    for (int m = 0; m < 15; ++m) {
        const bool shown = m == 7;
        if (m < 12) {
            Border[2 * m] = line(3840, 1320, 6600, SideY[m], Green, shown);
            Border[2 * m + 1] = line(2880, 1320, 0, SideY[m], Green, shown);
        } else {
            Border[2 * m] = line(3840, 1320, BottomRightX[m - 12], 6360, Green, shown);
            Border[2 * m + 1] = line(2880, 1320, BottomLeftX[m - 12], 6360, Green, shown);
        }
    }
    // These two hold their horizon point as the second end.
    Border[0] = line(6600, 1680, 3840, 1320, Green, false);
    Border[19] = line(0, 4200, 2880, 1320, Green, false);

    for (int i = 0; i < 4; ++i) {
        Obstacle[i] = rectangle(2880 + 240.0f * static_cast<float>(i), 1080, 255, 495, DarkRed, false);
        Obstacle[i].BorderWidth = 2;
    }
    BigObstacle[0] = rectangle(3000, 1080, 255, 495, Brown, false);
    BigObstacle[1] = rectangle(3480, 1080, 255, 495, Brown, false);

    Player1 = rectangle(2880, 5760, 975, 375, Teal, true);
    Player6 = rectangle(3000, 5640, 735, 255, Teal, true);
    Player5 = line(2880, 5760, 3000, 5640, Teal, true);
    Player4 = line(3840, 5760, 3720, 5640, Teal, true);
    Player3 = line(2880, 6120, 3000, 5880, Teal, true);
    Player2 = line(3840, 6120, 3720, 5880, Teal, true);

    for (int n = 0; n < 3; ++n) {
        const float dx = 480.0f * static_cast<float>(n);
        Shieldb[n] = rectangle(1080 + dx, 120, 255, 255, Teal, true);
        Shielda[n] = rectangle(1200 + dx, 240, 255, 255, Teal, true);
        Shieldf[n] = line(1200 + dx, 240, 1080 + dx, 120, Teal, true);
        Shielde[n] = line(1440 + dx, 240, 1320 + dx, 120, Teal, true);
        Shieldc[n] = line(1080 + dx, 360, 1200 + dx, 480, Teal, true);
        Shieldd[n] = line(1440 + dx, 480, 1320 + dx, 360, Teal, true);
    }

    lblShield = label("Shield:", 120, 120, 855, 255, Alignment::Centre);
    lblScore = label("0", 3960, 120, 2535, 255, Alignment::Left);
    lblScore.Framed = true;
    lblHigh1 = label("HighScore:", 3960, 480, 1215, 255, Alignment::Centre);
    lblHigh = label("", 5160, 480, 1335, 255, Alignment::Left);
    lblHigh.BackColor = SystemMenuText;
    lblHigh.Framed = true;
    lblReady = label("", 1560, 2640, 3615, 2055, Alignment::Centre);
    lblReady.Opaque = false;

    Timer1 = Timer{false, 50};
    Timer2 = Timer{false, 600};

    mnuFile = MenuEntry{"File", true};
    mnuStart = MenuEntry{"Start", true};
    mnuRestart = MenuEntry{"Restart", true};
    mnuQuit = MenuEntry{"Quit", true};
    mnuHelp = MenuEntry{"Help", true};
    mnuHow = MenuEntry{"How To Play", true};
    mnuAbout = MenuEntry{"About", true};
}

} // namespace farvane
