// The painter's pixels: road edges, outlines, joining lines, labels, stacking and high-DPI output.
#include <algorithm>
#include <climits>
#include <vector>
#include <functional>
#include <iostream>
#include <sstream>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include "cli/screenshot.h"
#include "tests/desktop/stderr.h"
#include "picture/raster.h"
#include "playfield/scene.h"

using namespace farvane;

namespace {

// The shared rasterizer's frame as an image, the way the window shows it.
QImage renderScene(const Scene& scene, qreal devicePixelRatio = 1.0, PixelOrder order = PixelOrder::Argb32)
{
    FrameBuffer frame(devicePixelRatio, order);
    rasterize(scene, frame);
    QImage image(reinterpret_cast<const uchar*>(frame.pixels()), frame.width(), frame.height(),
                 static_cast<qsizetype>(frame.stride()) * 4,
                 order == PixelOrder::Argb32 ? QImage::Format_RGB32 : QImage::Format_RGBA8888);
    image = image.convertToFormat(QImage::Format_RGB32).copy(); // a copy: the frame goes now
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

const QRgb TealRgb = qRgb(0, 192, 192);
const QRgb GreenRgb = qRgb(0, 192, 0);
const QRgb DarkRedRgb = qRgb(192, 0, 0);
const QRgb BrownRgb = qRgb(128, 64, 0);
const QRgb BlackRgb = qRgb(0, 0, 0);
const QRgb WhiteRgb = qRgb(255, 255, 255);

const QString HelpText = "Use the Left and Right arrow keys to avoid running into the falling obstacles.";

// The label boxes in pixels, as their twips give them.
const QRect ShieldBox(QPoint(8, 8), QPoint(64, 24));
const QRect ScoreBox(QPoint(264, 8), QPoint(432, 24));
const QRect High1Box(QPoint(264, 32), QPoint(344, 48));
const QRect HighBox(QPoint(344, 32), QPoint(432, 48));
const QRect ReadyBox(QPoint(104, 176), QPoint(344, 312));

QRgb at(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }

// Text is drawn in white with grey antialiased edges: any grey other than black.
bool isTextGrey(QRgb pixel) { return qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel) && qRed(pixel) > 0; }

int count(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& wanted)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += wanted(at(image, x, y)) ? 1 : 0;
    return n;
}

int countColour(const QImage& image, QRgb colour)
{
    return count(image, image.rect(), [&](QRgb p) { return p == colour; });
}

QString describe(QRgb pixel) { return QString::asprintf("#%06x", pixel & 0xFFFFFFu); }

#define COMPARE_PIXEL(image, x, y, colour)                                                                            \
    QVERIFY2(at(image, x, y) == (colour),                                                                             \
             qPrintable(QString("pixel (%1, %2) is %3, expected %4").arg(x).arg(y).arg(describe(at(image, x, y)),     \
                                                                                     describe(colour))))

} // namespace

class PainterTest : public QObject {
    Q_OBJECT

private slots:
    // --- The start scene ---

    void onlyTheStartRoadEdgesShowAndReachTheirEnds()
    {
        const QImage image = renderScene(Scene());
        QCOMPARE(image.size(), QSize(441, 425));
        // Border(14) from its horizon point (256, 88) to the last column, Border(15) from (192, 88)
        // to the first column, both at y = 208.
        COMPARE_PIXEL(image, 256, 88, GreenRgb);
        COMPARE_PIXEL(image, 440, 208, GreenRgb);
        COMPARE_PIXEL(image, 192, 88, GreenRgb);
        COMPARE_PIXEL(image, 0, 208, GreenRgb);
        // One pixel per column along each edge, both ends included, and no other edge shown.
        QCOMPARE(countColour(image, GreenRgb), (440 - 256 + 1) + (192 - 0 + 1));
    }

    void playerFigureJoiningLinesMeetTheRectanglesCornerPixels()
    {
        const QImage image = renderScene(Scene());
        // Player1's corners, its right and bottom sides one pixel inside Left + Width and Top + Height.
        for (const QPoint corner : {QPoint(192, 384), QPoint(256, 384), QPoint(192, 408), QPoint(256, 408)})
            COMPARE_PIXEL(image, corner.x(), corner.y(), TealRgb);
        COMPARE_PIXEL(image, 257, 396, BlackRgb);
        COMPARE_PIXEL(image, 224, 409, BlackRgb);
        // Player6's corners.
        for (const QPoint corner : {QPoint(200, 376), QPoint(248, 376), QPoint(200, 392), QPoint(248, 392)})
            COMPARE_PIXEL(image, corner.x(), corner.y(), TealRgb);
        // Player4 and Player5 run diagonally from Player1's top corners to Player6's.
        for (int k = 0; k <= 8; ++k) {
            COMPARE_PIXEL(image, 256 - k, 384 - k, TealRgb);
            COMPARE_PIXEL(image, 192 + k, 384 - k, TealRgb);
        }
        // Player3 and Player2 climb two rows a column, from the bottom corners to the cab's.
        for (int k = 0; k <= 16; ++k) {
            COMPARE_PIXEL(image, 192 + (k + 1) / 2, 408 - k, TealRgb);
            COMPARE_PIXEL(image, 256 - (k + 1) / 2, 408 - k, TealRgb);
        }
    }

    void threeShieldIconsShowAsWireFrameCubes()
    {
        const QImage image = renderScene(Scene());
        for (int n = 0; n < 3; ++n) {
            const int dx = 32 * n;
            // Shieldb(n) from (72, 8) to (88, 24), Shielda(n) from (80, 16) to (96, 32).
            for (const QPoint corner : {QPoint(72, 8), QPoint(88, 8), QPoint(72, 24), QPoint(88, 24), QPoint(80, 16),
                                        QPoint(96, 16), QPoint(80, 32), QPoint(96, 32)})
                COMPARE_PIXEL(image, corner.x() + dx, corner.y(), TealRgb);
            for (int k = 0; k <= 8; ++k) {
                COMPARE_PIXEL(image, 72 + dx + k, 8 + k, TealRgb);  // Shieldf
                COMPARE_PIXEL(image, 88 + dx + k, 8 + k, TealRgb);  // Shielde
                COMPARE_PIXEL(image, 72 + dx + k, 24 + k, TealRgb); // Shieldc
                COMPARE_PIXEL(image, 88 + dx + k, 24 + k, TealRgb); // Shieldd
            }
            COMPARE_PIXEL(image, 97 + dx, 24, BlackRgb);
        }
        // 3 icons of two 17-pixel squares (64 pixels each, 2 shared) and four 7-pixel inner
        // diagonals (the ends lie on the squares).
        QCOMPARE(countColour(image, TealRgb) - count(image, QRect(180, 360, 90, 60), [](QRgb p) { return p == TealRgb; }),
                 3 * (64 + 64 - 2 + 4 * 7));
    }

    void startCaptionsAreWhiteInsideTheirBoxesAndNothingElseIsText()
    {
        const QImage image = renderScene(Scene());
        for (const QRect& box : {ShieldBox, ScoreBox, High1Box}) {
            const int white = count(image, box, [](QRgb p) { return isTextGrey(p) && qRed(p) >= 160; });
            QVERIFY2(white > 8, qPrintable(QString("only %1 bright text pixels in the box at %2, %3")
                                                .arg(white)
                                                .arg(box.left())
                                                .arg(box.top())));
        }
        // "0" stays in the score's first cell.
        QCOMPARE(count(image, ScoreBox.adjusted(10, 1, -1, -1), isTextGrey), 0);
        QImage outside = image;
        for (const QRect& box : {ShieldBox, ScoreBox, High1Box, HighBox})
            for (int y = box.top(); y <= box.bottom(); ++y)
                for (int x = box.left(); x <= box.right(); ++x)
                    outside.setPixel(x, y, BlackRgb);
        QCOMPARE(count(outside, outside.rect(), isTextGrey), 0);
    }

    void noObstacleShowsAtStart()
    {
        const QImage image = renderScene(Scene());
        QCOMPARE(countColour(image, DarkRedRgb), 0);
        QCOMPARE(countColour(image, BrownRgb), 0);
    }

    // --- Rectangles and stacking ---

    void rectangleOutlineLiesOnLeftAndLeftPlusWidthMinus15()
    {
        Scene scene;
        scene.BigObstacle[0].Visible = true; // Left 3000, Top 1080, 255 by 495: pixels 200..216, 72..104
        const QImage image = renderScene(scene);
        COMPARE_PIXEL(image, 200, 90, BrownRgb);
        COMPARE_PIXEL(image, 216, 90, BrownRgb);
        COMPARE_PIXEL(image, 217, 90, BlackRgb);
        COMPARE_PIXEL(image, 208, 72, BrownRgb);
        COMPARE_PIXEL(image, 208, 104, BrownRgb);
        COMPARE_PIXEL(image, 208, 105, BlackRgb);
        COMPARE_PIXEL(image, 201, 90, BlackRgb); // one pixel wide, not filled
        QCOMPARE(countColour(image, BrownRgb), 2 * 17 + 2 * (33 - 2));
    }

    void outlinePositionsRoundDownAlsoLeftOfAndAboveTheWindow()
    {
        Scene scene;
        scene.BigObstacle[0].Visible = true;
        scene.BigObstacle[0].Left = -10; // pixel -1: the left side lies outside the window
        scene.BigObstacle[0].Top = -10;  // and so does the top side
        const QImage image = renderScene(scene);
        COMPARE_PIXEL(image, 0, 10, BlackRgb);
        COMPARE_PIXEL(image, 5, 0, BlackRgb);
        COMPARE_PIXEL(image, 15, 10, BrownRgb); // (-10 + 255) twips lies in pixel 16; 15 is the last
        COMPARE_PIXEL(image, 5, 31, BrownRgb);
    }

    void farAwayObstaclesDrawNothing()
    {
        Scene scene;
        scene.BigObstacle[0].Visible = true;
        scene.BigObstacle[0].Left = 3.0e9f;
        scene.BigObstacle[1].Visible = true;
        scene.BigObstacle[1].Left = -3.0e9f;
        scene.BigObstacle[1].Width = 1.0e9f;
        QCOMPARE(countColour(renderScene(scene), BrownRgb), 0);
    }

    void smallObstaclesHaveATwoPixelOutlineInsideTheirBox()
    {
        Scene scene;
        scene.Obstacle[0].Visible = true; // Left 2880, Top 1080: pixels 192..208, 72..104
        const QImage image = renderScene(scene);
        COMPARE_PIXEL(image, 192, 90, DarkRedRgb);
        COMPARE_PIXEL(image, 193, 90, DarkRedRgb);
        COMPARE_PIXEL(image, 194, 90, BlackRgb);
        COMPARE_PIXEL(image, 208, 90, DarkRedRgb);
        COMPARE_PIXEL(image, 207, 90, DarkRedRgb);
        COMPARE_PIXEL(image, 206, 90, BlackRgb);
        COMPARE_PIXEL(image, 209, 90, BlackRgb);
        COMPARE_PIXEL(image, 200, 73, DarkRedRgb);
        COMPARE_PIXEL(image, 200, 74, BlackRgb);
        COMPARE_PIXEL(image, 200, 103, DarkRedRgb);
    }

    void bigObstacleIsDrawnOverASmallOne()
    {
        Scene scene;
        scene.Obstacle[0].Visible = true;
        scene.BigObstacle[1].Visible = true;
        scene.BigObstacle[1].Left = scene.Obstacle[0].Left;
        const QImage image = renderScene(scene);
        COMPARE_PIXEL(image, 192, 90, BrownRgb);
        COMPARE_PIXEL(image, 193, 90, DarkRedRgb); // the small one's inner ring shows inside
        COMPARE_PIXEL(image, 208, 104, BrownRgb);
    }

    void smallObstacleLiesUnderTheMessageTextButShowsAroundIt()
    {
        Scene scene;
        scene.lblReady.Caption = "Ready"; // cells 12..16 of 30: pixels 200..239, rows 176..191
        scene.Obstacle[0].Visible = true;
        scene.Obstacle[0].Left = 2955; // pixels 197..213
        scene.Obstacle[0].Top = 2640;  // rows 176..208: the top ring crosses the text
        const QImage image = renderScene(scene);
        const QRect crossing(QPoint(200, 176), QPoint(213, 191));
        QVERIFY(count(image, crossing, [](QRgb p) { return p == WhiteRgb; }) > 0);
        QVERIFY(count(image, crossing, [](QRgb p) { return p == DarkRedRgb; }) > 0);
        COMPARE_PIXEL(image, 197, 176, DarkRedRgb);
        COMPARE_PIXEL(image, 198, 200, DarkRedRgb);
        // The label is transparent: the road edge behind it still shows.
        scene.lblReady.Caption = HelpText.toStdString();
        QCOMPARE(countColour(renderScene(scene), GreenRgb), countColour(renderScene(Scene()), GreenRgb));
    }

    // --- Labels ---

    void highScoreBackgroundIsBlackUnderEveryDesktopTheme()
    {
        Scene scene;
        QCOMPARE(scene.lblHigh.BackColor, SystemMenuText);
        scene.lblHigh.Caption = "1234";
        // An obstacle below the label: an opaque black background hides it.
        scene.Obstacle[0].Visible = true;
        scene.Obstacle[0].Left = 5160;
        scene.Obstacle[0].Top = 480;
        const QImage image = renderScene(scene);
        COMPARE_PIXEL(image, 380, 45, BlackRgb);
        QCOMPARE(count(image, HighBox, [](QRgb p) { return p == DarkRedRgb; }), 0);
        QVERIFY(count(image, HighBox, [](QRgb p) { return p == WhiteRgb; }) > 10);
    }

    void opaqueLabelsFillTheirBoxWithTheirBackColour()
    {
        Scene scene;
        scene.lblShield.BackColor = 0x00FF0000; // blue
        const QImage image = renderScene(scene);
        COMPARE_PIXEL(image, 8, 24, qRgb(0, 0, 255));
        COMPARE_PIXEL(image, 64, 8, qRgb(0, 0, 255));
        COMPARE_PIXEL(image, 65, 8, BlackRgb);
    }

    void framedLabelsGetAThinGreyFrameOnTheirBox()
    {
        const QImage image = renderScene(Scene());
        const QRgb frame = at(image, ScoreBox.left(), ScoreBox.top());
        QVERIFY(isTextGrey(frame) && frame != WhiteRgb);
        COMPARE_PIXEL(image, ScoreBox.right(), ScoreBox.bottom(), frame);
        COMPARE_PIXEL(image, ScoreBox.right() + 1, ScoreBox.bottom(), BlackRgb);
        COMPARE_PIXEL(image, ScoreBox.left() + 100, ScoreBox.top() + 1, BlackRgb);
        COMPARE_PIXEL(image, HighBox.right(), HighBox.top(), frame);
    }

    void centredCaptionsSitOnWholeCells()
    {
        Scene scene;
        scene.lblReady.Caption = "Go!"; // (30 - 3) / 2 = 13 cells in: pixels 208..231
        const QImage image = renderScene(scene);
        const QRect band(QPoint(ReadyBox.left(), 176), QPoint(ReadyBox.right(), 191));
        QCOMPARE(count(image, band, isTextGrey), count(image, QRect(QPoint(208, 176), QPoint(231, 191)), isTextGrey));
        QVERIFY(count(image, QRect(QPoint(208, 176), QPoint(215, 191)), isTextGrey) > 0);
    }

    void helpTextWrapsAtSpacesIntoThreeCentredLines()
    {
        Scene scene;
        scene.lblReady.Caption = HelpText.toStdString();
        const QImage image = renderScene(scene);
        // "Use the Left and Right arrow" (28 cells), "keys to avoid running into the" (30) and
        // "falling obstacles." (18), each centred in the label's 30 cells; no fourth line.
        const struct {
            int left;
            int right;
        } cells[] = {{112, 335}, {104, 343}, {152, 295}, {0, -1}};
        for (int line = 0; line < 4; ++line) {
            int left = image.width();
            int right = -1;
            for (int y = 176 + 16 * line; y < 192 + 16 * line; ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (isTextGrey(at(image, x, y))) {
                        left = std::min(left, x);
                        right = std::max(right, x);
                    }
            const auto& expected = cells[line];
            if (expected.right < 0) {
                QVERIFY2(right < 0, "a fourth line of text");
                continue;
            }
            // The ink lies inside the line's cells and reaches into its first and last cell.
            QVERIFY2(left >= expected.left && left < expected.left + CellWidthTolerance && right <= expected.right &&
                         right > expected.right - CellWidthTolerance,
                     qPrintable(QString("line %1 spans %2..%3, its cells %4..%5")
                                    .arg(line)
                                    .arg(left)
                                    .arg(right)
                                    .arg(expected.left)
                                    .arg(expected.right)));
        }
    }

    // A clipped rasterize leaves the pixels inside the clip exactly as a full one does, the rest
    // untouched, at every ratio and in both pixel orders.
    void aClippedFrameMatchesTheFullOneInsideTheClip()
    {
        Scene scene;
        scene.Obstacle[2].Visible = true;
        scene.lblReady.Caption = HelpText.toStdString();
        const PixelRect clips[] = {{0, 0, 441, 425}, {100, 170, 60, 33}, {-5, -5, 20, 500}, {263, 7, 1, 1}};
        for (const double ratio : {1.0, 1.5, 2.0}) {
            for (const PixelOrder order : {PixelOrder::Argb32, PixelOrder::Rgba8888}) {
                FrameBuffer full(ratio, order);
                rasterize(scene, full);
                for (const PixelRect& clip : clips) {
                    FrameBuffer part(ratio, order);
                    std::fill_n(part.pixels(), part.stride() * part.height(), 0x12345678u);
                    rasterize(scene, part, clip);
                    const PixelRect device = part.deviceRect(clip);
                    const QRect inside = QRect(device.x, device.y, device.width, device.height)
                                             .intersected(QRect(0, 0, part.width(), part.height()));
                    for (int y = 0; y < part.height(); ++y)
                        for (int x = 0; x < part.width(); ++x) {
                            const std::uint32_t got = part.pixels()[y * part.stride() + x];
                            const std::uint32_t want =
                                inside.contains(x, y) ? full.pixels()[y * full.stride() + x] : 0x12345678u;
                            if (got != want)
                                QFAIL(qPrintable(QString("ratio %1, clip at (%2, %3): device pixel (%4, %5) wrong")
                                                     .arg(ratio).arg(clip.x).arg(clip.y).arg(x).arg(y)));
                        }
                }
            }
            QCOMPARE(renderScene(scene, ratio, PixelOrder::Rgba8888), renderScene(scene, ratio));
        }
    }

    // --- High DPI ---

    void ratioTwoDoublesEveryPixelCrisplyAndRedrawsTheText()
    {
        Scene scene;
        scene.Obstacle[2].Visible = true;
        scene.lblReady.Caption = HelpText.toStdString();
        const QImage single = renderScene(scene, 1);
        const QImage twice = renderScene(scene, 2);
        QCOMPARE(twice.size(), QSize(882, 850));
        QCOMPARE(twice.devicePixelRatio(), 2.0);
        const QRect labels[] = {ShieldBox, ScoreBox, High1Box, HighBox, ReadyBox};
        for (int y = 0; y < 425; ++y)
            for (int x = 0; x < 441; ++x) {
                if (std::any_of(std::begin(labels), std::end(labels), [&](const QRect& r) { return r.contains(x, y); }))
                    continue;
                const QRgb expected = at(single, x, y);
                for (const QPoint d : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)})
                    if (at(twice, 2 * x + d.x(), 2 * y + d.y()) != expected)
                        QFAIL(qPrintable(QString("device pixel (%1, %2) differs from logical (%3, %4)")
                                             .arg(2 * x + d.x())
                                             .arg(2 * y + d.y())
                                             .arg(x)
                                             .arg(y)));
            }
        // The text is drawn at the device's resolution, not blown up from single pixels.
        int splitBlocks = 0;
        for (int y = ShieldBox.top(); y <= ShieldBox.bottom(); ++y)
            for (int x = ShieldBox.left(); x <= ShieldBox.right(); ++x) {
                const QRgb p = at(twice, 2 * x, 2 * y);
                splitBlocks += (at(twice, 2 * x + 1, 2 * y) != p || at(twice, 2 * x, 2 * y + 1) != p ||
                                at(twice, 2 * x + 1, 2 * y + 1) != p);
            }
        QVERIFY(splitBlocks > 20);
    }

    // At 1.5 every logical pixel is the same 2 by 2 block: each part of the vehicle and of a shield
    // icon, drawn alone in a colour of its own, is nowhere thinner than 2 device pixels across.
    void ratioOneAndAHalfDrawsEveryOutlineAndLineAtOneWeight()
    {
        const std::vector<std::function<void(Scene&, bool)>> parts = {
            [](Scene& s, bool on) { s.Player1.Visible = on; }, [](Scene& s, bool on) { s.Player2.Visible = on; },
            [](Scene& s, bool on) { s.Player3.Visible = on; }, [](Scene& s, bool on) { s.Player4.Visible = on; },
            [](Scene& s, bool on) { s.Player5.Visible = on; }, [](Scene& s, bool on) { s.Player6.Visible = on; },
            [](Scene& s, bool on) { s.Shielda[0].Visible = on; }, [](Scene& s, bool on) { s.Shieldb[0].Visible = on; },
            [](Scene& s, bool on) { s.Shieldc[0].Visible = on; }, [](Scene& s, bool on) { s.Shieldd[0].Visible = on; },
            [](Scene& s, bool on) { s.Shielde[0].Visible = on; }, [](Scene& s, bool on) { s.Shieldf[0].Visible = on; },
        };
        for (std::size_t n = 0; n < parts.size(); ++n) {
            Scene scene;
            for (const auto& show : parts)
                show(scene, false);
            parts[n](scene, true);
            const QImage image = renderScene(scene, 1.5);
            // The vehicle and the first shield icon lie inside these device pixels, nothing else teal.
            const QRect area = n < 6 ? QRect(280, 550, 120, 75) : QRect(100, 0, 52, 60);
            int thinnest = INT_MAX, pixels = 0;
            auto run = [&](int length) {
                if (length > 0)
                    thinnest = std::min(thinnest, length);
            };
            for (int y = area.top(); y <= area.bottom(); ++y) {
                int length = 0;
                for (int x = area.left(); x <= area.right() + 1; ++x) {
                    const bool ink = x <= area.right() && at(image, x, y) == TealRgb;
                    pixels += ink;
                    length = ink ? length + 1 : (run(length), 0);
                }
            }
            for (int x = area.left(); x <= area.right(); ++x) {
                int length = 0;
                for (int y = area.top(); y <= area.bottom() + 1; ++y) {
                    const bool ink = y <= area.bottom() && at(image, x, y) == TealRgb;
                    length = ink ? length + 1 : (run(length), 0);
                }
            }
            QVERIFY2(pixels > 0 && thinnest == 2, qPrintable(QString("part %1: thinnest stroke %2").arg(n).arg(thinnest)));
        }
    }

    // --- Screenshots ---

    void screenshotWritesTheRenderedSceneAsPng()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("start.png");
        QVERIFY(saveScreenshot(Scene(), path.toStdString()));
        QImage saved(path, "PNG");
        QCOMPARE(saved.size(), QSize(441, 425));
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), renderScene(Scene()).convertToFormat(QImage::Format_RGB32));
    }

    void screenshotThatCannotBeWrittenSaysWhyAndFails()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath("missing/start.png").toStdString();
        bool written = true;
        const std::string said = capturedStderr([&] { written = saveScreenshot(Scene(), path); });
        QVERIFY(!written);
        const std::string expected = "farvane: cannot write " + path + ": ";
        QVERIFY2(said.rfind(expected, 0) == 0, said.c_str());
        QVERIFY(said.size() > expected.size() + 1);
        QVERIFY(!QFile::exists(QString::fromStdString(path)));
    }

private:
    static constexpr int CellWidthTolerance = 8;
};

QTEST_MAIN(PainterTest)
#include "painter_test.moc"
