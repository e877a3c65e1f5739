// The game window: hosts the form, drives its timers in real time and hands it keys and menu clicks.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include "menu/menutable.h"
#include "midend/virtualclock.h"
#include "desktop/qthost.h"
#include "game/form.h"

class QAction;
class QMenu;

namespace farvane {

struct Command;
class Recorder;
class SceneView;

// The form's key code for a Qt key: arrows 37 to 40, letters, digits, function keys and the
// other common keys by their desktop virtual-key codes; nothing for a key without one.
std::optional<std::int16_t> formKeyCode(int qtKey);
// The form's shift mask: Shift 1, Ctrl 2, Alt 4.
std::int16_t formShiftMask(Qt::KeyboardModifiers modifiers);

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // A play of more than this behind real time is a stall: play resumes from it, no burst.
    static constexpr qint64 StallMs = 250;

    // Loads the form; `recorder`, when given, must outlive the window.
    explicit MainWindow(Recorder* recorder = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    Veskara& form() { return game; }
    VirtualClock& clock() { return schedule; }
    QtHost& host() { return formHost; }
    QAction* menuAction(MenuEntry Scene::*entry) const;
    QWidget* sceneView() const;
    bool tickTimerActive() const { return tickTimer.isActive(); }
    int tickTimerInterval() const { return tickTimer.interval(); } // ms, as last armed
    bool hasEnded() const { return formHost.hasEnded(); }

    // After a test has changed the form directly: take in its timers and menus as after an event.
    void refresh() { afterEvent(); }
    // Tests replace real time (ms since the form loaded) to play a stall.
    void setRealTimeSource(std::function<qint64()> source) { realTime = std::move(source); }

    bool eventFilter(QObject* watched, QEvent* event) override;

    // The record's last line: a "wait" up to where the game stands, so a replay ends in the
    // state the window shows. Written once, on every way the program ends.
    void closeRecord();
    // Ends the program in an orderly way, as for a signal asking it to stop: the record is
    // closed first. Any state will do, a box being up included.
    void endFromOutside();
    // While a timer runs, the record gets a "wait" this often, so a program killed outright
    // loses at most this much of its record.
    static constexpr int CheckpointMs = 1000;

signals:
    // The program is to end: Quit, or the window's close button.
    void ended();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    bool isOwnTarget(QObject* watched) const;
    bool isOwnKeyTarget(QObject* watched) const;
    static bool isUserInput(QEvent::Type type);
    void handleKey(int qtKey, Qt::KeyboardModifiers modifiers);
    bool menuHasKeyboard() const;
    void openMenuFromKeyboard();
    void boxTakesFocusBack(QWindow* focused);
    void handleMenu(MenuName name);
    void onTickTimer();
    void onCheckpoint();
    VirtualClock::Millis virtualNow() const;
    void runDueTicks();
    bool beginEvent();
    void afterEvent();
    void afterEventShown();
    void armTickTimer();
    void record(const Command& event);
    void endProgram();

    QtHost formHost;
    Veskara game;
    VirtualClock schedule;
    Recorder* recorder;
    SceneView* view = nullptr;
    QTimer tickTimer;
    QTimer checkpointTimer;
    bool recordClosed = false;
    QElapsedTimer sinceLoad;
    std::function<qint64()> realTime;
    qint64 offset = 0;          // ms of real time the virtual clock has left out: stalls, boxes
    qint64 boxOpenedAt = 0;     // real time the message box came up
    WindowState& state;         // the host's: in an event, box open, ended
    std::array<QAction*, MenuItems.size()> actions{}; // by MenuName
    QMenu* fileMenu = nullptr;
    QMenu* helpMenu = nullptr;
};

} // namespace farvane
