// The playfield as the window first shows it, and the order in which its elements are painted.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "playfield/scene.h"

using namespace farvane;

namespace {

struct ShapeRow {
    const char* name;
    const Shape& shape;
    float left, top, width, height;
    Colour colour;
    bool visible;
};

struct LineRow {
    const char* name;
    const Line& line;
    float x1, y1, x2, y2;
    Colour colour;
    bool visible;
};

void expectShapes(const std::vector<ShapeRow>& rows)
{
    for (const ShapeRow& row : rows) {
        EXPECT_EQ(row.shape.Left, row.left) << row.name;
        EXPECT_EQ(row.shape.Top, row.top) << row.name;
        EXPECT_EQ(row.shape.Width, row.width) << row.name;
        EXPECT_EQ(row.shape.Height, row.height) << row.name;
        EXPECT_EQ(row.shape.BorderColor, row.colour) << row.name;
        EXPECT_EQ(row.shape.Visible, row.visible) << row.name;
    }
}

void expectLines(const std::vector<LineRow>& rows)
{
    for (const LineRow& row : rows) {
        EXPECT_EQ(row.line.X1, row.x1) << row.name;
        EXPECT_EQ(row.line.Y1, row.y1) << row.name;
        EXPECT_EQ(row.line.X2, row.x2) << row.name;
        EXPECT_EQ(row.line.Y2, row.y2) << row.name;
        EXPECT_EQ(row.line.BorderColor, row.colour) << row.name;
        EXPECT_EQ(row.line.Visible, row.visible) << row.name;
    }
}

} // namespace

TEST(Layout, ClientAreaIs6615By6375Twips)
{
    const Scene scene;
    EXPECT_EQ(scene.ScaleLeft, 0);
    EXPECT_EQ(scene.ScaleWidth, 6615);
    EXPECT_EQ(scene.ScaleHeight, 6375);
}

TEST(Layout, RoadEdgesStartAsTheTableGivesThem)
{
    const Scene s;
    expectLines({
        {"Border(0)", s.Border[0], 6600, 1680, 3840, 1320, Green, false},
        {"Border(1)", s.Border[1], 2880, 1320, 0, 1680, Green, false},
        {"Border(12)", s.Border[12], 3840, 1320, 6600, 2760, Green, false},
        {"Border(14)", s.Border[14], 3840, 1320, 6600, 3120, Green, true},
        {"Border(15)", s.Border[15], 2880, 1320, 0, 3120, Green, true},
        {"Border(16)", s.Border[16], 3840, 1320, 6600, 3480, Green, false},
        {"Border(18)", s.Border[18], 3840, 1320, 6600, 4200, Green, false},
        {"Border(19)", s.Border[19], 0, 4200, 2880, 1320, Green, false},
        {"Border(22)", s.Border[22], 3840, 1320, 6600, 6120, Green, false},
        {"Border(23)", s.Border[23], 2880, 1320, 0, 6120, Green, false},
        {"Border(24)", s.Border[24], 3840, 1320, 5760, 6360, Green, false},
        {"Border(25)", s.Border[25], 2880, 1320, 960, 6360, Green, false},
        {"Border(26)", s.Border[26], 3840, 1320, 4920, 6360, Green, false},
        {"Border(27)", s.Border[27], 2880, 1320, 1920, 6360, Green, false},
        {"Border(28)", s.Border[28], 3840, 1320, 3840, 6360, Green, false},
        {"Border(29)", s.Border[29], 2880, 1320, 2880, 6360, Green, false},
    });
}

TEST(Layout, EveryRoadEdgeEndsOnASideOrTheBottomRowAndOnlyTheMiddlePairShows)
{
    const Scene s;
    int shown = 0;
    for (std::size_t i = 0; i < s.Border.size(); ++i) {
        const Line& line = s.Border[i];
        const bool even = i % 2 == 0;
        // The far end is the one that is not the horizon point of its side.
        const bool firstIsHorizon = line.Y1 == 1320;
        const float farX = firstIsHorizon ? line.X2 : line.X1;
        const float farY = firstIsHorizon ? line.Y2 : line.Y1;
        EXPECT_EQ(firstIsHorizon ? line.X1 : line.X2, even ? 3840 : 2880) << "Border " << i;
        EXPECT_TRUE(farX == (even ? 6600 : 0) || farY == 6360) << "Border " << i;
        EXPECT_EQ(line.BorderColor, Green) << "Border " << i;
        shown += line.Visible ? 1 : 0;
    }
    EXPECT_EQ(shown, 2);
}

TEST(Layout, ObstaclesStartHiddenAtTheHorizon)
{
    const Scene s;
    expectShapes({
        {"Obstacle(0)", s.Obstacle[0], 2880, 1080, 255, 495, DarkRed, false},
        {"Obstacle(1)", s.Obstacle[1], 3120, 1080, 255, 495, DarkRed, false},
        {"Obstacle(2)", s.Obstacle[2], 3360, 1080, 255, 495, DarkRed, false},
        {"Obstacle(3)", s.Obstacle[3], 3600, 1080, 255, 495, DarkRed, false},
        {"BigObstacle(0)", s.BigObstacle[0], 3000, 1080, 255, 495, Brown, false},
        {"BigObstacle(1)", s.BigObstacle[1], 3480, 1080, 255, 495, Brown, false},
    });
    for (const Shape& small : s.Obstacle)
        EXPECT_EQ(small.BorderWidth, 2);
    for (const Shape& big : s.BigObstacle)
        EXPECT_EQ(big.BorderWidth, 1);
}

TEST(Layout, PlayerFigureIsTealAndItsLinesJoinCornerPixels)
{
    const Scene s;
    expectShapes({
        {"Player1", s.Player1, 2880, 5760, 975, 375, Teal, true},
        {"Player6", s.Player6, 3000, 5640, 735, 255, Teal, true},
    });
    expectLines({
        {"Player5", s.Player5, 2880, 5760, 3000, 5640, Teal, true},
        {"Player4", s.Player4, 3840, 5760, 3720, 5640, Teal, true},
        {"Player3", s.Player3, 2880, 6120, 3000, 5880, Teal, true},
        {"Player2", s.Player2, 3840, 6120, 3720, 5880, Teal, true},
    });
    // The last outline pixel of a rectangle lies one pixel inside Left + Width.
    EXPECT_EQ(s.Player4.X1, s.Player1.Left + s.Player1.Width - 15);
    EXPECT_EQ(s.Player4.X2, s.Player6.Left + s.Player6.Width - 15);
    EXPECT_EQ(s.Player2.Y1, s.Player1.Top + s.Player1.Height - 15);
}

TEST(Layout, ShieldIconsStandInARow480Apart)
{
    const Scene s;
    expectShapes({
        {"Shieldb(0)", s.Shieldb[0], 1080, 120, 255, 255, Teal, true},
        {"Shielda(0)", s.Shielda[0], 1200, 240, 255, 255, Teal, true},
        {"Shieldb(1)", s.Shieldb[1], 1560, 120, 255, 255, Teal, true},
        {"Shielda(2)", s.Shielda[2], 2160, 240, 255, 255, Teal, true},
    });
    expectLines({
        {"Shieldf(0)", s.Shieldf[0], 1200, 240, 1080, 120, Teal, true},
        {"Shielde(0)", s.Shielde[0], 1440, 240, 1320, 120, Teal, true},
        {"Shieldc(0)", s.Shieldc[0], 1080, 360, 1200, 480, Teal, true},
        {"Shieldd(0)", s.Shieldd[0], 1440, 480, 1320, 360, Teal, true},
        {"Shieldf(1)", s.Shieldf[1], 1680, 240, 1560, 120, Teal, true},
        {"Shielde(2)", s.Shielde[2], 2400, 240, 2280, 120, Teal, true},
        {"Shieldc(2)", s.Shieldc[2], 2040, 360, 2160, 480, Teal, true},
        {"Shieldd(2)", s.Shieldd[2], 2400, 480, 2280, 360, Teal, true},
    });
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(s.Shieldb[n].Left, 1080 + 480 * n);
        EXPECT_EQ(s.Shielda[n].Left, 1200 + 480 * n);
        EXPECT_TRUE(s.Shieldc[n].Visible && s.Shieldd[n].Visible && s.Shielde[n].Visible && s.Shieldf[n].Visible);
    }
}

TEST(Layout, LabelsStartWithTheirCaptionsPlacesAndColours)
{
    const Scene s;
    struct Row {
        const char* name;
        const Label& label;
        const char* caption;
        float left, top, width, height;
        Colour back;
        bool opaque;
        Alignment align;
    };
    const Row rows[] = {
        {"lblShield", s.lblShield, "Shield:", 120, 120, 855, 255, Black, true, Alignment::Centre},
        {"lblScore", s.lblScore, "0", 3960, 120, 2535, 255, Black, true, Alignment::Left},
        {"lblHigh1", s.lblHigh1, "HighScore:", 3960, 480, 1215, 255, Black, true, Alignment::Centre},
        {"lblHigh", s.lblHigh, "", 5160, 480, 1335, 255, SystemMenuText, true, Alignment::Left},
        {"lblReady", s.lblReady, "", 1560, 2640, 3615, 2055, Black, false, Alignment::Centre},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.label.Caption, row.caption) << row.name;
        EXPECT_EQ(row.label.Left, row.left) << row.name;
        EXPECT_EQ(row.label.Top, row.top) << row.name;
        EXPECT_EQ(row.label.Width, row.width) << row.name;
        EXPECT_EQ(row.label.Height, row.height) << row.name;
        EXPECT_EQ(row.label.ForeColor, White) << row.name;
        EXPECT_EQ(row.label.Opaque, row.opaque) << row.name;
        EXPECT_EQ(row.label.Align, row.align) << row.name;
        if (row.opaque) {
            EXPECT_EQ(row.label.BackColor, row.back) << row.name;
        }
    }
    EXPECT_TRUE(s.lblScore.Framed);
    EXPECT_TRUE(s.lblHigh.Framed);
    EXPECT_FALSE(s.lblShield.Framed || s.lblHigh1.Framed || s.lblReady.Framed);
}

TEST(Layout, TimersStartStoppedAndMenusEnabled)
{
    const Scene s;
    EXPECT_FALSE(s.Timer1.Enabled);
    EXPECT_EQ(s.Timer1.Interval, 50);
    EXPECT_FALSE(s.Timer2.Enabled);
    EXPECT_EQ(s.Timer2.Interval, 600);
    const std::pair<const MenuEntry&, const char*> menus[] = {
        {s.mnuFile, "File"}, {s.mnuStart, "Start"}, {s.mnuRestart, "Restart"}, {s.mnuQuit, "Quit"},
        {s.mnuHelp, "Help"}, {s.mnuHow, "How To Play"}, {s.mnuAbout, "About"},
    };
    for (const auto& [entry, caption] : menus) {
        EXPECT_EQ(entry.Caption, caption);
        EXPECT_TRUE(entry.Enabled) << caption;
    }
}

namespace {

std::vector<const void*> paintOrder(const Scene& s)
{
    std::vector<const void*> order;
    s.forEachInPaintOrder([&](const auto& element) { order.push_back(&element); });
    return order;
}

} // namespace

TEST(Layout, PaintOrderRunsFromTheMiddleRoadEdgesUpToTheBigObstacles)
{
    const Scene s;
    // Topmost first, as the window stacks them.
    std::vector<const void*> topDown = {&s.BigObstacle[1], &s.BigObstacle[0], &s.lblReady, &s.lblHigh1,
                                        &s.lblHigh, &s.Obstacle[0], &s.Obstacle[1], &s.Obstacle[3],
                                        &s.Obstacle[2]};
    for (const int i : {28, 1, 0, 29, 3, 5, 7, 9, 11, 2, 4, 6, 8, 10, 12, 13, 27, 25, 23, 21, 19, 17, 26, 24, 22, 20,
                        18, 16})
        topDown.push_back(&s.Border[static_cast<std::size_t>(i)]);
    for (const std::size_t n : {1u, 0u, 2u}) {
        for (const void* element : {static_cast<const void*>(&s.Shieldd[n]), static_cast<const void*>(&s.Shieldc[n]),
                                    static_cast<const void*>(&s.Shielde[n]), static_cast<const void*>(&s.Shieldf[n]),
                                    static_cast<const void*>(&s.Shielda[n]), static_cast<const void*>(&s.Shieldb[n])})
            topDown.push_back(element);
    }
    for (const void* element : {static_cast<const void*>(&s.lblShield), static_cast<const void*>(&s.lblScore),
                                static_cast<const void*>(&s.Player3), static_cast<const void*>(&s.Player2),
                                static_cast<const void*>(&s.Player4), static_cast<const void*>(&s.Player5),
                                static_cast<const void*>(&s.Player6), static_cast<const void*>(&s.Player1),
                                static_cast<const void*>(&s.Border[15]), static_cast<const void*>(&s.Border[14])})
        topDown.push_back(element);
    const std::vector<const void*> bottomUp(topDown.rbegin(), topDown.rend());

    const std::vector<const void*> painted = paintOrder(s);
    ASSERT_EQ(painted.size(), 65u); // 30 edges, 6 obstacles, 6 player pieces, 18 shield pieces, 5 labels
    for (std::size_t k = 0; k < painted.size(); ++k)
        EXPECT_EQ(painted[k], bottomUp[k]) << "paint position " << k;
}

TEST(Layout, BigObstaclesPaintAboveSmallOnesAndTheLabelsBetween)
{
    const Scene s;
    const std::vector<const void*> painted = paintOrder(s);
    const auto at = [&](const void* element) { return std::find(painted.begin(), painted.end(), element) - painted.begin(); };
    EXPECT_EQ(at(&s.Border[14]), 0);
    EXPECT_EQ(at(&s.Border[15]), 1);
    EXPECT_EQ(at(&s.BigObstacle[1]), 64);
    for (const Shape& small : s.Obstacle) {
        EXPECT_LT(at(&small), at(&s.lblReady));
        EXPECT_LT(at(&small), at(&s.BigObstacle[0]));
        EXPECT_GT(at(&small), at(&s.Border[28]));
        EXPECT_GT(at(&small), at(&s.Player1));
    }
}
