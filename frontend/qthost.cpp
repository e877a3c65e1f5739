// The lost-game message box as a modal QMessageBox, and the end of the program.
#include "frontend/qthost.h"

#include <QMessageBox>
#include <QString>

namespace farvane {

namespace {

QString toQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

void QtHost::MsgBox(std::string_view prompt, std::string_view title)
{
    // Once the program is ending the rest of the losing tick runs through, but shows nothing more.
    if (ended || boxOpen)
        return;
    boxOpen = true;
    if (boxOpening)
        boxOpening();
    if (boxRecorder) {
        boxRecorder(prompt, title);
    } else {
        QMessageBox box(QMessageBox::NoIcon, toQString(title), toQString(prompt), QMessageBox::Ok, parent);
        openBox = &box;
        if (!ended)
            box.exec();
        openBox = nullptr;
    }
    boxOpen = false;
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
    if (ended)
        return;
    ended = true;
    closeBox();
    if (ending)
        ending();
}

} // namespace farvane
