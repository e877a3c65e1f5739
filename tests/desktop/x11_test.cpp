// The window under a real X server and window manager (run by x11_test.sh): what the desktop does
// with the lost-game box and with the keyboard, through real pointer and key events (xdotool).
#include <optional>

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "desktop/mainwindow.h"
#include "tests/core/game.h"

using namespace farvane;

namespace {

constexpr int Patience = 10000; // ms; generous, the machine is shared

// Real input, as the X server hands it to whatever window the window manager has focused.
void xdotool(const QStringList& arguments) { QCOMPARE(QProcess::execute("xdotool", arguments), 0); }

QMessageBox* openBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

// One shield left and an obstacle about to land on the player: the next game tick loses.
void loseAtTheNextTick(MainWindow& window)
{
    window.setRealTimeSource([] { return qint64(0); }); // the losing tick runs when the test says
    test::setUpLosingTick(window.form());
    window.refresh();
    window.setRealTimeSource([] { return qint64(1000000); });
}

} // namespace

class X11Test : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        window.emplace();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(&*window));
    }
    void cleanup() { window.reset(); }

    // The box runs its own event loop inside the losing tick: the test acts on it from a timer.
    void aClickOnTheGameWindowLeavesTheKeysWithTheBox()
    {
        bool tookFocus = false, shotSaved = false, focusBack = false, answered = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QMessageBox* box = openBox();
            if (!box || !box->windowHandle())
                return;
            poll.stop();
            tookFocus =
                QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == box->windowHandle(); }, Patience);
            // The window manager's frame is on once Qt knows its size (none at all is no failure).
            if (!QTest::qWaitFor([&] { return box->frameGeometry() != box->geometry(); }, Patience))
                qInfo("the window manager put no frame around the box");
            // The whole title in its title bar, for a person to look at.
            const QRect around = box->frameGeometry().adjusted(-24, -24, 24, 24);
            const QString shot = qEnvironmentVariable("FARVANE_BOX_SHOT");
            shotSaved =
                shot.isEmpty() ||
                box->screen()->grabWindow(0, around.x(), around.y(), around.width(), around.height()).save(shot);

            // A corner of the scene, away from the box the window manager centres over the window.
            // xdotool counts the screen's own pixels, Qt logical ones (QT_SCALE_FACTOR).
            const QPoint scene = window->sceneView()->mapToGlobal(QPoint(20, window->sceneView()->height() - 20)) *
                                 window->devicePixelRatio();
            QProcess::execute("xdotool",
                              {"mousemove", QString::number(scene.x()), QString::number(scene.y()), "click", "1"});
            QTest::qWait(500);
            focusBack =
                QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == box->windowHandle(); }, Patience);
            QProcess::execute("xdotool", {"key", "Return"});
            answered = QTest::qWaitFor([] { return openBox() == nullptr; }, Patience);
            if (!answered)
                box->buttons()[0]->click(); // the test goes on
        });
        poll.start(50);
        loseAtTheNextTick(*window);
        QTRY_VERIFY_WITH_TIMEOUT(!poll.isActive(), Patience);
        QTRY_VERIFY_WITH_TIMEOUT(answered, Patience);
        QVERIFY(tookFocus);
        QVERIFY(shotSaved);
        QVERIFY(focusBack);
        QVERIFY(!window->hasEnded());
        QVERIFY(window->isVisible());
    }

    void f10OpensFileAndReturnStartsTheCountdown()
    {
        xdotool({"key", "F10"});
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activePopupWidget(), window->menuAction(&Scene::mnuFile)->menu(),
                                  Patience);
        xdotool({"key", "Return"});
        QTRY_COMPARE_WITH_TIMEOUT(window->form().lblReady.Caption, std::string("Ready"), Patience);
        QTRY_COMPARE_WITH_TIMEOUT(window->form().lblReady.Caption, std::string("Set"), Patience);
    }

private:
    std::optional<MainWindow> window;
};

QTEST_MAIN(X11Test)
#include "x11_test.moc"
