// The labels' characters rendered once into an atlas of cells, per device pixel ratio and colour.
#pragma once

#include <QColor>
#include <QImage>

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

    // Device-pixel column of the left edge of `c`'s cell; a character outside the atlas shows as '?'.
    int cellLeft(char c) const
    {
        const int index = (c < FirstGlyph || c > LastGlyph) ? '?' - FirstGlyph : c - FirstGlyph;
        return index * cellWidth;
    }
};

// The atlas for this ratio and colour, built on first use and kept for the program's life.
const GlyphAtlas& glyphAtlas(qreal devicePixelRatio, QRgb colour);

} // namespace farvane
