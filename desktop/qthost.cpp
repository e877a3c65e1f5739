// The lost-game message box as a modal QMessageBox, and the end of the program.
#include "desktop/qthost.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QString>

namespace farvane {

namespace {

QString toQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

void QtHost::MsgBox(std::string_view prompt, std::string_view title)
{
    // Once the program is ending the rest of the losing tick runs through, but shows nothing more.
    if (state.ended || state.boxOpen)
        return;
    state.boxOpen = true;
    if (boxOpening)
        boxOpening();
    if (boxRecorder) {
        boxRecorder(prompt, title);
    } else {
        // Modal by the window's own hand (it takes no input while a box is up), not by Qt's:
        // Qt drops the desktop's close request for a window under a modal box, and the close
        // button must end the program in every state.
        QMessageBox box(QMessageBox::NoIcon, toQString(title), toQString(prompt), QMessageBox::Ok, parent);
        box.setWindowModality(Qt::NonModal);
        QEventLoop untilAnswered;
        QObject::connect(&box, &QDialog::finished, &untilAnswered, &QEventLoop::quit);
        openBox = &box;
        box.show();
        box.raise();
        box.activateWindow();
        if (!state.ended && box.isVisible())
            untilAnswered.exec();
        openBox = nullptr;
    }
    state.boxOpen = false;
    if (boxClosed)
        boxClosed();
}

void QtHost::closeBox()
{
    if (openBox)
        openBox->done(QMessageBox::Ok);
}

void QtHost::End()
{
    if (state.ended)
        return;
    state.ended = true;
    closeBox();
    if (ending)
        ending();
}

} // namespace farvane
