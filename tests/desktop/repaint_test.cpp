// The window repaints only what changed: after every frame of a played game, the pixels it shows
// equal a full redraw of the scene. Run at the screen's own ratio and again at ratios 2 and 1.5.
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QBackingStore>
#include <QImage>
#include <QPaintEvent>
#include <QRegion>
#include <QTest>

#include "desktop/mainwindow.h"
#include "picture/raster.h"

using namespace farvane;

namespace {

// Notes the region of every paint the scene view gets.
class PaintWatch : public QObject {
public:
    std::vector<QRegion> paints;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            paints.push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

qint64 area(const QRegion& region)
{
    qint64 sum = 0;
    for (const QRect& rect : region)
        sum += qint64(rect.width()) * rect.height();
    return sum;
}

// The scene's full redraw, as an image.
QImage fullRedraw(const Scene& scene, double ratio)
{
    FrameBuffer frame(ratio);
    rasterize(scene, frame);
    return QImage(reinterpret_cast<const uchar*>(frame.pixels()), frame.width(), frame.height(),
                  static_cast<qsizetype>(frame.stride()) * 4, QImage::Format_RGB32)
        .copy();
}

} // namespace

class RepaintTest : public QObject {
    Q_OBJECT

private slots:
    void everyFrameShowsWhatAFullRedrawDraws()
    {
        MainWindow window;
        qint64 realNow = 0;
        window.setRealTimeSource([&] { return realNow; }); // ticks run only when the test says
        int boxes = 0;
        window.host().setBoxRecorder([&](std::string_view, std::string_view) { ++boxes; });
        Veskara& form = window.form();
        QWidget* view = window.sceneView();
        PaintWatch watch;
        view->installEventFilter(&watch);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const double ratio = view->devicePixelRatioF();
        const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR");
        QCOMPARE(ratio, scale.isEmpty() ? 1.0 : scale.toDouble());

        int frames = 0;
        auto check = [&](const char* step) {
            for (int k = 0; k < 3; ++k) {
                QCoreApplication::sendPostedEvents();
                QCoreApplication::processEvents();
            }
            const QPoint at = view->mapTo(&window, QPoint(0, 0));
            // At a fractional ratio the view spans a fraction of a device pixel past its last whole
            // one, which the window cannot show: only the whole device pixels are compared.
            const QImage expected =
                fullRedraw(form, ratio).copy(0, 0, int(ClientWidth * ratio), int(ClientHeight * ratio));
            // What the window's backing store holds there: the pixels the last paints left.
            QPaintDevice* store = window.backingStore()->paintDevice();
            if (store->devType() != QInternal::Image)
                qFatal("the backing store is no image on this platform");
            const QImage shown =
                static_cast<QImage*>(store)
                    ->convertToFormat(QImage::Format_RGB32)
                    .copy(qRound(at.x() * ratio), qRound(at.y() * ratio), expected.width(), expected.height());
            ++frames;
            if (shown == expected)
                return true;
            for (int y = 0; y < expected.height(); ++y)
                for (int x = 0; x < expected.width(); ++x)
                    if (shown.pixel(x, y) != expected.pixel(x, y)) {
                        qWarning("%s (frame %d): device pixel (%d, %d) shows #%06x, a full redraw #%06x", step, frames,
                                 x, y, shown.pixel(x, y) & 0xFFFFFFu, expected.pixel(x, y) & 0xFFFFFFu);
                        return false;
                    }
            return false;
        };
        auto press = [&](Qt::Key key, qint64 ms = 0) {
            realNow += ms; // the ticks due by then run first
            QTest::keyClick(&window, key);
        };
        auto choose = [&](MenuEntry Scene::*entry) { window.menuAction(entry)->trigger(); };

        QVERIFY(check("first frame"));
        choose(&Scene::mnuHow); // the longest text, wrapped in three lines
        QVERIFY(check("How To Play"));
        choose(&Scene::mnuAbout);
        QVERIFY(check("About"));

        for (int game = 0; game < 2; ++game) {
            choose(&Scene::mnuStart);
            QVERIFY(check("Start"));
            for (int word = 0; word < 4; ++word) {
                press(Qt::Key_Up, 600);
                QVERIFY(check("countdown"));
            }
            QVERIFY(form.Timer1.Enabled);
            // Nothing changed, nothing is painted.
            const std::size_t paints = watch.paints.size();
            press(Qt::Key_Up);
            QVERIFY(check("a key that changes nothing"));
            QCOMPARE(watch.paints.size(), paints);
            // A tick repaints the score and the obstacles, a small part of the client area (at a
            // whole ratio: a fractional one draws every frame whole).
            press(Qt::Key_Up, 50);
            QVERIFY(check("a tick"));
            QCOMPARE(watch.paints.size(), paints + 1);
            if (view->devicePixelRatioF() == std::floor(view->devicePixelRatioF()))
                QVERIFY(area(watch.paints.back()) < ClientWidth * ClientHeight / 4);

            // Steered play, then obstacles dropped on the vehicle until the game is lost.
            const int boxesBefore = boxes;
            for (int tick = 0; tick < 60 && boxes == boxesBefore; ++tick) {
                const Qt::Key key = tick % 9 < 3 ? Qt::Key_Left : tick % 9 < 5 ? Qt::Key_Right : Qt::Key_Up;
                if (tick >= 40 && tick % 4 == 0) {
                    form.Obstacle[std::size_t(tick / 4 % 4)].Left = form.Player1.Left;
                    form.Obstacle[std::size_t(tick / 4 % 4)].Top = form.Player1.Top - 300;
                    window.refresh();
                    QVERIFY(check("an obstacle moved onto the vehicle"));
                }
                press(key, 50);
                QVERIFY(check(key == Qt::Key_Up ? "a tick" : "a tick and a steering key"));
            }
            QVERIFY(boxes > boxesBefore); // two at once when two obstacles hit in the losing tick
            choose(&Scene::mnuRestart);   // the high score changes
            QVERIFY(check("Restart"));
        }

        qInfo("%d frames compared at ratio %g", frames, ratio);
    }
};

QTEST_MAIN(RepaintTest)
#include "repaint_test.moc"
