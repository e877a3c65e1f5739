// The rectangles a frame draws again: a frame that repaints only them shows what a full redraw shows.
#include <gtest/gtest.h>

#include <functional>

#include "picture/raster.h"
#include "picture/scenediff.h"
#include "playfield/scene.h"

using namespace farvane;

// Changes play seldom makes, applied one after another: each moves pixels the footprints must hold.
TEST(SceneChanges, RepaintingTheChangedRectanglesShowsWhatAFullRedrawShows)
{
    struct Change {
        const char* what;
        std::function<void(Scene&)> apply;
    };
    const Change changes[] = {
        {"a caption that wraps a word onto the next line",
         [](Scene& s) { s.lblReady.Caption = "Use the Left and Right arrow keys to avoid"; }},
        {"the same caption one word shorter",
         [](Scene& s) { s.lblReady.Caption = "Use the Left and Right arrow keys to"; }},
        {"a framed, transparent, centred label",
         [](Scene& s) {
             s.lblHigh.Framed = true;
             s.lblHigh.Opaque = false;
             s.lblHigh.Align = Alignment::Centre;
         }},
        {"a label moved half off the client area",
         [](Scene& s) {
             s.lblHigh.Left = 6400;
             s.lblHigh.Top = -100;
         }},
        {"an obstacle shown", [](Scene& s) { s.Obstacle[0].Visible = true; }},
        {"the obstacle moved down and right",
         [](Scene& s) {
             s.Obstacle[0].Top += 600;
             s.Obstacle[0].Left += 30;
         }},
        {"a thick outline", [](Scene& s) { s.Obstacle[1] = Shape{1000, 2000, 900, 700, DarkRed, true, 4}; }},
        {"the outline thinner", [](Scene& s) { s.Obstacle[1].BorderWidth = 1; }},
        {"a box narrower than a pixel", [](Scene& s) { s.Obstacle[1].Width = 5; }},
        {"a colour", [](Scene& s) { s.Player1.BorderColor = Red; }},
        {"a line reaching out of the client area",
         [](Scene& s) { s.Border[3] = Line{-200, 6000, 7000, -300, Green, true}; }},
        {"its end pixels moved",
         [](Scene& s) {
             s.Border[3].X1 = 300;
             s.Border[3].Y2 = 14;
         }},
        {"the line hidden", [](Scene& s) { s.Border[3].Visible = false; }},
        {"a shield icon hidden", [](Scene& s) { s.Shielda[1].Visible = s.Shieldc[1].Visible = false; }},
        {"a box over the right and bottom edges",
         [](Scene& s) { s.BigObstacle[0] = Shape{6000, 6000, 3000, 3000, Brown, true, 1}; }},
        {"the score", [](Scene& s) { s.lblScore.Caption = "12345"; }},
    };
    for (const double ratio : {1.0, 1.5, 2.0}) {
        Scene scene;
        FrameBuffer shown(ratio);
        rasterize(scene, shown);
        SceneChanges changed;
        changed.since(scene);
        for (const Change& change : changes) {
            change.apply(scene);
            for (const PixelRect& rect : changed.since(scene))
                rasterize(scene, shown, rect);
            FrameBuffer full(ratio);
            rasterize(scene, full);
            int wrong = 0;
            for (int i = 0; i < full.stride() * full.height(); ++i)
                wrong += shown.pixels()[i] != full.pixels()[i];
            EXPECT_EQ(wrong, 0) << change.what << " at ratio " << ratio;
        }
    }
}
