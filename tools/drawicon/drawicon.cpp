// Draws the game's icon, the player's vehicle in teal on black, as SVG and as PNGs of each size.
//
// The figure comes straight from the playfield layout, so the icon is the vehicle the player sees.
// Every corner of the figure lies on a grid of whole cells; each icon size gets a whole number of
// pixels per cell and pen edges on pixel boundaries, so the straight lines come out sharp.
#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "playfield/scene.h"

namespace {

// Every size a desktop asks the hicolor theme for, 16 px in a menu to 256 px in a launcher.
constexpr std::array IconSizes{16, 22, 24, 32, 48, 64, 128, 256};
constexpr int SvgSize = 256;       // the scalable icon uses the geometry of the largest PNG
constexpr double FigureFill = 0.8; // share of the icon's width the vehicle spans

struct Point {
    double x;
    double y;
};

struct Segment {
    Point from;
    Point to;
};

// The figure in game pixels: two outlines (body and cab) and the four joining lines.
struct Figure {
    std::array<std::array<Point, 2>, 2> boxes; // top-left and bottom-right outline pixel
    std::array<Segment, 4> joins;
    QColor colour;
};

Point pixel(float xTwips, float yTwips) { return {xTwips / farvane::TwipsPerPixel, yTwips / farvane::TwipsPerPixel}; }

// An outline's pixels run from Left to Left + Width - 15 (and likewise downwards).
std::array<Point, 2> outline(const farvane::Shape& shape)
{
    const float last = farvane::TwipsPerPixel;
    return {pixel(shape.Left, shape.Top), pixel(shape.Left + shape.Width - last, shape.Top + shape.Height - last)};
}

Segment segment(const farvane::Line& line) { return {pixel(line.X1, line.Y1), pixel(line.X2, line.Y2)}; }

QColor colour(farvane::Colour bgr)
{
    return QColor(static_cast<int>(bgr & 0xFFu), static_cast<int>((bgr >> 8) & 0xFFu),
                  static_cast<int>((bgr >> 16) & 0xFFu));
}

Figure vehicle()
{
    const farvane::Scene scene;
    return {{outline(scene.Player1), outline(scene.Player6)},
            {segment(scene.Player5), segment(scene.Player4), segment(scene.Player3), segment(scene.Player2)},
            colour(scene.Player1.BorderColor)};
}

// The figure placed on an icon of one size: its pen and every point in icon pixels.
struct Placed {
    int size = 0;
    int pen = 0;
    std::array<QRectF, 2> boxes;
    std::array<Segment, 4> joins;
    QColor colour;
    double cornerRadius = 0;
    int cell = 0; // pixels a grid cell
    int span = 0; // the stroked figure's width in pixels
};

template <typename Visit>
void forEachPoint(const Figure& figure, Visit&& visit)
{
    for (const auto& box : figure.boxes)
        for (const Point& p : box)
            visit(p);
    for (const Segment& s : figure.joins) {
        visit(s.from);
        visit(s.to);
    }
}

Placed place(const Figure& figure, int size)
{
    Point low{1e9, 1e9};
    forEachPoint(figure, [&](Point p) { low = {std::min(low.x, p.x), std::min(low.y, p.y)}; });
    // The grid: the largest step that divides every offset from the figure's top-left corner.
    int step = 0;
    int wide = 0;
    int high = 0;
    forEachPoint(figure, [&](Point p) {
        const int dx = static_cast<int>(std::lround(p.x - low.x));
        const int dy = static_cast<int>(std::lround(p.y - low.y));
        step = std::gcd(step, std::gcd(dx, dy));
        wide = std::max(wide, dx);
        high = std::max(high, dy);
    });
    step = std::max(step, 1);
    const int cellsWide = wide / step;
    const int cellsHigh = high / step;

    Placed placed;
    placed.size = size;
    placed.colour = figure.colour;
    // An even pen on an even icon leaves equal margins on both sides, so the figure is symmetric.
    placed.pen = 2 * std::max(1, static_cast<int>(std::lround(size / 56.0)));
    placed.cornerRadius = size / 8.0;
    const int cell = std::max(1, static_cast<int>(std::lround(size * FigureFill / cellsWide)));
    placed.cell = cell;
    placed.span = cell * cellsWide + placed.pen;
    // Centre the stroked figure; a pen centre half a pen inside a whole pixel keeps edges sharp.
    const double half = placed.pen / 2.0;
    const double left = std::floor((size - cell * cellsWide - placed.pen) / 2.0) + half;
    const double top = std::floor((size - cell * cellsHigh - placed.pen) / 2.0) + half;
    auto map = [&](Point p) {
        return Point{left + std::lround(p.x - low.x) / step * cell, top + std::lround(p.y - low.y) / step * cell};
    };
    for (std::size_t i = 0; i < figure.boxes.size(); ++i) {
        const Point a = map(figure.boxes[i][0]);
        const Point b = map(figure.boxes[i][1]);
        placed.boxes[i] = QRectF(a.x, a.y, b.x - a.x, b.y - a.y);
    }
    for (std::size_t i = 0; i < figure.joins.size(); ++i)
        placed.joins[i] = {map(figure.joins[i].from), map(figure.joins[i].to)};
    return placed;
}

QImage render(const Placed& icon)
{
    QImage image(icon.size, icon.size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(0, 0, icon.size, icon.size), icon.cornerRadius, icon.cornerRadius);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(icon.colour, icon.pen, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    for (const QRectF& box : icon.boxes)
        painter.drawRect(box);
    for (const Segment& s : icon.joins)
        painter.drawLine(QPointF(s.from.x, s.from.y), QPointF(s.to.x, s.to.y));
    painter.end();
    return image;
}

QString svg(const Placed& icon)
{
    QString text;
    QTextStream out(&text);
    const int n = icon.size;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << n << "\" height=\"" << n << "\" viewBox=\"0 0 " << n
        << ' ' << n << "\">\n"
        << "  <title>Farvane</title>\n"
        << "  <rect width=\"" << n << "\" height=\"" << n << "\" rx=\"" << icon.cornerRadius
        << "\" fill=\"#000000\"/>\n"
        << "  <g fill=\"none\" stroke=\"" << icon.colour.name() << "\" stroke-width=\"" << icon.pen
        << "\" stroke-linecap=\"butt\" stroke-linejoin=\"miter\">\n";
    for (const QRectF& box : icon.boxes)
        out << "    <rect x=\"" << box.x() << "\" y=\"" << box.y() << "\" width=\"" << box.width() << "\" height=\""
            << box.height() << "\"/>\n";
    for (const Segment& s : icon.joins)
        out << "    <line x1=\"" << s.from.x << "\" y1=\"" << s.from.y << "\" x2=\"" << s.to.x << "\" y2=\"" << s.to.y
            << "\"/>\n";
    out << "  </g>\n</svg>\n";
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    // Sizes after the folder replace the desktop's (the browser page wants 192 and 512).
    std::vector<int> sizes(IconSizes.begin(), IconSizes.end());
    if (argc > 2)
        sizes.clear();
    for (int i = 2; i < argc; ++i) {
        char* end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (*end != '\0' || size < 16 || size > 1024) {
            std::fprintf(stderr, "farvane-drawicon: a size is a whole number from 16 to 1024, not \"%s\"\n", argv[i]);
            return 2;
        }
        sizes.push_back(static_cast<int>(size));
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-DIRECTORY [SIZE...]\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const Figure figure = vehicle();
    for (const int size : sizes) {
        const QString path = dir + QStringLiteral("/farvane-%1.png").arg(size);
        // With no more pixels a cell than the pen is wide the lines run into each other (and at 16 px
        // the figure would not even fit): such a size is the figure drawn twice as large, shrunk.
        const Placed placed = place(figure, size);
        const QImage image =
            placed.cell > placed.pen && placed.span <= size * 9 / 10
                ? render(placed)
                : render(place(figure, 2 * size)).scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "farvane-drawicon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    QFile file(dir + QStringLiteral("/farvane.svg"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(svg(place(figure, SvgSize)).toUtf8()) < 0) {
        std::fprintf(stderr, "farvane-drawicon: cannot write %s\n", qPrintable(file.fileName()));
        return 1;
    }
    return 0;
}
