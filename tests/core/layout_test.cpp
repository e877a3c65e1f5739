// The playfield as the window first shows it: the rules its layout keeps, and the stacking order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "game/form.h"
#include "playfield/scene.h"

using namespace farvane;

namespace {

constexpr float LastColumn = 6600; // twips: the client area's last pixel column
constexpr float LastRow = 6360;    // twips: its last pixel row
constexpr float Pixel = TwipsPerPixel;

struct Point {
    float x, y;
    bool operator==(const Point&) const = default;
};

// The outline pixels of a rectangle lie on Left and Left + Width - 15, Top and Top + Height - 15.
Point topLeft(const Shape& s) { return {s.Left, s.Top}; }
Point topRight(const Shape& s) { return {s.Left + s.Width - Pixel, s.Top}; }
Point bottomLeft(const Shape& s) { return {s.Left, s.Top + s.Height - Pixel}; }
Point bottomRight(const Shape& s) { return {s.Left + s.Width - Pixel, s.Top + s.Height - Pixel}; }

// Whether `line` runs between the two points, either way round.
bool joins(const Line& line, Point a, Point b)
{
    const Point one{line.X1, line.Y1}, two{line.X2, line.Y2};
    return (one == a && two == b) || (one == b && two == a);
}

bool inside(Point p) { return p.x >= 0 && p.x <= LastColumn && p.y >= 0 && p.y <= LastRow; }

template <typename T>
void collect(std::vector<const void*>& out, const T& element)
{
    if constexpr (requires { element.size(); }) {
        for (const auto& member : element)
            out.push_back(&member);
    } else {
        out.push_back(&element);
    }
}

// The addresses of elements and of every member of control arrays, in the order given.
template <typename... T>
std::vector<const void*> elements(const T&... groups)
{
    std::vector<const void*> out;
    (collect(out, groups), ...);
    return out;
}

} // namespace

TEST(Layout, EveryDrawnElementLiesInsideTheClientArea)
{
    const Scene s;
    EXPECT_EQ(s.ScaleLeft, 0);
    EXPECT_EQ(s.ScaleWidth, LastColumn + Pixel);
    EXPECT_EQ(s.ScaleHeight, LastRow + Pixel);
    int n = 0;
    s.forEachInPaintOrder([&](const auto& element) {
        ++n;
        if constexpr (std::is_same_v<std::decay_t<decltype(element)>, Line>) {
            EXPECT_TRUE(inside({element.X1, element.Y1}) && inside({element.X2, element.Y2})) << "element " << n;
        } else {
            EXPECT_TRUE(element.Width >= Pixel && element.Height >= Pixel && inside({element.Left, element.Top}) &&
                        inside({element.Left + element.Width - Pixel, element.Top + element.Height - Pixel}))
                << "element " << n;
        }
    });
}

// Even edges leave the right horizon point, odd ones the left; each reaches its side of the client
// area or the bottom row, a higher index running steeper; Border(28) and Border(29) go straight
// down the vehicle's sides, and only the middle pair shows at start.
TEST(Layout, RoadEdgesFanOutFromTheHorizonToTheClientAreasEdges)
{
    const Scene s;
    const Point horizon[2] = {{3840, 1320}, {2880, 1320}}; // right, left
    double lastSteepness[2] = {-1, -1};
    for (std::size_t i = 0; i < s.Border.size(); ++i) {
        const Line& edge = s.Border[i];
        const std::size_t side = i % 2;
        const Point first{edge.X1, edge.Y1}, second{edge.X2, edge.Y2};
        ASSERT_TRUE(first == horizon[side] || second == horizon[side]) << "Border " << i;
        const Point far = first == horizon[side] ? second : first;
        EXPECT_TRUE(far.x == (side == 0 ? LastColumn : 0) || far.y == LastRow) << "Border " << i;
        const double steepness = std::atan2(far.y - horizon[side].y, std::abs(far.x - horizon[side].x));
        EXPECT_GT(steepness, lastSteepness[side]) << "Border " << i;
        lastSteepness[side] = steepness;
        EXPECT_EQ(edge.BorderColor, Green) << "Border " << i;
        EXPECT_EQ(edge.Visible, i == 14 || i == 15) << "Border " << i;
        // The two edges of a pair end at one height: on the two sides, or both on the bottom row.
        if (side == 1) {
            const Line& right = s.Border[i - 1];
            EXPECT_EQ(far.y, right.Y1 == horizon[0].y && right.X1 == horizon[0].x ? right.Y2 : right.Y1)
                << "Border " << i - 1 << " and " << i;
        }
    }
    EXPECT_TRUE(s.Border[28].X1 == s.Border[28].X2 && s.Border[28].X1 == topRight(s.Player1).x);
    EXPECT_TRUE(s.Border[29].X1 == s.Border[29].X2 && s.Border[29].X1 == topLeft(s.Player1).x);
}

// All hidden, across the horizon line, at the size the game puts an obstacle back to; the small
// ones side by side over the far end of the road, the big ones between its horizon points.
TEST(Layout, ObstaclesStartHiddenAcrossTheHorizonAtTheFarEndOfTheRoad)
{
    const Scene s;
    for (std::size_t k = 0; k < 6; ++k) {
        const bool small = k < s.Obstacle.size();
        const Shape& o = small ? s.Obstacle[k] : s.BigObstacle[k - s.Obstacle.size()];
        EXPECT_FALSE(o.Visible) << k;
        EXPECT_TRUE(o.Top == HorizonTop && o.Width == HorizonWidth && o.Height == HorizonHeight) << k;
        EXPECT_TRUE(o.Top < 1320 && o.Top + o.Height > 1320) << k;
        EXPECT_TRUE(o.Left >= 2880 && topRight(o).x <= 3840 + Pixel) << k;
        EXPECT_EQ(o.BorderColor, small ? DarkRed : Brown) << k;
        EXPECT_EQ(o.BorderWidth, small ? 2 : 1) << k;
        if (small) {
            EXPECT_EQ(o.Left, 2880 + 240.0f * float(k)) << k;
        }
    }
}

// The vehicle sits under the far end of the road; its four lines join the corner pixels of the
// body and the cab, and the box the collisions use holds the whole figure. (Its pixels, and the
// shield icons', are in the picture tests.)
TEST(Layout, TheVehiclesLinesJoinTheCornerPixelsOfBodyAndCab)
{
    const Scene s;
    const Shape& body = s.Player1;
    const Shape& cab = s.Player6;
    EXPECT_TRUE(joins(s.Player5, topLeft(body), topLeft(cab)));
    EXPECT_TRUE(joins(s.Player4, topRight(body), topRight(cab)));
    EXPECT_TRUE(joins(s.Player3, bottomLeft(body), bottomLeft(cab)));
    EXPECT_TRUE(joins(s.Player2, bottomRight(body), bottomRight(cab)));
    EXPECT_EQ(topLeft(body).x, 2880);
    EXPECT_EQ(topRight(body).x, 3840);
    // Left, right and bottom from the body, top from the cab.
    const float box[4] = {body.Left, cab.Top, body.Left + body.Width, body.Top + body.Height};
    EXPECT_EQ(std::vector<float>(box, box + 4), (std::vector<float>{2880, 5640, 3855, 6135}));
    EXPECT_TRUE(cab.Left >= box[0] && cab.Left + cab.Width <= box[2] && cab.Top + cab.Height <= box[3]);
}

// Icon n is icon 0 moved 480 * n to the right: a front square, the back one 120 right and down,
// and four lines joining their corner pixels; the row starts right of "Shield:".
TEST(Layout, ShieldIconsAreWireFrameCubesInARow)
{
    const Scene s;
    const float step = 480;
    for (std::size_t n = 0; n < 3; ++n) {
        const Shape& front = s.Shieldb[n];
        const Shape& back = s.Shielda[n];
        const float dx = step * float(n);
        EXPECT_TRUE(front.Left == s.Shieldb[0].Left + dx && front.Top == s.Shieldb[0].Top) << n;
        EXPECT_TRUE(back.Left == front.Left + 120 && back.Top == front.Top + 120) << n;
        EXPECT_TRUE(front.Width == 255 && front.Height == 255 && back.Width == 255 && back.Height == 255) << n;
        EXPECT_TRUE(joins(s.Shieldf[n], topLeft(front), topLeft(back))) << n;
        EXPECT_TRUE(joins(s.Shielde[n], topRight(front), topRight(back))) << n;
        EXPECT_TRUE(joins(s.Shieldc[n], bottomLeft(front), bottomLeft(back))) << n;
        EXPECT_TRUE(joins(s.Shieldd[n], bottomRight(front), bottomRight(back))) << n;
    }
    EXPECT_GE(s.Shieldb[0].Left, s.lblShield.Left + s.lblShield.Width);
}

// White text in 8-pixel cells: the fixed captions fill their labels to within a pixel, the
// message holds 30 cells; the score and the high score are framed and left-aligned, the rest
// centred; only the message lets what lies behind it show.
TEST(Layout, LabelsHoldTheirTextInWholeCells)
{
    const Scene s;
    constexpr float Cell = 120;
    for (const Label* fixed : {&s.lblShield, &s.lblHigh1}) {
        const float fill = float(fixed->Caption.size()) * Cell;
        EXPECT_TRUE(fixed->Width >= fill && fixed->Width - fill <= Pixel) << fixed->Caption;
    }
    EXPECT_EQ(std::floor(s.lblReady.Width / Cell), 30);
    EXPECT_EQ(s.lblScore.Caption, "0");
    EXPECT_EQ(s.lblHigh.Caption, "");
    EXPECT_EQ(s.lblReady.Caption, "");
    for (const Label* label : {&s.lblShield, &s.lblScore, &s.lblHigh1, &s.lblHigh, &s.lblReady}) {
        const bool counter = label == &s.lblScore || label == &s.lblHigh;
        EXPECT_EQ(label->ForeColor, White) << label->Caption;
        EXPECT_EQ(label->Framed, counter) << label->Caption;
        EXPECT_EQ(label->Align, counter ? Alignment::Left : Alignment::Centre) << label->Caption;
        EXPECT_EQ(label->Opaque, label != &s.lblReady) << label->Caption;
        if (label != &s.lblReady) {
            EXPECT_EQ(label->Height, 17 * Pixel) << label->Caption;
        }
    }
    EXPECT_EQ(s.lblHigh.BackColor, SystemMenuText); // black in the standard scheme
}

TEST(Layout, NothingRunsAndEveryMenuEntryIsEnabledAtStart)
{
    const Scene s;
    EXPECT_FALSE(s.Timer1.Enabled || s.Timer2.Enabled);
    for (const MenuEntry* entry :
         {&s.mnuFile, &s.mnuStart, &s.mnuRestart, &s.mnuQuit, &s.mnuHelp, &s.mnuHow, &s.mnuAbout}) {
        EXPECT_TRUE(entry->Enabled) << entry->Caption;
        EXPECT_FALSE(entry->Caption.empty() || entry->Caption.find('&') != std::string::npos) << entry->Caption;
    }
}

// Painted bottom up: every drawn element once; the big obstacles over everything; the message
// and the high-score labels over the small obstacles; every obstacle over the road edges, the
// shield icons, the two top-left labels and the vehicle; the pair of edges shown at start under
// everything.
TEST(Layout, StackingOrderKeepsTheObstaclesOnTopAndTheStartEdgesBelow)
{
    const Scene s;
    // What every obstacle covers, and then everything drawn: 30 edges, 18 shield pieces, 6 vehicle
    // pieces, 5 labels, 6 obstacles, with no gap in any control array.
    const std::vector<const void*> below =
        elements(s.Border, s.Shielda, s.Shieldb, s.Shieldc, s.Shieldd, s.Shielde, s.Shieldf, s.lblShield, s.lblScore,
                 s.Player1, s.Player2, s.Player3, s.Player4, s.Player5, s.Player6);
    std::vector<const void*> drawn = elements(s.Obstacle, s.BigObstacle, s.lblHigh1, s.lblHigh, s.lblReady);
    drawn.insert(drawn.end(), below.begin(), below.end());
    ASSERT_EQ(drawn.size(), 65u);

    std::vector<const void*> painted;
    s.forEachInPaintOrder([&](const auto& element) { painted.push_back(&element); });
    ASSERT_EQ(painted.size(), drawn.size());
    EXPECT_EQ(std::set<const void*>(painted.begin(), painted.end()), std::set<const void*>(drawn.begin(), drawn.end()));
    const auto at = [&](const void* element) {
        return std::find(painted.begin(), painted.end(), element) - painted.begin();
    };
    const auto last = static_cast<std::ptrdiff_t>(painted.size()) - 1;

    EXPECT_EQ(at(&s.BigObstacle[1]), last);
    EXPECT_EQ(at(&s.BigObstacle[0]), last - 1);
    EXPECT_EQ(at(&s.Border[14]), 0);
    EXPECT_EQ(at(&s.Border[15]), 1);
    for (const Shape& small : s.Obstacle) {
        for (const Label* label : {&s.lblReady, &s.lblHigh1, &s.lblHigh})
            EXPECT_LT(at(&small), at(label)) << label->Caption;
        for (const void* e : below)
            EXPECT_GT(at(&small), at(e)) << "element at " << at(e);
    }
}
