// The game window: hands the mid end real time, keys, menu clicks and the close button, arms one
// timer for its next deadline, and shows its picture, menus and box.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include "desktop/qthost.h"
#include "game/form.h"
#include "menu/menutable.h"
#include "midend/midend.h"

class QAction;
class QMenu;

namespace farvane {

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
    // Loads the form; `recorder`, when given, must outlive the window.
    explicit MainWindow(Recorder* recorder = nullptr, QWidget* parent = nullptr);
    // Plays the recording `script` in real time, as `start` says; the watcher answers the box and
    // the title shows where the watch stands.
    explicit MainWindow(ReplayScript script, WatchStart start = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    MidEnd& game() { return *mid; }
    Veskara& form() { return mid->form(); }
    QtHost& host() { return boxes; }
    QAction* menuAction(MenuEntry Scene::*entry) const;
    QWidget* sceneView() const;
    bool tickTimerActive() const { return tickTimer.isActive(); }
    int tickTimerInterval() const { return tickTimer.interval(); } // ms, as last armed
    bool hasEnded() const { return mid->ended(); }

    // After a test has changed the form directly: take in its timers and menus as after an event.
    void refresh();
    // Tests replace real time (ms since the form loaded) to play a stall.
    void setRealTimeSource(std::function<qint64()> source) { realTime = std::move(source); }
    // Called once when a watch is over (at once if it is over already).
    void onWatchOver(std::function<void()> act);
    // Called each time a watch shows a paused position it did not show paused just before.
    void onWatchPaused(std::function<void(std::uint64_t at)> act) { watchPaused = std::move(act); }

    bool eventFilter(QObject* watched, QEvent* event) override;

    // The record's last line: a "wait" up to where the game stands, so a replay ends in the
    // state the window shows. Written once, on every way the program ends.
    void closeRecord() { mid->closeRecord(); }
    // Ends the program in an orderly way, as for a signal asking it to stop: the record is
    // closed first. Any state will do, a box being up included.
    void endFromOutside();

signals:
    // The program is to end: Quit, or the window's close button.
    void ended();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MainWindow(QWidget* parent, const std::function<std::unique_ptr<MidEnd>(MidEnd::ShowBox)>& load);
    void buildMenus();
    bool isOwnTarget(QObject* watched) const;
    bool isOwnKeyTarget(QObject* watched) const;
    static bool isUserInput(QEvent::Type type);
    void handleKey(int qtKey, Qt::KeyboardModifiers modifiers);
    bool menuHasKeyboard() const;
    void openMenuFromKeyboard();
    void boxTakesFocusBack(QWindow* focused);
    RealMillis showBox(std::string_view prompt, std::string_view title);
    void afterEvent();
    void showState();
    void showTitle();
    void endProgram();

    QtHost boxes;
    QElapsedTimer sinceLoad;
    std::function<qint64()> realTime;
    std::unique_ptr<MidEnd> mid;
    SceneView* view = nullptr;
    QTimer tickTimer;
    QTimer watchTimer; // shows where a playing watch stands, also between ticks
    bool programEnded = false;
    std::function<void()> watchOver;
    std::function<void(std::uint64_t)> watchPaused;
    std::optional<std::uint64_t> pausedShownAt;
    std::array<QAction*, MenuItems.size()> actions{}; // by MenuName
    QMenu* fileMenu = nullptr;
    QMenu* helpMenu = nullptr;
};

} // namespace farvane
