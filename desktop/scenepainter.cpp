// Paints the scene: twips become pixels by floor division by 15, and every element is drawn as
// runs of whole pixels into a frame buffer kept between frames, then shown with one image draw.
#include "desktop/scenepainter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <string_view>
#include <type_traits>

#include <QPaintDevice>
#include <QPainter>

#include "desktop/glyphcache.h"

namespace farvane {

namespace {

const QRect ClientRect(0, 0, 441, 425);
constexpr QRgb FrameGrey = 0xFF808080;

// Far enough outside the client area to keep every later sum inside an int.
constexpr double PixelLimit = 1 << 20;

int clampToPixel(double pixels)
{
    if (!(pixels >= -PixelLimit)) // also catches NaN
        return static_cast<int>(-PixelLimit);
    if (!(pixels <= PixelLimit))
        return static_cast<int>(PixelLimit);
    return static_cast<int>(pixels);
}

// The pixel that holds the twip position: floor, so -1 twip lies in pixel -1, not 0.
int toPixel(double twips) { return clampToPixel(std::floor(twips / TwipsPerPixel)); }

// &H00BBGGRR to Qt's opaque 0xFFRRGGBB.
QRgb toRgb(Colour colour)
{
    // A desktop colour (top bit set). The only one the layout uses is the menu-text colour behind
    // the high score; it is black in the standard scheme, and following a dark theme would paint
    // it light under white text, so every desktop colour paints as that standard black.
    if (colour & 0x80000000u)
        return qRgb(0, 0, 0);
    return qRgb(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

// One frame's pixels at the device's resolution. Drawing pixel runs into it directly costs a
// fraction of what a painter call per run costs, and keeps every pixel exactly where it belongs.
class Canvas {
public:
    explicit Canvas(qreal ratio)
        : devicePixelRatio(ratio),
          image(QSize(ClientRect.width(), ClientRect.height()) * ratio, QImage::Format_RGB32)
    {
        image.setDevicePixelRatio(ratio);
    }

    // Starts a frame: the black client area.
    void clear()
    {
        image.fill(qRgb(0, 0, 0)); // Qt's vectorised fill: several times a plain loop's speed
        bits_ = reinterpret_cast<QRgb*>(image.bits());
        stride_ = image.bytesPerLine() / static_cast<int>(sizeof(QRgb));
    }

    // Fills the logical pixels of `rect` that lie in the client area.
    void fill(const QRect& rect, QRgb colour)
    {
        const QRect device = toDevice(rect.intersected(ClientRect));
        if (device.isEmpty())
            return;
        for (int y = device.top(); y <= device.bottom(); ++y)
            std::fill_n(row(y) + device.left(), device.width(), colour);
    }

    // Blends the character `c` from `atlas` into the cell whose top-left logical pixel is `cell`,
    // showing only what lies inside `clip`.
    void drawGlyph(const GlyphAtlas& atlas, char c, QPoint cell, const QRect& clip)
    {
        const QPoint origin(toDevice(cell.x()), toDevice(cell.y()));
        const QRect shown = atlas.inkOf(c).translated(origin).intersected(toDevice(clip.intersected(ClientRect)));
        if (shown.isEmpty())
            return;
        const int sourceLeft = atlas.cellLeft(c) + shown.left() - origin.x();
        for (int y = shown.top(); y <= shown.bottom(); ++y) {
            const auto* source = reinterpret_cast<const QRgb*>(atlas.image.constScanLine(y - origin.y())) + sourceLeft;
            QRgb* target = row(y) + shown.left();
            for (int x = 0; x < shown.width(); ++x)
                target[x] = over(source[x], target[x]);
        }
    }

    const qreal devicePixelRatio;
    QImage image;

private:
    int toDevice(int logical) const { return static_cast<int>(std::lround(logical * devicePixelRatio)); }

    QRect toDevice(const QRect& logical) const
    {
        if (logical.isEmpty())
            return QRect();
        return QRect(QPoint(toDevice(logical.left()), toDevice(logical.top())),
                     QPoint(toDevice(logical.right() + 1) - 1, toDevice(logical.bottom() + 1) - 1));
    }

    QRgb* row(int y) { return bits_ + static_cast<std::ptrdiff_t>(y) * stride_; }

    // A premultiplied glyph pixel over an opaque one.
    static QRgb over(QRgb source, QRgb target)
    {
        const unsigned alpha = qAlpha(source);
        if (alpha == 0)
            return target;
        if (alpha == 255)
            return source;
        const unsigned rest = 255 - alpha;
        auto channel = [&](int shift) {
            const unsigned s = (source >> shift) & 0xFF;
            const unsigned t = (target >> shift) & 0xFF;
            return std::min(255u, s + (t * rest + 127) / 255) << shift;
        };
        return 0xFF000000u | channel(16) | channel(8) | channel(0);
    }

    QRgb* bits_ = nullptr;
    int stride_ = 0;
};

// The frame buffer for this ratio, made once and reused by every later frame.
Canvas& canvasFor(qreal devicePixelRatio)
{
    static std::deque<Canvas> canvases; // a deque keeps references valid as it grows
    for (Canvas& canvas : canvases)
        if (canvas.devicePixelRatio == devicePixelRatio)
            return canvas;
    return canvases.emplace_back(devicePixelRatio);
}

// The pixels an element's box covers: from Left up to, not including, Left + Width, so its last
// pixel column holds x = Left + Width - 15. A box narrower than a pixel still covers one.
QRect pixelBox(float left, float top, float width, float height)
{
    const int x0 = toPixel(left);
    const int y0 = toPixel(top);
    const int x1 = std::max(x0, toPixel(double(left) + double(width)) - 1);
    const int y1 = std::max(y0, toPixel(double(top) + double(height)) - 1);
    return QRect(QPoint(x0, y0), QPoint(x1, y1));
}

// An outline `thickness` pixels wide inside `box`.
void drawOutline(Canvas& canvas, const QRect& box, int thickness, QRgb colour)
{
    if (box.width() <= 2 * thickness || box.height() <= 2 * thickness) {
        canvas.fill(box, colour);
        return;
    }
    canvas.fill(QRect(box.left(), box.top(), box.width(), thickness), colour);
    canvas.fill(QRect(box.left(), box.bottom() - thickness + 1, box.width(), thickness), colour);
    const int sideHeight = box.height() - 2 * thickness;
    canvas.fill(QRect(box.left(), box.top() + thickness, thickness, sideHeight), colour);
    canvas.fill(QRect(box.right() - thickness + 1, box.top() + thickness, thickness, sideHeight), colour);
}

void drawShape(Canvas& canvas, const Shape& shape)
{
    drawOutline(canvas, pixelBox(shape.Left, shape.Top, shape.Width, shape.Height), std::max(1, shape.BorderWidth),
                toRgb(shape.BorderColor));
}

// Bresenham from end pixel to end pixel, both included. Pixels in a row along the line's major
// axis are filled as one run, so on a high-DPI device the line scales as crisp blocks.
void drawLine(Canvas& canvas, const Line& line)
{
    const QRgb colour = toRgb(line.BorderColor);
    int x = toPixel(line.X1);
    int y = toPixel(line.Y1);
    const int xEnd = toPixel(line.X2);
    const int yEnd = toPixel(line.Y2);
    const int dx = std::abs(xEnd - x);
    const int dy = -std::abs(yEnd - y);
    const int sx = x < xEnd ? 1 : -1;
    const int sy = y < yEnd ? 1 : -1;
    const bool xMajor = dx >= -dy;
    int err = dx + dy;
    QPoint runStart(x, y);
    auto endRun = [&](int toX, int toY) {
        canvas.fill(QRect(QPoint(std::min(runStart.x(), toX), std::min(runStart.y(), toY)),
                          QPoint(std::max(runStart.x(), toX), std::max(runStart.y(), toY))),
                    colour);
    };
    while (x != xEnd || y != yEnd) {
        const int e2 = 2 * err;
        int nextX = x;
        int nextY = y;
        if (e2 >= dy) {
            err += dy;
            nextX += sx;
        }
        if (e2 <= dx) {
            err += dx;
            nextY += sy;
        }
        // A step across the minor axis ends the run.
        if (xMajor ? nextY != y : nextX != x) {
            endRun(x, y);
            runStart = QPoint(nextX, nextY);
        }
        x = nextX;
        y = nextY;
    }
    endRun(x, y);
}

struct TextLine {
    int start = 0;
    int length = 0;
};

// Up to this many lines are laid out; the tallest label holds eight.
constexpr int MaxTextLines = 32;

// Breaks `text` into lines of at most `cells` characters, at spaces where it can (the spaces at a
// break are dropped) and inside a word only when the word alone is longer than a line.
int wrapText(std::string_view text, int cells, std::array<TextLine, MaxTextLines>& lines)
{
    const int size = static_cast<int>(text.size());
    int count = 0;
    int start = 0;
    while (start < size && count < MaxTextLines) {
        int end = size;
        if (size - start > cells) {
            end = start + cells;
            int space = end;
            while (space > start && text[static_cast<std::size_t>(space)] != ' ')
                --space;
            if (space > start)
                end = space;
        }
        int trimmed = end;
        while (trimmed > start && text[static_cast<std::size_t>(trimmed - 1)] == ' ')
            --trimmed;
        lines[static_cast<std::size_t>(count++)] = TextLine{start, trimmed - start};
        start = end;
        while (start < size && text[static_cast<std::size_t>(start)] == ' ')
            ++start;
    }
    return count;
}

void drawLabel(Canvas& canvas, const Label& label)
{
    const QRect box = pixelBox(label.Left, label.Top, label.Width, label.Height);
    if (!box.intersects(ClientRect))
        return;
    if (label.Opaque)
        canvas.fill(box, toRgb(label.BackColor));
    if (label.Framed)
        drawOutline(canvas, box, 1, FrameGrey);
    if (label.Caption.empty())
        return;

    // A frame takes the box's outermost pixels; the text starts just inside it.
    const QRect textBox = label.Framed ? box.adjusted(1, 1, -1, -1) : box;
    if (textBox.isEmpty())
        return;
    const int cells = std::max(1, textBox.width() / CellWidth);
    std::array<TextLine, MaxTextLines> lines;
    const int lineCount = wrapText(label.Caption, cells, lines);
    const GlyphAtlas& atlas = glyphAtlas(canvas.devicePixelRatio, toRgb(label.ForeColor));

    for (int n = 0; n < lineCount; ++n) {
        const TextLine& line = lines[static_cast<std::size_t>(n)];
        const int top = textBox.top() + n * LineHeight;
        if (top > textBox.bottom())
            break;
        // Centred in whole cells, so centred text stays on the same grid as left-aligned text.
        const int indent = label.Align == Alignment::Centre ? std::max(0, (cells - line.length) / 2) : 0;
        for (int i = 0; i < line.length; ++i) {
            const char c = label.Caption[static_cast<std::size_t>(line.start + i)];
            if (c != ' ')
                canvas.drawGlyph(atlas, c, QPoint(textBox.left() + (indent + i) * CellWidth, top), textBox);
        }
    }
}

} // namespace

void paintScene(QPainter& painter, const Scene& scene)
{
    const qreal devicePixelRatio = painter.device() ? painter.device()->devicePixelRatio() : 1.0;
    Canvas& canvas = canvasFor(devicePixelRatio);
    canvas.clear();
    scene.forEachInPaintOrder([&](const auto& element) {
        using Element = std::decay_t<decltype(element)>;
        if constexpr (std::is_same_v<Element, Label>) {
            drawLabel(canvas, element); // a label has no Visible flag
        } else if (element.Visible) {
            if constexpr (std::is_same_v<Element, Shape>)
                drawShape(canvas, element);
            else
                drawLine(canvas, element);
        }
    });
    painter.drawImage(QPointF(0, 0), canvas.image);
}

QImage renderScene(const Scene& scene, qreal devicePixelRatio)
{
    QImage image(QSize(ClientRect.width(), ClientRect.height()) * devicePixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    QPainter painter(&image);
    paintScene(painter, scene);
    return image;
}

} // namespace farvane
