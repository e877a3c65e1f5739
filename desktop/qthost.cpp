// The lost-game message box as a QMessageBox the window holds modal.
#include "desktop/qthost.h"

#include <QEventLoop>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QString>

namespace farvane {

namespace {

QString toQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

int QtHost::widthForTitle(const QString& title)
{
    // A window manager draws the title in its own font, mostly bold and often larger than the
    // application's, beside the window's icon and its buttons (minimise, maximise, close), each
    // about as wide as the bar is high. QMessageBox itself leaves room for the title in a plain
    // font only, so a short prompt gets a box whose title bar cuts the title to an ellipsis.
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int button = metrics.height() + 10;
    return metrics.horizontalAdvance(title) * 5 / 4 + 5 * button;
}

QWidget* QtHost::box() const { return openBox.data(); }

void QtHost::showBox(std::string_view prompt, std::string_view title)
{
    if (closed)
        return;
    if (boxRecorder) {
        boxRecorder(prompt, title);
        return;
    }
    // Modal by the window's own hand (it takes no input while a box is up), not by Qt's: Qt drops
    // the desktop's close request for a window under a modal box, and the close button must end
    // the program in every state.
    QMessageBox box(QMessageBox::NoIcon, toQString(title), toQString(prompt), QMessageBox::Ok, parent);
    box.setWindowModality(Qt::NonModal);
    // Prompt, title and button stay as they are; the box is only made wide enough for its title.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(widthForTitle(box.windowTitle()), 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    QEventLoop untilAnswered;
    QObject::connect(&box, &QDialog::finished, &untilAnswered, &QEventLoop::quit);
    openBox = &box;
    box.show();
    box.raise();
    box.activateWindow();
    if (!closed && box.isVisible())
        untilAnswered.exec();
    openBox = nullptr;
}

void QtHost::closeBox()
{
    closed = true;
    if (openBox)
        openBox->done(QMessageBox::Ok);
}

} // namespace farvane
