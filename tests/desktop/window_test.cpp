// The game window on the offscreen platform: client area, menus, keys, timers, the box, the record.
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "cli/screenshot.h"
#include "desktop/app.h"
#include "desktop/mainwindow.h"
#include "headless/driver.h"
#include "script/dump.h"
#include "script/recorder.h"
#include "script/scriptwriter.h"
#include "tests/core/game.h"
#include "tests/desktop/stderr.h"

using namespace farvane;
using farvane::test::setUpLosingTick;

namespace {

constexpr int Patience = 10000; // ms; generous, the machine is shared

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string dumpOf(MainWindow& window)
{
    std::string line;
    replay::appendDumpLine(line, window.form(), window.game().virtualNow());
    return line;
}

struct BoxCall {
    std::string prompt, title;
    bool timer1Enabled, tickTimerActive;
};

// Swaps the window's box for a recorder that notes what the window looked like when it came up.
void recordBoxes(MainWindow& window, std::vector<BoxCall>& calls)
{
    window.host().setBoxRecorder([&window, &calls](std::string_view prompt, std::string_view title) {
        calls.push_back(
            {std::string(prompt), std::string(title), window.form().Timer1.Enabled, window.tickTimerActive()});
    });
}

QMessageBox* openBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

// Real time stands still for the window, so no tick runs unless the test moves it.
void freezeTime(MainWindow& window)
{
    window.setRealTimeSource([] { return qint64(0); });
}

// The record's key lines alone; how much time passed between them depends on the machine.
std::string keyLines(const std::string& record)
{
    std::istringstream lines(record);
    std::string keys;
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("key "))
            keys += line + "\n";
    return keys;
}

// The record run by the headless replay up to `until` on its clock, then dumped.
std::string replayedDump(const std::string& record, std::uint64_t until)
{
    std::uint64_t recorded = 0;
    std::istringstream lines(record);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("wait "))
            recorded += std::stoull(line.substr(5));
    std::istringstream script(record + "wait " + std::to_string(until - recorded) + "\ndump\n");
    std::ostringstream out, err;
    const replay::Result result = replay::runScriptFile("-", script, out, err);
    if (result.exitStatus != 0)
        return err.str();
    // Only the last line: the msgbox lines of lost games come before it.
    const std::string all = out.str();
    const std::size_t last = all.rfind('\n', all.size() - 2);
    return last == std::string::npos ? all : all.substr(last + 1);
}

// The box runs its own event loop inside the losing tick, so a test acts on it from a timer.
void whenBoxShows(QTimer& poll, std::function<void(QMessageBox*)> act)
{
    QObject::connect(&poll, &QTimer::timeout, [&poll, act] {
        if (QMessageBox* box = openBox()) {
            poll.stop();
            act(box);
        }
    });
    poll.start(20);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void theClientAreaIsFixedAt441By425UnderTheMenuBar()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QString("Farvane V1.33.7"));
        QCOMPARE(window.sceneView()->size(), QSize(441, 425));
        QCOMPARE(window.centralWidget(), window.sceneView());
        QCOMPARE(window.minimumSize(), window.maximumSize()); // no resizing
        QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(window.sceneView()->geometry().top(), window.menuBar()->geometry().bottom() + 1);
    }

    void theMenusCarryTheSceneCaptionsWithNoShortcutsOrSeparators()
    {
        MainWindow window;
        const QList<QAction*> bar = window.menuBar()->actions();
        QCOMPARE(bar.size(), 2);
        QCOMPARE(bar[0]->text(), QString("File"));
        QCOMPARE(bar[1]->text(), QString("Help"));
        QStringList captions;
        for (QAction* menu : bar)
            for (QAction* item : menu->menu()->actions()) {
                QVERIFY(!item->isSeparator());
                QVERIFY(item->shortcut().isEmpty());
                captions << item->text();
            }
        QCOMPARE(captions, QStringList({"Start", "Restart", "Quit", "How To Play", "About"}));
    }

    void everyMenuActionReachesItsProcedure()
    {
        MainWindow window;
        window.menuAction(&Scene::mnuHow)->trigger();
        QCOMPARE(window.form().lblReady.Caption.substr(0, 8), std::string("Use the "));
        window.menuAction(&Scene::mnuAbout)->trigger();
        QCOMPARE(window.form().lblReady.Caption, std::string("Programmed By: Telmasc"));
        window.menuAction(&Scene::mnuRestart)->trigger();
        QCOMPARE(window.form().lblHigh.Caption, std::string("0")); // the first Restart keeps 0
        window.menuAction(&Scene::mnuStart)->trigger();
        QVERIFY(window.form().Timer2.Enabled);
        QVERIFY(window.tickTimerActive());
        QSignalSpy ended(&window, &MainWindow::ended);
        window.menuAction(&Scene::mnuQuit)->trigger();
        QCOMPARE(ended.size(), 1);
        QVERIFY(window.hasEnded());
        QVERIFY(!window.tickTimerActive());
    }

    void startCountsDownReadySetGoAt600MsStepsAndThenTheObstaclesMove()
    {
        MainWindow window;
        window.menuAction(&Scene::mnuStart)->trigger();
        const std::string& word = window.form().lblReady.Caption;
        const char* words[] = {"Ready", "Set", "Go!"};
        for (const char* shown : words)
            QTRY_COMPARE_WITH_TIMEOUT(word, std::string(shown), Patience);
        QTRY_VERIFY_WITH_TIMEOUT(window.form().Timer1.Enabled, Patience);
        QCOMPARE(word, std::string());
        QVERIFY(!window.form().Timer2.Enabled);
        QTRY_VERIFY_WITH_TIMEOUT(window.form().Obstacle[0].Visible, Patience);
        QVERIFY(window.form().Obstacle[0].Top > 1080);
    }

    void arrowKeysSteerAndEarnFivePointsWhileTheGameRuns()
    {
        MainWindow window;
        Veskara& form = window.form();
        freezeTime(window);                     // no tick may fall between two presses
        QTest::keyClick(&window, Qt::Key_Left); // no game yet: nothing happens
        QCOMPARE(form.Steer, std::int16_t(0));
        QCOMPARE(form.lblScore.Caption, std::string("0"));

        form.Timer1.Enabled = true;
        window.refresh();
        for (int press = 1; press <= 8; ++press) {
            const double before = CaptionToNumber(form.lblScore.Caption);
            QTest::keyClick(window.sceneView(), Qt::Key_Left);
            // The eighth press meets the road's edge and is ignored, points included.
            QCOMPARE(CaptionToNumber(form.lblScore.Caption) - before, press <= 7 ? 5.0 : 0.0);
        }
        QCOMPARE(form.LeftEdge, std::int16_t(29));
        QCOMPARE(form.Steer, std::int16_t(175));
        QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(window.menuBar(), &repeated); // auto-repeat, sent to a child
        QCOMPARE(form.Steer, std::int16_t(150));
        QCOMPARE(form.RightEdge, std::int16_t(2));
    }

    void otherKeysReachTheFormButDoNotSteer()
    {
        std::ostringstream text;
        Recorder recorder(text);
        MainWindow window(&recorder);
        freezeTime(window); // no tick may fall between two presses
        window.form().Timer1.Enabled = true;
        window.refresh();
        const std::string score = window.form().lblScore.Caption;
        QTest::keyClick(&window, Qt::Key_Up);
        QTest::keyClick(&window, Qt::Key_A, Qt::ShiftModifier | Qt::ControlModifier);
        QTest::keyClick(&window, Qt::Key_MediaPlay); // no code: not passed on
        QCOMPARE(window.form().Steer, std::int16_t(0));
        QCOMPARE(window.form().lblScore.Caption, score);
        QVERIFY(text.str().find("key 38 0\n") != std::string::npos);
        QVERIFY(text.str().find("key 65 3\n") != std::string::npos);
        // Shift and Ctrl are keys of their own, as on the desktop; the media key has no code.
        QCOMPARE(keyLines(text.str()), std::string("key 38 0\nkey 16 1\nkey 17 3\nkey 65 3\n"));
    }

    // Alt alone lights the menu bar and F10 opens File, as on the desktop; both still reach the form
    // (which ignores them) and are recorded. The arrows steer once no menu has the keyboard.
    void altAndF10OpenTheMenusFromTheKeyboardAndStillReachTheForm()
    {
        std::ostringstream text;
        Recorder recorder(text);
        MainWindow window(&recorder);
        freezeTime(window); // no tick may fall between two presses
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.form().Timer1.Enabled = true;
        window.refresh();
        QAction* file = window.menuAction(&Scene::mnuFile);
        QTest::keyPress(window.windowHandle(), Qt::Key_Alt);
        QTest::keyRelease(window.windowHandle(), Qt::Key_Alt);
        QCOMPARE(window.menuBar()->activeAction(), file);
        const std::string score = window.form().lblScore.Caption;
        QTest::keyClick(window.windowHandle(), Qt::Key_Left); // moves along the menu bar instead
        QCOMPARE(window.form().lblScore.Caption, score);
        QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
        QTest::keyClick(window.windowHandle(), Qt::Key_Left);
        QCOMPARE(CaptionToNumber(window.form().lblScore.Caption) - CaptionToNumber(score), 5.0);
        QCOMPARE(QApplication::focusWidget(), window.sceneView());

        window.form().Timer1.Enabled = false;
        window.refresh();
        QTest::keyClick(window.windowHandle(), Qt::Key_F10);
        QTRY_COMPARE(QApplication::activePopupWidget(), file->menu());
        QCOMPARE(file->menu()->activeAction(), window.menuAction(&Scene::mnuStart));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
        QVERIFY(window.form().Timer2.Enabled); // the countdown runs
        QCOMPARE(QApplication::focusWidget(), window.sceneView());
        QCOMPARE(keyLines(text.str()), std::string("key 18 4\nkey 37 0\nkey 121 0\n"));
        QVERIFY(text.str().ends_with("menu mnuStart\n"));
    }

    void anOpenDropDownMenuKeepsTheArrowKeys()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.form().Timer1.Enabled = true;
        window.refresh();
        QMenu* file = window.menuAction(&Scene::mnuFile)->menu();
        file->popup(window.mapToGlobal(QPoint(0, 0)));
        QTRY_COMPARE(QApplication::activePopupWidget(), file);
        QTest::keyClick(window.windowHandle(), Qt::Key_Left);
        QCOMPARE(window.form().Steer, std::int16_t(0));
        file->close();
    }

    void aLostGameShowsTheBoxWithTimer1AndTheTickTimerAlreadyStopped()
    {
        std::ostringstream text;
        Recorder recorder(text);
        MainWindow window(&recorder);
        std::vector<BoxCall> calls;
        window.host().setBoxRecorder([&](std::string_view prompt, std::string_view title) {
            calls.push_back(
                {std::string(prompt), std::string(title), window.form().Timer1.Enabled, window.tickTimerActive()});
            // No form event may run while the box is up.
            QTest::keyClick(&window, Qt::Key_Left);
            window.menuAction(&Scene::mnuAbout)->trigger();
        });
        qint64 realNow = 0;
        window.setRealTimeSource([&] { return realNow; });
        setUpLosingTick(window.form());
        window.refresh();
        QVERIFY(window.tickTimerActive());
        realNow = 50;
        QTest::keyClick(&window, Qt::Key_Up); // the losing tick runs first, with the timer armed
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].prompt, std::string("You Lose!"));
        QCOMPARE(calls[0].title, std::string("Muahahahaa"));
        QVERIFY(!calls[0].timer1Enabled);
        QVERIFY(!calls[0].tickTimerActive);
        QCOMPARE(window.form().lblReady.Caption, std::string());
        QVERIFY(text.str().ends_with("\nwait 50\nkey 38 0\n")); // nothing from inside the box
        QVERIFY(!window.form().Shieldf[0].Visible);
        QVERIFY(!window.tickTimerActive()); // nothing runs any more: the program sleeps
    }

    void theMenusGreyAndUngreyThroughStartLosingAndRestart()
    {
        MainWindow window;
        std::vector<BoxCall> calls;
        recordBoxes(window, calls);
        QAction* start = window.menuAction(&Scene::mnuStart);
        QAction* help = window.menuAction(&Scene::mnuHelp);
        auto states = [&] { return std::pair(start->isEnabled(), help->isEnabled()); };
        QCOMPARE(states(), std::pair(true, true));
        start->trigger();
        QCOMPARE(states(), std::pair(false, false));
        QVERIFY(window.menuAction(&Scene::mnuRestart)->isEnabled());
        // About's menu is greyed, so About cannot be chosen.
        window.menuAction(&Scene::mnuAbout)->trigger();
        QCOMPARE(window.form().lblReady.Caption, std::string());
        setUpLosingTick(window.form());
        window.refresh();
        QTRY_COMPARE_WITH_TIMEOUT(calls.size(), std::size_t(1), Patience);
        QCOMPARE(states(), std::pair(false, true));
        window.menuAction(&Scene::mnuRestart)->trigger();
        QCOMPARE(states(), std::pair(true, true));
    }

    void quitEndsTheEventLoop()
    {
        MainWindow window;
        window.show();
        window.menuAction(&Scene::mnuStart)->trigger();
        QEventLoop loop;
        connect(&window, &MainWindow::ended, &loop, &QEventLoop::quit);
        QTimer::singleShot(0, &window, [&] { window.menuAction(&Scene::mnuQuit)->trigger(); });
        QTimer::singleShot(Patience, &loop, [&] { loop.exit(1); });
        QCOMPARE(loop.exec(), 0);
        QVERIFY(!window.isVisible());
        QVERIFY(!window.tickTimerActive());
        QVERIFY(window.form().Timer2.Enabled); // Quit changes nothing, it only ends
    }

    void theCloseButtonDuringAGameEndsWithoutRunningAProcedure()
    {
        std::ostringstream text;
        Recorder recorder(text);
        MainWindow window(&recorder);
        window.show();
        window.form().Timer1.Enabled = true;
        window.refresh();
        QTRY_VERIFY_WITH_TIMEOUT(window.form().Obstacle[0].Visible, Patience);
        QSignalSpy ended(&window, &MainWindow::ended);
        const std::string before = dumpOf(window);
        QVERIFY(window.close());
        QCOMPARE(ended.size(), 1);
        QCOMPARE(dumpOf(window), before);
        QVERIFY(!window.tickTimerActive());
        QVERIFY(text.str().ends_with("\nclose\n"));
    }

    void theCloseButtonWithTheBoxUpEndsTheTickAndShowsNoSecondBox()
    {
        MainWindow window;
        window.show();
        std::vector<BoxCall> calls;
        window.host().setBoxRecorder([&](std::string_view prompt, std::string_view title) {
            calls.push_back({std::string(prompt), std::string(title), false, false});
            window.close();
        });
        QSignalSpy ended(&window, &MainWindow::ended);
        setUpLosingTick(window.form(), 2); // two hits in one tick would show two boxes
        window.refresh();
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, Patience);
        QTest::qWait(100);
        QCOMPARE(calls.size(), std::size_t(1));
        QVERIFY(!window.isVisible());
    }

    void theRealBoxHasNoIconAndOneOkButtonAndTheWindowTakesNoInputWhileItIsUp()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList seen;
        bool tickTimerActive = true, menuOpened = true;
        std::int16_t rightEdge = 0;
        QTimer poll;
        whenBoxShows(poll, [&](QMessageBox* box) {
            seen << box->windowTitle() << box->text() << QString::number(box->icon())
                 << QString::number(box->buttons().size()) << QString::number(box->standardButton(box->buttons()[0]));
            tickTimerActive = window.tickTimerActive();
            // Neither the menu bar nor the keys answer until the box is dismissed.
            const QPoint file = window.menuBar()->actionGeometry(window.menuAction(&Scene::mnuFile)).center();
            QTest::mouseClick(window.menuBar(), Qt::LeftButton, {}, file);
            menuOpened = QApplication::activePopupWidget() != nullptr;
            QTest::keyClick(window.windowHandle(), Qt::Key_Right);
            rightEdge = window.form().RightEdge;
            box->buttons()[0]->click();
        });
        setUpLosingTick(window.form());
        window.refresh();
        QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty(), Patience);
        QCOMPARE(seen, QStringList({"Muahahahaa", "You Lose!", QString::number(QMessageBox::NoIcon), "1",
                                    QString::number(QMessageBox::Ok)}));
        QVERIFY(!tickTimerActive);
        QVERIFY(!menuOpened);
        QCOMPARE(rightEdge, std::int16_t(14));
        QTRY_COMPARE(openBox(), nullptr);
        QVERIFY(window.isVisible());
        QVERIFY(!window.tickTimerActive()); // the game is lost: nothing ticks
    }

    void theCloseButtonEndsTheProgramWithTheRealBoxUp()
    {
        MainWindow window;
        window.show();
        QSignalSpy ended(&window, &MainWindow::ended);
        QTimer poll;
        whenBoxShows(poll, [&](QMessageBox*) { window.windowHandle()->close(); });
        setUpLosingTick(window.form());
        window.refresh();
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, Patience);
        QTRY_COMPARE(openBox(), nullptr);
        QVERIFY(!window.isVisible());
    }

    // A game lost and closed with the box up: the record ends "close-at-box" and the wait to the
    // losing tick, and its replay stops at that box, drawing the window's last frame exactly.
    void aGameClosedWithTheBoxUpReplaysToTheWindowsLastFrame()
    {
        std::ostringstream text;
        Recorder recorder(text);
        MainWindow window(&recorder);
        window.show();
        QElapsedTimer fast;
        fast.start();
        window.setRealTimeSource([&fast] { return fast.elapsed() * 4; }); // a lost game in seconds
        QImage lastFrame;
        QTimer poll;
        whenBoxShows(poll, [&](QMessageBox*) {
            lastFrame = window.sceneView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
            window.windowHandle()->close();
        });
        window.menuAction(&Scene::mnuStart)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(window.hasEnded(), 4 * Patience);
        const std::string record = text.str();
        const std::size_t closing = record.rfind("\nclose-at-box\nwait ");
        QVERIFY2(closing != std::string::npos && record.find('\n', closing + 19) == record.size() - 1, record.c_str());
        std::istringstream script(record);
        std::ostringstream out, err;
        const replay::Result result = replay::runScriptFile("-", script, out, err);
        QCOMPARE(result.exitStatus, 0);
        QVERIFY2(out.str().ends_with("\"title\": \"Muahahahaa\"}}\n{\"end\": {\"t\": " +
                                     std::to_string(window.game().virtualNow()) + "}}\n"),
                 out.str().c_str());
        QTemporaryDir dir;
        const QString shot = dir.filePath("replay.png");
        QVERIFY(result.finalScene && saveScreenshot(*result.finalScene, shot.toStdString()));
        QCOMPARE(QImage(shot).convertToFormat(QImage::Format_RGB32), lastFrame);
    }

    // Fifty billion stray countdown ticks at once, minutes of work: the window plays them in
    // slices and its close button still ends it long before they are done.
    void aWatchedBurstOfTicksLeavesTheCloseButtonWorking()
    {
        std::string burst = "menu mnuStart\ntick Timer2 1\nmenu mnuRestart\ntick Timer2 4\ntick Timer1 100000\n"
                            "menu mnuStart\n";
        for (int n = 0; n < 50; ++n)
            burst += "tick Timer2 1000000000\n";
        ScriptError error;
        std::optional<ReplayScript> script = parseScript(burst, error);
        QVERIFY(script);
        MainWindow window(std::move(*script));
        std::vector<BoxCall> boxes;
        recordBoxes(window, boxes);
        window.show();
        QTRY_COMPARE_WITH_TIMEOUT(window.form().CountdownStep, std::int16_t{32767}, Patience);
        QCOMPARE(boxes.size(), std::size_t{1});
        QSignalSpy ended(&window, &MainWindow::ended);
        QTimer::singleShot(0, &window, [&window] { window.close(); });
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, Patience);
    }

    void aRecordedGameReplaysToTheSameState()
    {
        std::ostringstream text;
        Recorder recorder(text);
        MainWindow window(&recorder);
        window.show();
        std::vector<BoxCall> calls;
        recordBoxes(window, calls);
        window.menuAction(&Scene::mnuHow)->trigger();
        window.menuAction(&Scene::mnuStart)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(window.form().Timer1.Enabled, Patience);
        for (const Qt::Key key : {Qt::Key_Left, Qt::Key_Left, Qt::Key_Right, Qt::Key_Space, Qt::Key_Left}) {
            QTest::qWait(70);
            QTest::keyClick(&window, key);
        }
        window.menuAction(&Scene::mnuRestart)->trigger();
        window.menuAction(&Scene::mnuStart)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(window.form().lblReady.Caption, std::string("Set"), Patience);
        QTest::keyClick(&window, Qt::Key_Right);

        QCOMPARE(replayedDump(text.str(), window.game().virtualNow()), dumpOf(window));

        QVERIFY(window.close());
        std::istringstream closed(text.str());
        std::ostringstream closedOut, err;
        replay::runScriptFile("-", closed, closedOut, err);
        QVERIFY(closedOut.str().ends_with("{\"end\": {\"t\": " + std::to_string(window.game().virtualNow()) + "}}\n"));
    }

    void aFloodOfHeldKeysKeepsTheRoadWholeAndReplaysExactly()
    {
        std::ostringstream text;
        Recorder recorder(text);
        MainWindow window(&recorder);
        std::vector<BoxCall> calls;
        recordBoxes(window, calls);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.menuAction(&Scene::mnuStart)->trigger(); // the game starts as the record will show it
        QTRY_VERIFY_WITH_TIMEOUT(window.form().Timer1.Enabled, Patience);
        Veskara& form = window.form();
        for (int press = 0; press < 3000; ++press) {
            const Qt::Key key = press % 40 < 23 ? Qt::Key_Left : Qt::Key_Right;
            QKeyEvent repeated(QEvent::KeyPress, key, Qt::NoModifier, QString(), press % 40 != 0);
            QApplication::sendEvent(window.windowHandle(), &repeated);
            if (press % 100 == 0)
                QTest::qWait(1); // let ticks fall between the presses
            QCOMPARE(form.LeftEdge + form.RightEdge, 29);
            QCOMPARE(form.Steer, std::int16_t(25 * (form.LeftEdge - 15) / 2));
        }
        QCOMPARE(replayedDump(text.str(), window.game().virtualNow()), dumpOf(window));
    }

    void keyCodesFollowTheDesktopVirtualKeys_data()
    {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<int>("code");
        const std::pair<int, int> rows[] = {
            {Qt::Key_Left, 37},   {Qt::Key_Up, 38},        {Qt::Key_Right, 39},  {Qt::Key_Down, 40},
            {Qt::Key_A, 65},      {Qt::Key_Z, 90},         {Qt::Key_0, 48},      {Qt::Key_9, 57},
            {Qt::Key_Space, 32},  {Qt::Key_Return, 13},    {Qt::Key_Enter, 13},  {Qt::Key_Escape, 27},
            {Qt::Key_F1, 112},    {Qt::Key_F12, 123},      {Qt::Key_Tab, 9},     {Qt::Key_Shift, 16},
            {Qt::Key_Delete, 46}, {Qt::Key_MediaPlay, -1}, {Qt::Key_unknown, -1}};
        for (const auto& [qtKey, code] : rows)
            QTest::addRow("%s", QKeySequence(qtKey).toString().toUtf8().constData()) << qtKey << code;
    }

    void keyCodesFollowTheDesktopVirtualKeys()
    {
        QFETCH(int, qtKey);
        QFETCH(int, code);
        QCOMPARE(formKeyCode(qtKey).value_or(-1), code);
    }

    // A recording: a signal asking the program to stop closes the record on the event loop, so
    // it replays to the state the window was in; until then checkpoints keep it nearly whole.
    void aStopSignalClosesTheRecordWhereTheGameStands_data()
    {
        QTest::addColumn<int>("number");
        QTest::addRow("SIGTERM") << SIGTERM;
        QTest::addRow("SIGHUP") << SIGHUP;
    }

    void aStopSignalClosesTheRecordWhereTheGameStands()
    {
        QFETCH(int, number);
        QTemporaryDir dir;
        const std::string path = (dir.path() + "/game.txt").toStdString();
        writeFile(path, "an earlier game\n");
        std::string error;
        const std::unique_ptr<Recorder> recorder = Recorder::openFile(path, error);
        QVERIFY2(recorder, error.c_str());
        QCOMPARE(readFile(path), std::string("an earlier game\n")); // untouched until the game is up
        MainWindow window(recorder.get());
        std::vector<BoxCall> calls;
        recordBoxes(window, calls);
        QVERIFY(recorder->start());
        window.menuAction(&Scene::mnuStart)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(readFile(path).find("\nwait ") != std::string::npos, Patience); // a checkpoint
        int signalled = 0;
        StopSignals stop([&](int caught) {
            signalled = caught;
            window.endFromOutside();
        });
        ::raise(number);
        QTRY_VERIFY_WITH_TIMEOUT(window.hasEnded(), Patience);
        QCOMPARE(signalled, number);
        const std::string record = readFile(path);
        std::istringstream script(record + "dump\n");
        std::ostringstream out, err;
        QCOMPARE(replay::runScriptFile("-", script, out, err).exitStatus, 0);
        const std::string all = out.str();
        QCOMPARE(all.substr(all.rfind('\n', all.size() - 2) + 1), dumpOf(window));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"game.txt"});
    }

    // A recording: a disk that fills stops the record at its last whole line; the game goes on.
    void aFullDiskCutsTheRecordBackToItsLastWholeLine()
    {
        QTemporaryDir dir;
        const std::string path = (dir.path() + "/game.txt").toStdString();
        std::string error;
        const std::unique_ptr<Recorder> recorder = Recorder::openFile(path, error);
        QVERIFY(recorder && recorder->start());
        recorder->write("menu mnuStart\n");
        const std::string whole = readFile(path);
        // The file may grow by a few bytes only, as on a disk with that little room left.
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = saved;
        tight.rlim_cur = whole.size() + 5;
        ::setrlimit(RLIMIT_FSIZE, &tight);
        const std::string said = capturedStderr([&] {
            recorder->write("wait 600\nkey 37 0\n");
            recorder->write("wait 100\nkey 39 0\n");
        });
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!recorder->good());
        QCOMPARE(readFile(path), whole);
        QCOMPARE(said, "farvane: cannot write " + path + ": File too large; the game goes on unrecorded\n");
    }

    void theShiftMaskIsShiftOneCtrlTwoAltFour()
    {
        QCOMPARE(formShiftMask(Qt::NoModifier), std::int16_t(0));
        QCOMPARE(formShiftMask(Qt::ShiftModifier), std::int16_t(1));
        QCOMPARE(formShiftMask(Qt::ControlModifier | Qt::AltModifier), std::int16_t(6));
        QCOMPARE(formShiftMask(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::KeypadModifier),
                 std::int16_t(7));
    }

    void theRecorderWritesTheHeadingAndFailsAtOnceOnAFullFile()
    {
        std::ostringstream text;
        Recorder recorder(text);
        recorder.write("wait 600\nclose\n");
        QCOMPARE(text.str(), std::string(ScriptWriter::heading()) + "\nwait 600\nclose\n");

        // A device is no record: refused at once, not silently in the middle of a game.
        std::string error;
        QVERIFY(Recorder::openFile("/dev/full", error) == nullptr);
        QCOMPARE(error, std::string("cannot write /dev/full: is a device, not a regular file"));

        // A record closed before its game came up (the display went away) leaves nothing behind.
        QTemporaryDir dir;
        const std::unique_ptr<Recorder> early = Recorder::openFile((dir.path() + "/game.txt").toStdString(), error);
        QVERIFY(early);
        early->close();
        QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    void runWindowRefusesAnUnwritableRecordAndAMissingDisplay()
    {
        int argc = 1;
        char name[] = "farvane";
        char* argv[] = {name, nullptr};
        std::ostringstream err;
        std::streambuf* saved = std::cerr.rdbuf(err.rdbuf());
        const int badRecord = runWindow(argc, argv, "/nonexistent-dir/game.txt");
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM"), display = qgetenv("DISPLAY"),
                         wayland = qgetenv("WAYLAND_DISPLAY");
        qunsetenv("QT_QPA_PLATFORM");
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        const int noDisplay = runWindow(argc, argv, "");
        qputenv("QT_QPA_PLATFORM", platform);
        if (!display.isEmpty())
            qputenv("DISPLAY", display);
        if (!wayland.isEmpty())
            qputenv("WAYLAND_DISPLAY", wayland);
        std::cerr.rdbuf(saved);
        QCOMPARE(badRecord, 2);
        QVERIFY(err.str().starts_with("farvane: cannot write /nonexistent-dir/game.txt: No such file or directory\n"));
        QCOMPARE(noDisplay, 1);
        QVERIFY(err.str().find("farvane: no display found") != std::string::npos);
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
