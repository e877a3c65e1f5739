// The game's icon: the embedded PNGs the window uses and the scalable icon drawn beside them.
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QTest>
#include <QXmlStreamReader>

#include <vector>

#include "desktop/icon.h"

namespace {

const QColor Teal(0x00, 0xC0, 0xC0);

bool isTeal(QRgb pixel) { return QColor::fromRgba(pixel) == Teal; }

// Smoothing a diagonal one way or the other may round a blended pixel differently by a step or two.
bool nearlyEqual(QRgb a, QRgb b)
{
    constexpr int Rounding = 4;
    return qAbs(qRed(a) - qRed(b)) <= Rounding && qAbs(qGreen(a) - qGreen(b)) <= Rounding &&
           qAbs(qBlue(a) - qBlue(b)) <= Rounding && qAbs(qAlpha(a) - qAlpha(b)) <= Rounding;
}

// The box around every pixel with any teal in it (full or blended into the black).
QRect figureBounds(const QImage& image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGreen(image.pixel(x, y)) > 0)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

QImage embedded(int size)
{
    return farvane::applicationIcon().pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class IconTest : public QObject {
    Q_OBJECT

private slots:
    void offersEachInstalledSizeExactly()
    {
        const QList<QSize> sizes = farvane::applicationIcon().availableSizes();
        QCOMPARE(sizes, (QList<QSize>{{48, 48}, {128, 128}, {256, 256}}));
        for (const int size : {48, 128, 256}) {
            const QImage image = embedded(size);
            QCOMPARE(image.size(), QSize(size, size));
        }
    }

    void drawsTheVehicleCentredAndFillingMostOfTheWidth_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {48, 128, 256})
            QTest::addRow("%d px", size) << size;
    }

    void drawsTheVehicleCentredAndFillingMostOfTheWidth()
    {
        QFETCH(int, size);
        const QImage image = embedded(size);
        const QRect figure = figureBounds(image);
        QVERIFY2(!figure.isEmpty(), "no teal at all");
        const int leftMargin = figure.left();
        const int rightMargin = size - 1 - figure.right();
        const int topMargin = figure.top();
        const int bottomMargin = size - 1 - figure.bottom();
        QVERIFY2(qAbs(leftMargin - rightMargin) <= 1,
                 qPrintable(QStringLiteral("margins %1 and %2").arg(leftMargin).arg(rightMargin)));
        QVERIFY2(qAbs(topMargin - bottomMargin) <= 1,
                 qPrintable(QStringLiteral("margins %1 and %2").arg(topMargin).arg(bottomMargin)));
        QVERIFY2(figure.width() >= size * 3 / 4 && figure.width() <= size * 9 / 10,
                 qPrintable(QStringLiteral("the vehicle is %1 of %2 px wide").arg(figure.width()).arg(size)));
        // The vehicle is twice as wide as it is high, as in the game.
        QVERIFY2(qAbs(figure.width() - 2 * figure.height()) <= figure.width() / 8,
                 qPrintable(QStringLiteral("%1 by %2").arg(figure.width()).arg(figure.height())));
    }

    void drawsTheVehicleMirrorSymmetric_data() { drawsTheVehicleCentredAndFillingMostOfTheWidth_data(); }

    void drawsTheVehicleMirrorSymmetric()
    {
        QFETCH(int, size);
        const QImage image = embedded(size);
        const QImage mirrored = image.mirrored(true, false);
        // Only the figure's rows: the background's rounded corners are smoothed unevenly.
        const QRect figure = figureBounds(image);
        for (int y = figure.top(); y <= figure.bottom(); ++y)
            for (int x = 0; x < size; ++x)
                if (!nearlyEqual(image.pixel(x, y), mirrored.pixel(x, y)))
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) %3 differs from its mirror %4")
                                         .arg(x)
                                         .arg(y)
                                         .arg(image.pixel(x, y), 8, 16)
                                         .arg(mirrored.pixel(x, y), 8, 16)));
    }

    // The body's outline runs along whole pixel rows and columns: pure teal, no blurred fringe.
    void drawsTheStraightEdgesInPureTealOnBlack_data() { drawsTheVehicleCentredAndFillingMostOfTheWidth_data(); }

    void drawsTheStraightEdgesInPureTealOnBlack()
    {
        QFETCH(int, size);
        const QImage image = embedded(size);
        const QRect figure = figureBounds(image);
        const int middle = size / 2;
        // Down the middle column: black, then the cab's top edge and the body's bottom edge in
        // full teal, with no partly teal pixel anywhere along the column.
        int tealRows = 0;
        for (int y = 0; y < size; ++y) {
            const QRgb pixel = image.pixel(middle, y);
            const bool black = pixel == qRgb(0, 0, 0);
            QVERIFY2(black || isTeal(pixel),
                     qPrintable(QStringLiteral("blurred pixel at row %1: %2").arg(y).arg(pixel, 8, 16)));
            tealRows += isTeal(pixel) ? 1 : 0;
        }
        QVERIFY(isTeal(image.pixel(middle, figure.top())));
        QVERIFY(isTeal(image.pixel(middle, figure.bottom())));
        QVERIFY2(tealRows >= 4, "the middle column crosses fewer than four teal edges' worth of rows");
        // The body's left side is a whole teal column from its top corner to its bottom corner.
        const int bottomRow = figure.bottom();
        int y = bottomRow;
        while (y > 0 && isTeal(image.pixel(figure.left(), y - 1)))
            --y;
        QVERIFY2(bottomRow - y >= figure.height() / 2,
                 qPrintable(QStringLiteral("the left side is only %1 px of teal").arg(bottomRow - y + 1)));
        // Inside the body, between cab and bottom edge, the background shows black.
        QCOMPARE(image.pixel(middle, figure.bottom() - figure.height() / 6), qRgb(0, 0, 0));
    }

    // Every size the icon theme gets, 16 px included, holds the whole vehicle, centred, with a
    // black margin on every side: none of it is cut off at the edge.
    void installedSizesHoldTheWholeVehicle_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
            QTest::addRow("%d px", size) << size;
    }

    void installedSizesHoldTheWholeVehicle()
    {
        QFETCH(int, size);
        const QImage image(QStringLiteral(FARVANE_ICON_DIR "/farvane-%1.png").arg(size));
        QCOMPARE(image.size(), QSize(size, size));
        const QRect figure = figureBounds(image);
        QVERIFY2(!figure.isEmpty(), "no teal at all");
        const int leftMargin = figure.left();
        const int rightMargin = size - 1 - figure.right();
        QVERIFY2(leftMargin >= 1 && rightMargin >= 1 && figure.top() >= 1 && figure.bottom() <= size - 2,
                 qPrintable(QStringLiteral("the vehicle spans %1,%2 to %3,%4")
                                .arg(figure.left())
                                .arg(figure.top())
                                .arg(figure.right())
                                .arg(figure.bottom())));
        QVERIFY2(qAbs(leftMargin - rightMargin) <= 1,
                 qPrintable(QStringLiteral("margins %1 and %2").arg(leftMargin).arg(rightMargin)));
        QVERIFY2(figure.width() >= size * 2 / 3,
                 qPrintable(QStringLiteral("the vehicle is %1 of %2 px wide").arg(figure.width()).arg(size)));
    }

    // The scalable icon carries the same figure as the largest PNG: every outline it names lies on
    // teal pixels of the 256 px image.
    void scalableIconMatchesTheLargestImage()
    {
        QFile file(QStringLiteral(FARVANE_ICON_DIR "/farvane.svg"));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        QXmlStreamReader svg(&file);
        std::vector<QRectF> outlines;
        QString stroke;
        bool sawViewBox = false;
        while (!svg.atEnd()) {
            if (svg.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QXmlStreamAttributes a = svg.attributes();
            if (svg.name() == QStringLiteral("svg"))
                sawViewBox = a.value(QStringLiteral("viewBox")) == QStringLiteral("0 0 256 256");
            if (svg.name() == QStringLiteral("g"))
                stroke = a.value(QStringLiteral("stroke")).toString();
            if (svg.name() == QStringLiteral("rect") && !stroke.isEmpty())
                outlines.emplace_back(a.value(QStringLiteral("x")).toDouble(), a.value(QStringLiteral("y")).toDouble(),
                                      a.value(QStringLiteral("width")).toDouble(),
                                      a.value(QStringLiteral("height")).toDouble());
        }
        QVERIFY2(!svg.hasError(), qPrintable(svg.errorString()));
        QVERIFY(sawViewBox);
        QCOMPARE(stroke, QStringLiteral("#00c0c0"));
        QCOMPARE(outlines.size(), std::size_t{2});

        const QImage image = embedded(256);
        for (const QRectF& box : outlines) {
            const int midX = static_cast<int>(box.center().x());
            const int midY = static_cast<int>(box.center().y());
            QVERIFY(isTeal(image.pixel(midX, static_cast<int>(box.top()))));
            QVERIFY(isTeal(image.pixel(midX, static_cast<int>(box.bottom()))));
            QVERIFY(isTeal(image.pixel(static_cast<int>(box.left()), midY)));
            QVERIFY(isTeal(image.pixel(static_cast<int>(box.right()), midY)));
        }
    }
};

QTEST_MAIN(IconTest)
#include "icon_test.moc"
