// The labels' font, loaded from its file, and its characters rendered once per ratio and colour.
#include "desktop/glyphcache.h"

#include <cmath>
#include <deque>
#include <iostream>

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QStringList>

#include "desktop/scenepainter.h"

namespace farvane {

namespace {

constexpr int FontPixelSize = 13; // DejaVu Sans Mono advances 7.8 pixels at this size: fits a cell

struct FontState {
    QStringList loadedPaths;
    QString family; // empty until a font file has loaded
    bool warned = false;
};

FontState& fontState()
{
    static FontState state;
    return state;
}

QFont labelFont(int pixelSize)
{
    FontState& state = fontState();
    if (state.family.isEmpty()) {
        QString error;
        if (!loadLabelFont(&error) && !state.warned) {
            std::cerr << "farvane: " << error.toStdString() << "; the labels use the desktop's monospace font\n";
            state.warned = true;
        }
    }
    QFont font(state.family.isEmpty() ? QStringLiteral("monospace") : state.family);
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    return font;
}

GlyphAtlas buildAtlas(qreal devicePixelRatio, QRgb colour)
{
    constexpr int Count = LastGlyph - FirstGlyph + 1;
    GlyphAtlas atlas;
    atlas.devicePixelRatio = devicePixelRatio;
    atlas.colour = colour;
    atlas.cellWidth = static_cast<int>(std::lround(CellWidth * devicePixelRatio));
    atlas.cellHeight = static_cast<int>(std::lround(LineHeight * devicePixelRatio));
    atlas.image = QImage(Count * atlas.cellWidth, atlas.cellHeight, QImage::Format_ARGB32_Premultiplied);
    atlas.image.fill(Qt::transparent);

    // The font at the device's size, not a scaled-up bitmap, so text stays sharp on high-DPI screens.
    const QFont font = labelFont(static_cast<int>(std::lround(FontPixelSize * devicePixelRatio)));
    QPainter painter(&atlas.image);
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(colour));
    // The text starts at the label's top edge: the ascent above the baseline fills the cell's top.
    const int baseline = QFontMetrics(font).ascent();
    for (int i = 0; i < Count; ++i)
        painter.drawText(QPoint(i * atlas.cellWidth, baseline), QString(QChar(FirstGlyph + i)));
    painter.end();

    for (int i = 0; i < Count; ++i) {
        QRect ink;
        for (int y = 0; y < atlas.cellHeight; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(atlas.image.constScanLine(y)) + i * atlas.cellWidth;
            for (int x = 0; x < atlas.cellWidth; ++x)
                if (qAlpha(row[x]) != 0)
                    ink |= QRect(x, y, 1, 1);
        }
        atlas.ink[static_cast<std::size_t>(i)] = ink;
    }
    return atlas;
}

} // namespace

bool loadLabelFont(QString* error, const QString& path)
{
    FontState& state = fontState();
    if (state.loadedPaths.contains(path))
        return true;
    auto fail = [&](const QString& reason) {
        if (error)
            *error = QStringLiteral("cannot load the label font %1: %2").arg(path, reason);
        return false;
    };
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return fail(QStringLiteral("no GUI application is running"));
    if (!QFile::exists(path))
        return fail(QStringLiteral("no such file (it comes with the Debian package fonts-dejavu-core)"));
    const int id = QFontDatabase::addApplicationFont(path);
    const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty())
        return fail(QStringLiteral("not a usable font file"));
    if (state.family.isEmpty())
        state.family = families.first();
    state.loadedPaths.append(path);
    return true;
}

const GlyphAtlas& glyphAtlas(qreal devicePixelRatio, QRgb colour)
{
    // A deque keeps earlier atlases in place when a new one is added. The game uses one colour and
    // one or two ratios, so a linear search is all it takes.
    static std::deque<GlyphAtlas> atlases;
    for (const GlyphAtlas& atlas : atlases)
        if (atlas.devicePixelRatio == devicePixelRatio && atlas.colour == colour)
            return atlas;
    atlases.push_back(buildAtlas(devicePixelRatio, colour));
    return atlases.back();
}

} // namespace farvane
