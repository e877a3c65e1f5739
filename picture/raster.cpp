// The scene rasterizer: twips become logical pixels by floor division by 15, and every element is
// drawn as runs of whole logical pixels.
//
// Device pixels: every logical pixel becomes the same square block of blockSize() device pixels,
// placed at lround(x * r) (and the same for rows). Fills, outlines, lines and text all go through
// that one mapping, so every element has one stroke weight at any ratio: at 1 and 2 each logical
// pixel is a 1 by 1 or 2 by 2 block side by side; at a fractional ratio such as 1.5 the 2 by 2 blocks
// overlap by a device pixel here and there and never leave a gap. Text at ratio 1 and 2 comes from
// the atlas drawn at that ratio (sharp at the device's resolution); at any other ratio each device
// pixel takes the coverage of the ratio-1 atlas pixel of the last logical pixel whose block covers it.
#include "picture/raster.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "picture/glyphatlas.h"
#include "picture/pixelbox.h"

namespace farvane {

namespace {

// A rectangle of pixels, from (left, top) up to, not including, (right, bottom).
using Box = PixelBox;

constexpr std::uint32_t FrameGrey = 0xFF808080;
constexpr std::uint32_t OpaqueBlack = 0xFF000000;

// &H00BBGGRR to an opaque 0xAARRGGBB.
std::uint32_t toArgb(Colour colour)
{
    // A desktop colour (top bit set). The only one the layout uses is the menu-text colour behind
    // the high score; it is black in the standard scheme, and following a dark theme would paint
    // it light under white text, so every desktop colour paints as that standard black.
    if (colour & 0x80000000u)
        return OpaqueBlack;
    return 0xFF000000u | ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
}

// The pixel value whose bytes in memory are R, G, B, A.
std::uint32_t toRgba8888(std::uint32_t argb)
{
    const unsigned char bytes[4] = {static_cast<unsigned char>(argb >> 16), static_cast<unsigned char>(argb >> 8),
                                    static_cast<unsigned char>(argb), static_cast<unsigned char>(argb >> 24)};
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// The pixels of one rasterize call: the frame, the part of it that may change, and the mapping.
class Canvas {
public:
    Canvas(FrameBuffer& target, const Box& deviceClip) : frame(target), clip(deviceClip) {}

    std::uint32_t pixel(std::uint32_t argb) const
    {
        return frame.order() == PixelOrder::Argb32 ? argb : toRgba8888(argb);
    }

    // Whether nothing of the logical `box` lies in this call's part of the frame: an element inside
    // such a box is left out whole (a clipped repaint draws few of them).
    bool misses(const Box& box) const { return toDevice(box.intersected(ClientBox)).intersected(clip).empty(); }

    // Fills the logical pixels of `box` that lie in the client area.
    void fill(const Box& box, std::uint32_t argb) { fillDevice(toDevice(box.intersected(ClientBox)), pixel(argb)); }

    // Blends the character `c` in `argb` into the cell whose top-left logical pixel is (x, y),
    // showing only what lies inside the logical box `shownBox`.
    void drawGlyph(char c, int x, int y, const Box& shownBox, std::uint32_t argb)
    {
        const Box logicalClip = shownBox.intersected(ClientBox);
        const double ratio = frame.devicePixelRatio();
        const GlyphAtlas* atlas = ratio == 1.0 ? &GlyphAtlasRatio1 : ratio == 2.0 ? &GlyphAtlasRatio2 : nullptr;
        const std::uint32_t colour = pixel(argb);
        if (atlas) {
            const GlyphInk& ink = atlas->inkOf(c);
            const int originX = frame.deviceEdge(x);
            const int originY = frame.deviceEdge(y);
            const Box inkBox{originX + ink.x, originY + ink.y, originX + ink.x + ink.width,
                             originY + ink.y + ink.height};
            const Box shown = inkBox.intersected(toDevice(logicalClip)).intersected(clip);
            if (shown.empty())
                return;
            for (int row = shown.top; row < shown.bottom; ++row) {
                const std::uint8_t* source = atlas->coverage + ink.offset +
                                             static_cast<std::size_t>(row - inkBox.top) * ink.width +
                                             (shown.left - inkBox.left);
                std::uint32_t* target = rowAt(row) + shown.left;
                for (int column = 0; column < shown.right - shown.left; ++column)
                    target[column] = over(source[column], colour, target[column]);
            }
            return;
        }
        // Any other ratio: each device pixel takes the coverage of the last logical pixel whose
        // block covers it (kept inside the shown box), blended once, so overlapping blocks never
        // blend twice.
        const GlyphInk& ink = GlyphAtlasRatio1.inkOf(c);
        const Box inkBox{x + ink.x, y + ink.y, x + ink.x + ink.width, y + ink.y + ink.height};
        const Box logicalShown = inkBox.intersected(logicalClip);
        const Box shown = toDevice(logicalShown).intersected(clip);
        if (shown.empty())
            return;
        for (int row = shown.top; row < shown.bottom; ++row) {
            const int ly = std::min(lastCovering(row), logicalShown.bottom - 1);
            const std::uint8_t* source =
                GlyphAtlasRatio1.coverage + ink.offset + static_cast<std::size_t>(ly - inkBox.top) * ink.width;
            std::uint32_t* target = rowAt(row);
            for (int column = shown.left; column < shown.right; ++column) {
                const int lx = std::min(lastCovering(column), logicalShown.right - 1);
                target[column] = over(source[lx - inkBox.left], colour, target[column]);
            }
        }
    }

    // The first row is filled by doubling copies and the others copied from it: memcpy is the
    // fastest store loop the C library has, several times a plain one's speed on the ground.
    void fillDevice(const Box& device, std::uint32_t value)
    {
        const Box shown = device.intersected(clip);
        if (shown.empty())
            return;
        const auto width = static_cast<std::size_t>(shown.right - shown.left);
        std::uint32_t* first = rowAt(shown.top) + shown.left;
        std::size_t filled = std::min<std::size_t>(width, 8);
        std::fill_n(first, filled, value);
        while (filled < width) {
            const std::size_t more = std::min(filled, width - filled);
            std::memcpy(first + filled, first, more * sizeof *first);
            filled += more;
        }
        for (int row = shown.top + 1; row < shown.bottom; ++row)
            std::memcpy(rowAt(row) + shown.left, first, width * sizeof *first);
    }

private:
    Box toDevice(const Box& logical) const
    {
        if (logical.empty())
            return Box{};
        const int block = frame.blockSize();
        return Box{frame.deviceEdge(logical.left), frame.deviceEdge(logical.top),
                   frame.deviceEdge(logical.right - 1) + block, frame.deviceEdge(logical.bottom - 1) + block};
    }

    // The last logical pixel whose block covers device column (or row) `device`.
    int lastCovering(int device) const
    {
        int logical = static_cast<int>(std::floor(device / frame.devicePixelRatio()));
        while (frame.deviceEdge(logical + 1) <= device)
            ++logical;
        while (logical > 0 && frame.deviceEdge(logical) > device)
            --logical;
        return logical;
    }

    std::uint32_t* rowAt(int row) { return frame.pixels() + static_cast<std::ptrdiff_t>(row) * frame.stride(); }

    // `colour` at `coverage` over an opaque pixel, byte by byte: the colour premultiplied by the
    // coverage, plus the rest of the target. For white, as every label is, the premultiplied
    // colour is the coverage itself, exactly what the atlas's premultiplied white pixels held.
    static std::uint32_t over(std::uint8_t coverage, std::uint32_t colour, std::uint32_t target)
    {
        if (coverage == 0)
            return target;
        if (coverage == 255)
            return colour;
        const unsigned alpha = coverage;
        const unsigned rest = 255 - alpha;
        std::uint32_t result = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const unsigned c = (colour >> shift) & 0xFF;
            const unsigned premultiplied = (c * alpha + ((c * alpha) >> 8) + 0x80) >> 8;
            const unsigned t = (target >> shift) & 0xFF;
            result |= static_cast<std::uint32_t>(std::min(255u, premultiplied + (t * rest + 127) / 255)) << shift;
        }
        return result;
    }

    FrameBuffer& frame;
    Box clip; // device pixels
};

// An outline `thickness` pixels wide inside `box`.
void drawOutline(Canvas& canvas, const Box& box, int thickness, std::uint32_t colour)
{
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    if (width <= 2 * thickness || height <= 2 * thickness) {
        canvas.fill(box, colour);
        return;
    }
    canvas.fill(Box{box.left, box.top, box.right, box.top + thickness}, colour);
    canvas.fill(Box{box.left, box.bottom - thickness, box.right, box.bottom}, colour);
    canvas.fill(Box{box.left, box.top + thickness, box.left + thickness, box.bottom - thickness}, colour);
    canvas.fill(Box{box.right - thickness, box.top + thickness, box.right, box.bottom - thickness}, colour);
}

void drawShape(Canvas& canvas, const Shape& shape)
{
    const Box box = pixelBox(shape.Left, shape.Top, shape.Width, shape.Height);
    if (!canvas.misses(box))
        drawOutline(canvas, box, std::max(1, shape.BorderWidth), toArgb(shape.BorderColor));
}

// Bresenham from end pixel to end pixel, both included. Pixels in a row along the line's major
// axis are filled as one run.
void drawLine(Canvas& canvas, const Line& line)
{
    const std::uint32_t colour = toArgb(line.BorderColor);
    int x = toPixel(line.X1);
    int y = toPixel(line.Y1);
    const int xEnd = toPixel(line.X2);
    const int yEnd = toPixel(line.Y2);
    // The line stays inside the box of its end pixels.
    if (canvas.misses(Box{std::min(x, xEnd), std::min(y, yEnd), std::max(x, xEnd) + 1, std::max(y, yEnd) + 1}))
        return;
    const int dx = std::abs(xEnd - x);
    const int dy = -std::abs(yEnd - y);
    const int sx = x < xEnd ? 1 : -1;
    const int sy = y < yEnd ? 1 : -1;
    const bool xMajor = dx >= -dy;
    int err = dx + dy;
    int runX = x;
    int runY = y;
    auto endRun = [&](int toX, int toY) {
        canvas.fill(Box{std::min(runX, toX), std::min(runY, toY), std::max(runX, toX) + 1, std::max(runY, toY) + 1},
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
            runX = nextX;
            runY = nextY;
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
    const Box box = pixelBox(label.Left, label.Top, label.Width, label.Height);
    if (canvas.misses(box)) // the fill, the frame and the text all stay inside the box
        return;
    if (label.Opaque)
        canvas.fill(box, toArgb(label.BackColor));
    if (label.Framed)
        drawOutline(canvas, box, 1, FrameGrey);
    if (label.Caption.empty())
        return;

    // A frame takes the box's outermost pixels; the text starts just inside it.
    const Box textBox = label.Framed ? Box{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1} : box;
    if (textBox.empty())
        return;
    const int cells = std::max(1, (textBox.right - textBox.left) / CellWidth);
    std::array<TextLine, MaxTextLines> lines;
    const int lineCount = wrapText(label.Caption, cells, lines);
    const std::uint32_t colour = toArgb(label.ForeColor);

    for (int n = 0; n < lineCount; ++n) {
        const TextLine& line = lines[static_cast<std::size_t>(n)];
        const int top = textBox.top + n * LineHeight;
        if (top >= textBox.bottom)
            break;
        // Centred in whole cells, so centred text stays on the same grid as left-aligned text.
        const int indent = label.Align == Alignment::Centre ? std::max(0, (cells - line.length) / 2) : 0;
        for (int i = 0; i < line.length; ++i) {
            const char c = label.Caption[static_cast<std::size_t>(line.start + i)];
            if (c != ' ')
                canvas.drawGlyph(c, textBox.left + (indent + i) * CellWidth, top, textBox, colour);
        }
    }
}

void draw(const Scene& scene, Canvas& canvas, const Box& deviceClip)
{
    canvas.fillDevice(deviceClip, canvas.pixel(OpaqueBlack));
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
}

} // namespace

FrameBuffer::FrameBuffer(double devicePixelRatio, PixelOrder order)
    : ratio_(devicePixelRatio > 0 ? devicePixelRatio : 1.0), order_(order),
      width_(static_cast<int>(std::lround(ClientWidth * ratio_))),
      height_(static_cast<int>(std::lround(ClientHeight * ratio_))),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
              order == PixelOrder::Argb32 ? OpaqueBlack : toRgba8888(OpaqueBlack))
{}

int FrameBuffer::blockSize() const
{
    // Whole ratios give whole blocks side by side; a fractional one rounds up, so no gap opens
    // where lround(x * r) steps by more than the block.
    return std::max(1, static_cast<int>(std::ceil(ratio_ - 1e-9)));
}

int FrameBuffer::deviceEdge(int logical) const
{
    if (ratio_ == 1.0)
        return logical;
    if (ratio_ == 2.0)
        return 2 * logical;
    return static_cast<int>(std::lround(logical * ratio_));
}

PixelRect FrameBuffer::deviceRect(PixelRect logical) const
{
    if (logical.width <= 0 || logical.height <= 0)
        return PixelRect{};
    const int left = deviceEdge(logical.x);
    const int top = deviceEdge(logical.y);
    const int block = blockSize();
    return PixelRect{left, top, deviceEdge(logical.x + logical.width - 1) + block - left,
                     deviceEdge(logical.y + logical.height - 1) + block - top};
}

void rasterize(const Scene& scene, FrameBuffer& frame)
{
    const Box whole{0, 0, frame.width(), frame.height()};
    Canvas canvas(frame, whole);
    draw(scene, canvas, whole);
}

void rasterize(const Scene& scene, FrameBuffer& frame, PixelRect clip)
{
    const PixelRect device = frame.deviceRect(clip);
    const Box deviceClip = Box{device.x, device.y, device.x + device.width, device.y + device.height}.intersected(
        Box{0, 0, frame.width(), frame.height()});
    if (deviceClip.empty())
        return;
    Canvas canvas(frame, deviceClip);
    draw(scene, canvas, deviceClip);
}

} // namespace farvane
