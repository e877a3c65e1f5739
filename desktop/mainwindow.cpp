// The game window: hands the mid end real time, keys, menu clicks and the close button, arms one
// timer for its next deadline, and shows its picture, menus and box.
#include "desktop/mainwindow.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>

#include "desktop/framepaint.h"
#include "desktop/icon.h"
#include "picture/raster.h"
#include "picture/scenediff.h"
#include "script/recorder.h"

namespace farvane {

namespace {

QString menuCaption(const MenuEntry& entry) { return QString::fromStdString(menuText(entry.Caption)); }

} // namespace

// The client area: the shared rasterizer draws the form's scene into a frame buffer kept from frame
// to frame, shown through a QImage over the buffer's own pixels (no copy); no click or Tab gives it the focus.
// A frame draws only what changed: the elements whose look changed mark their old and new places,
// and a paint draws and shows just the rectangles Qt asks for.
class SceneView : public QWidget {
public:
    SceneView(const MidEnd& shown, QWidget* parent) : QWidget(parent), game(shown)
    {
        setFixedSize(ClientWidth, ClientHeight);
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
        QPalette black = palette();
        black.setColor(QPalette::Window, Qt::black);
        setPalette(black);
        setAutoFillBackground(true);
    }

    // The scene may have changed: asks for a repaint of the places where it did (none if nothing
    // changed, so an idle window paints nothing).
    void sceneChanged()
    {
        const std::vector<PixelRect>& rects = changes.since(game.scene());
        if (rects.empty())
            return;
        // At a fractional ratio a frame is drawn whole (see paintRegion).
        if (devicePixelRatioF() != std::floor(devicePixelRatioF()))
            update();
        else
            update(changedRegion(rects));
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        // 1 to 4, as the start checks: a screen the window moves to later cannot ask for more.
        const qreal ratio = std::clamp(devicePixelRatioF(), 1.0, 4.0);
        const bool fresh = !frame || frame->devicePixelRatio() != ratio;
        if (fresh) {
            // A new frame (the first, or the screen's ratio changed) is drawn whole, and shown
            // whole should this paint cover less of it.
            frame.emplace(ratio, PixelOrder::Argb32);
            rasterize(game.scene(), *frame);
            if (event->region() != QRegion(rect()))
                update();
        }
        QPainter painter(this);
        paintRegion(painter, game.scene(), *frame, event->region(), fresh);
    }

private:
    const MidEnd& game;
    SceneChanges changes;             // what the last repaint request asked to show
    std::optional<FrameBuffer> frame; // kept between frames; made again when the ratio changes
};

std::optional<std::int16_t> formKeyCode(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return static_cast<std::int16_t>(qtKey); // the same codes on both sides
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<std::int16_t>(112 + (qtKey - Qt::Key_F1));
    switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Clear: return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_NumLock: return 144;
    case Qt::Key_ScrollLock: return 145;
    case Qt::Key_Semicolon: return 186;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return 187;
    case Qt::Key_Comma: return 188;
    case Qt::Key_Minus: return 189;
    case Qt::Key_Period: return 190;
    case Qt::Key_Slash: return 191;
    case Qt::Key_QuoteLeft: return 192;
    case Qt::Key_BracketLeft: return 219;
    case Qt::Key_Backslash: return 220;
    case Qt::Key_BracketRight: return 221;
    case Qt::Key_Apostrophe: return 222;
    default: return std::nullopt;
    }
}

std::int16_t formShiftMask(Qt::KeyboardModifiers modifiers)
{
    std::int16_t mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= 1;
    if (modifiers & Qt::ControlModifier)
        mask |= 2;
    if (modifiers & Qt::AltModifier)
        mask |= 4;
    return mask;
}

MainWindow::MainWindow(Recorder* recorder, QWidget* parent)
    : MainWindow(parent, [recorder](MidEnd::ShowBox show) {
          return std::make_unique<MidEnd>(0, std::move(show), RecordOptions{recorder, true});
      })
{}

MainWindow::MainWindow(ReplayScript script, WatchStart start, QWidget* parent)
    : MainWindow(parent, [&script, start](MidEnd::ShowBox show) {
          return std::make_unique<MidEnd>(0, std::move(show), std::move(script), start);
      })
{}

MainWindow::MainWindow(QWidget* parent, const std::function<std::unique_ptr<MidEnd>(MidEnd::ShowBox)>& load)
    : QMainWindow(parent), boxes(this), realTime([this] { return sinceLoad.elapsed(); })
{
    setWindowIcon(applicationIcon());
    // A fixed frame: the scene is laid out for exactly this client area.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    tickTimer.setSingleShot(true);
    tickTimer.setTimerType(Qt::PreciseTimer);
    const auto advance = [this] {
        mid->advance(static_cast<RealMillis>(realTime()));
        afterEvent();
    };
    connect(&tickTimer, &QTimer::timeout, this, advance);
    watchTimer.setInterval(static_cast<int>(MidEnd::WatchShowMs));
    connect(&watchTimer, &QTimer::timeout, this, advance);

    // The form loads at real time 0: the window's clock starts with it.
    sinceLoad.start();
    mid = load([this](std::string_view prompt, std::string_view title) { return showBox(prompt, title); });

    view = new SceneView(*mid, this);
    setCentralWidget(view);
    buildMenus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setFocusPolicy(Qt::NoFocus);
    // The scene is where the keyboard rests: the menu bar hands the focus back to it when Escape
    // or a chosen entry ends its keyboard navigation. No click or Tab moves the focus.
    view->setFocus(Qt::OtherFocusReason);

    // Every key of the window goes to the form, whatever has the focus.
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainWindow::boxTakesFocusBack);
    afterEvent();
}

MainWindow::~MainWindow() { qApp->removeEventFilter(this); }

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setNativeMenuBar(false); // the scene sits right under the menu bar, in the window
    bar->setFocusPolicy(Qt::NoFocus);
    const Scene& scene = mid->scene();
    fileMenu = bar->addMenu(menuCaption(scene.mnuFile));
    helpMenu = bar->addMenu(menuCaption(scene.mnuHelp));
    for (const MenuItem& item : MenuItems) {
        QMenu* menu = item.parentMenu == &Scene::mnuFile ? fileMenu : helpMenu;
        QAction* action = menu->addAction(menuCaption(scene.*item.entry));
        actions[static_cast<std::size_t>(item.name)] = action;
        connect(action, &QAction::triggered, this, [this, name = item.name] {
            mid->menu(static_cast<RealMillis>(realTime()), name);
            afterEvent();
        });
    }
}

QAction* MainWindow::menuAction(MenuEntry Scene::*entry) const
{
    if (entry == &Scene::mnuFile)
        return fileMenu->menuAction();
    if (entry == &Scene::mnuHelp)
        return helpMenu->menuAction();
    for (const MenuItem& item : MenuItems)
        if (item.entry == entry)
            return actions[static_cast<std::size_t>(item.name)];
    return nullptr;
}

QWidget* MainWindow::sceneView() const { return view; }

bool MainWindow::isOwnTarget(QObject* watched) const
{
    if (watched->isWindowType())
        return watched == windowHandle();
    if (watched->isWidgetType())
        return static_cast<QWidget*>(watched)->window() == this;
    return false;
}

bool MainWindow::menuHasKeyboard() const
{
    // An open drop-down menu, or the menu bar highlighted from the keyboard (Alt, Escape out of a menu).
    return QApplication::activePopupWidget() != nullptr || menuBar()->hasFocus();
}

bool MainWindow::isOwnKeyTarget(QObject* watched) const
{
    // A menu opened from the keyboard or a box keeps its keys, so the arrows navigate it.
    if (menuHasKeyboard() || QApplication::activeModalWidget())
        return false;
    return isOwnTarget(watched);
}

void MainWindow::openMenuFromKeyboard()
{
    // As F10 does on the desktop: the first menu that can open drops down, its first entry lit,
    // and the arrow keys and Return work in it from there.
    for (QAction* menuEntry : menuBar()->actions()) {
        if (!menuEntry->isEnabled())
            continue;
        menuBar()->setActiveAction(menuEntry);
        if (QMenu* menu = menuEntry->menu(); menu && menu->isVisible())
            for (QAction* item : menu->actions())
                if (item->isEnabled()) {
                    menu->setActiveAction(item);
                    break;
                }
        return;
    }
}

void MainWindow::boxTakesFocusBack(QWindow* focused)
{
    // A click on the game window hands it the focus, but only the box can use keys while it is
    // up: the box takes the focus back at once, so Return and Escape answer it.
    QWidget* box = boxes.box();
    if (!box || !focused || focused != windowHandle())
        return;
    QTimer::singleShot(0, box, [box] {
        box->raise();
        box->activateWindow();
    });
}

bool MainWindow::isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TabletPress: return true;
    default: return false;
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    // While the lost-game box is up the window takes no input at all; its close button still
    // works, since a close request is no input event. A key that reaches the window before the
    // box has taken the focus back is the box's: Return and Escape answer it all the same.
    if (mid->boxIsOpen() && isUserInput(type) && isOwnTarget(watched)) {
        if (QWidget* box = boxes.box(); box && type == QEvent::KeyPress)
            QCoreApplication::sendEvent(box, event);
        return true;
    }
    const bool isKey = type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride;
    if (!isKey || !isOwnKeyTarget(watched))
        return QMainWindow::eventFilter(watched, event);
    // Taken here, before any widget sees it, so no key moves the focus; every press goes to the
    // form. Only the menu bar's own keys go on from here: Alt, whose shortcut override the menu
    // bar watches to light its first menu when Alt is let go alone, and F10, which opens a menu.
    const auto* key = static_cast<QKeyEvent*>(event);
    if (type == QEvent::KeyPress) {
        handleKey(key->key(), key->modifiers());
        if (key->key() == Qt::Key_F10 && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !hasEnded() &&
            !mid->boxIsOpen())
            openMenuFromKeyboard();
        return true;
    }
    return key->key() != Qt::Key_Alt;
}

void MainWindow::handleKey(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const std::optional<std::int16_t> code = formKeyCode(qtKey);
    if (!code)
        return;
    mid->key(static_cast<RealMillis>(realTime()), *code, formShiftMask(modifiers));
    afterEvent();
}

RealMillis MainWindow::showBox(std::string_view prompt, std::string_view title)
{
    // The losing tick has already stopped Timer1; nothing may tick behind the box, and virtual
    // time stands still while it is up. It comes up over the losing hit.
    tickTimer.stop();
    showState();
    boxes.showBox(prompt, title);
    return static_cast<RealMillis>(realTime());
}

void MainWindow::refresh()
{
    mid->formChanged();
    afterEvent();
}

void MainWindow::afterEvent()
{
    if (mid->ended()) {
        endProgram();
        return;
    }
    // Armed for the deadline itself, not an interval from now, so ticks never drift.
    if (const std::optional<RealMillis> deadline = mid->deadline()) {
        const double wait = std::ceil(*deadline - static_cast<RealMillis>(realTime()));
        tickTimer.start(static_cast<int>(std::clamp(wait, 0.0, static_cast<double>(INT_MAX))));
    } else {
        tickTimer.stop();
    }
    const WatchPosition watch = mid->watchPosition();
    if (mid->watching() && !watch.paused && !watch.over && !mid->boxIsOpen()) {
        if (!watchTimer.isActive())
            watchTimer.start();
    } else {
        watchTimer.stop();
    }
    showState();
    if (mid->watchOver() && watchOver)
        std::exchange(watchOver, nullptr)();
    if (!watch.paused)
        pausedShownAt.reset();
    else if (watchPaused && pausedShownAt != watch.at)
        watchPaused(*(pausedShownAt = watch.at));
}

void MainWindow::onWatchOver(std::function<void()> act)
{
    watchOver = std::move(act);
    afterEvent();
}

void MainWindow::showState()
{
    const MenuState menus = mid->menuState();
    for (const MenuItem& item : MenuItems)
        actions[static_cast<std::size_t>(item.name)]->setEnabled(menus.entries[static_cast<std::size_t>(item.name)]);
    fileMenu->menuAction()->setEnabled(menus.fileMenu);
    helpMenu->menuAction()->setEnabled(menus.helpMenu);
    view->sceneChanged();
    showTitle();
}

void MainWindow::showTitle()
{
    const std::string title = mid->watching() ? watchTitle(mid->watchPosition()) : std::string(FormCaption);
    const QString shown = QString::fromStdString(title);
    if (windowTitle() != shown)
        setWindowTitle(shown);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The close button runs no procedure of the form; it ends the program in any state, also
    // from inside a tick whose box is up.
    mid->close(static_cast<RealMillis>(realTime()));
    endProgram();
    event->accept();
}

void MainWindow::endFromOutside()
{
    closeRecord();
    mid->close(static_cast<RealMillis>(realTime()));
    endProgram();
}

void MainWindow::endProgram()
{
    if (programEnded)
        return;
    programEnded = true;
    boxes.closeBox();
    tickTimer.stop();
    watchTimer.stop();
    hide();
    emit ended();
}

} // namespace farvane
