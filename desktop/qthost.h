// The window's side of the form's Host: the lost-game message box and the end of the program.
#pragma once

#include <functional>
#include <string_view>

#include <QPointer>

#include "playfield/host.h"

class QMessageBox;
class QWidget;

namespace farvane {

// The window's states, in one place: what may happen next depends on these alone.
struct WindowState {
    bool inEvent = false; // a form procedure is running: no other may start
    bool boxOpen = false; // the lost-game box is up: the window takes no input, no tick runs
    bool ended = false;   // the program is ending: nothing more runs or shows
};

class QtHost : public Host {
public:
    using BoxRecorder = std::function<void(std::string_view prompt, std::string_view title)>;

    explicit QtHost(QWidget* boxParent) : parent(boxParent) {}

    // Called just before a box opens and just after it closes, so the window can hold its clock.
    std::function<void()> boxOpening;
    std::function<void()> boxClosed;
    // Called once when the program is to end, by End() or by the window's own close button.
    std::function<void()> ending;

    // Tests swap the modal box for a recorder, so nothing blocks.
    void setBoxRecorder(BoxRecorder recorder) { boxRecorder = std::move(recorder); }

    void MsgBox(std::string_view prompt, std::string_view title) override;
    void End() override;

    // The narrowest the box may be so that a title bar shows `title` whole beside its buttons.
    static int widthForTitle(const QString& title);

    bool hasEnded() const { return state.ended; }
    bool boxIsOpen() const { return state.boxOpen; }
    // Dismisses a box that is up, as if OK had been pressed.
    void closeBox();
    // The real box while it is up, else null (also with a box recorder in its place).
    QWidget* box() const;

private:
    QWidget* parent;
    BoxRecorder boxRecorder;
    QPointer<QMessageBox> openBox;

public:
    WindowState state;
};

} // namespace farvane
