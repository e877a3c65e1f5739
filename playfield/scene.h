// The scene of the form: every named element of the playfield, the menu entries and the timers.
#pragma once

#include <array>
#include <string_view>

#include "playfield/element.h"

namespace farvane {

// The form's own Caption: the title of its window, in every host.
inline constexpr std::string_view FormCaption = "Farvane V1.33.7";

struct Scene {
    Scene(); // builds the layout as the window first shows it (layout.cpp)

    // Client area, in twips: the game tick reads these on every off-screen test.
    float ScaleLeft = 0;
    float ScaleWidth = 6615;
    float ScaleHeight = 6375;

    std::array<Line, 30> Border;      // road edges: even ones right, odd ones left
    std::array<Shape, 4> Obstacle;    // small obstacles, dark red
    std::array<Shape, 2> BigObstacle; // big obstacles, brown
    Shape Player1;                    // the vehicle's body
    Line Player2;                     // bottom-right join
    Line Player3;                     // bottom-left join
    Line Player4;                     // top-right join
    Line Player5;                     // top-left join
    Shape Player6;                    // the cab
    std::array<Shape, 3> Shielda;     // shield icon n: the back square
    std::array<Shape, 3> Shieldb;     // the front square
    std::array<Line, 3> Shieldc;      // bottom-left join
    std::array<Line, 3> Shieldd;      // bottom-right join
    std::array<Line, 3> Shielde;      // top-right join
    std::array<Line, 3> Shieldf;      // top-left join
    Label lblShield;
    Label lblScore;
    Label lblHigh1;
    Label lblHigh;
    Label lblReady;

    Timer Timer1; // the game tick
    Timer Timer2; // the countdown

    MenuEntry mnuFile;
    MenuEntry mnuStart;
    MenuEntry mnuRestart;
    MenuEntry mnuQuit;
    MenuEntry mnuHelp;
    MenuEntry mnuHow;
    MenuEntry mnuAbout;

    // Visits every drawn element from the bottommost to the topmost, so painting in this order
    // leaves each element over the ones it covers. `visit` takes a Shape, a Line or a Label.
    template <typename Visitor>
    void forEachInPaintOrder(Visitor&& visit) const;
};

template <typename Visitor>
void Scene::forEachInPaintOrder(Visitor&& visit) const
{
    visit(Border[14]);
    visit(Border[15]);
    visit(Player1);
    visit(Player6);
    visit(Player5);
    visit(Player4);
    visit(Player2);
    visit(Player3);
    visit(lblScore);
    visit(lblShield);
    for (const int n : {2, 0, 1}) {
        visit(Shieldb[n]);
        visit(Shielda[n]);
        visit(Shieldf[n]);
        visit(Shielde[n]);
        visit(Shieldc[n]);
        visit(Shieldd[n]);
    }
    for (const int i :
         {16, 18, 20, 22, 24, 26, 17, 19, 21, 23, 25, 27, 13, 12, 10, 8, 6, 4, 2, 11, 9, 7, 5, 3, 29, 0, 1, 28})
        visit(Border[i]);
    for (const int i : {2, 3, 1, 0})
        visit(Obstacle[i]);
    visit(lblHigh);
    visit(lblHigh1);
    visit(lblReady);
    visit(BigObstacle[0]);
    visit(BigObstacle[1]);
}

} // namespace farvane
