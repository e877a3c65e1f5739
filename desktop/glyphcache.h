// The labels' characters rendered once into an atlas of cells, per device pixel ratio and colour.
#pragma once

#include <array>

#include <QColor>
#include <QImage>
#include <QRect>

namespace farvane {

constexpr int CellWidth = 8;   // logical pixels: every character sits on its own cell
constexpr int LineHeight = 16; // logical pixels from one text line to the next
constexpr char FirstGlyph = ' ';
constexpr char LastGlyph = '~';

// One row of cells holding the printable ASCII characters from FirstGlyph to LastGlyph, drawn
// in one colour on a transparent ground at the device's own resolution (premultiplied ARGB).
struct GlyphAtlas {
    qreal devicePixelRatio = 1;
    QRgb colour = 0;
    int cellWidth = CellWidth;   // device pixels
    int cellHeight = LineHeight; // device pixels
    QImage image;
    // Per character, the part of its cell that holds ink, in device pixels from the cell's corner:
    // blending only that part skips the transparent margins.
    std::array<QRect, LastGlyph - FirstGlyph + 1> ink;

    // A character outside the atlas shows as '?'.
    static int index(char c) { return (c < FirstGlyph || c > LastGlyph) ? '?' - FirstGlyph : c - FirstGlyph; }
    // Device-pixel column of the left edge of `c`'s cell.
    int cellLeft(char c) const { return index(c) * cellWidth; }
    const QRect& inkOf(char c) const { return ink[static_cast<std::size_t>(index(c))]; }
};

// The atlas for this ratio and colour, built on first use and kept for the program's life.
const GlyphAtlas& glyphAtlas(qreal devicePixelRatio, QRgb colour);

} // namespace farvane
