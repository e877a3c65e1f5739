// The labels' characters as coverage bytes, drawn once from DejaVu Sans Mono by tools/glyphatlas
// and checked in (picture/glyphatlas_data.cpp), so no host needs the font file at run time.
#pragma once

#include <array>
#include <cstdint>

namespace farvane {

constexpr int CellWidth = 8;   // logical pixels: every character sits on its own cell
constexpr int LineHeight = 16; // logical pixels from one text line to the next
constexpr char FirstGlyph = ' ';
constexpr char LastGlyph = '~';
constexpr int GlyphCount = LastGlyph - FirstGlyph + 1;

// The part of a character's cell that holds ink, in device pixels from the cell's top-left corner,
// and where its coverage rows (`width` bytes each, `height` rows) start in the atlas's bytes.
struct GlyphInk {
    std::uint16_t x = 0, y = 0, width = 0, height = 0;
    std::uint32_t offset = 0;
};

// One device pixel ratio's characters: 0 is no ink, 255 full ink. The font is drawn at the
// ratio's own size (13 px at 1, 26 px at 2), not scaled from a bitmap.
struct GlyphAtlas {
    int ratio;      // 1 or 2
    int cellWidth;  // device pixels
    int cellHeight; // device pixels
    std::array<GlyphInk, GlyphCount> ink;
    const std::uint8_t* coverage;

    // A character outside the atlas shows as '?'.
    static int index(char c) { return (c < FirstGlyph || c > LastGlyph) ? '?' - FirstGlyph : c - FirstGlyph; }
    const GlyphInk& inkOf(char c) const { return ink[static_cast<std::size_t>(index(c))]; }
};

extern const GlyphAtlas GlyphAtlasRatio1;
extern const GlyphAtlas GlyphAtlasRatio2;

} // namespace farvane
