// All the window shows of its own for the mid end: the lost-game message box, shown modal by the
// window's own hand and answered with OK. The rest of a host's work is the mid end's.
#pragma once

#include <functional>
#include <string_view>

#include <QPointer>

class QMessageBox;
class QString;
class QWidget;

namespace farvane {

class QtHost {
public:
    using BoxRecorder = std::function<void(std::string_view prompt, std::string_view title)>;

    explicit QtHost(QWidget* boxParent) : parent(boxParent) {}

    // Tests swap the modal box for a recorder, so nothing blocks.
    void setBoxRecorder(BoxRecorder recorder) { boxRecorder = std::move(recorder); }

    // Shows the box and returns once it is dismissed (or closeBox() is called).
    void showBox(std::string_view prompt, std::string_view title);

    // The narrowest the box may be so that a title bar shows `title` whole beside its buttons.
    static int widthForTitle(const QString& title);

    // Dismisses a box that is up, as if OK had been pressed; no box will show after it.
    void closeBox();
    // The real box while it is up, else null (also with a box recorder in its place).
    QWidget* box() const;

private:
    QWidget* parent;
    BoxRecorder boxRecorder;
    QPointer<QMessageBox> openBox;
    bool closed = false;
};

} // namespace farvane
