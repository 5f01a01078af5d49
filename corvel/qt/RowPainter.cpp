// Row drawing. Glyphs are batched per font and colour so a row costs one
// drawGlyphRun per font and colour it uses, with every glyph positioned by its
// cell's column. Qt dash patterns are in pen widths, so the patterns below divide
// the pixel lengths by the pen width.
#include "corvel/qt/RowPainter.h"

#include <QGlyphRun>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "corvel/qt/BlockElementRenderer.h"
#include "corvel/qt/BoxDrawingRenderer.h"
#include "corvel/qt/DevicePixelScope.h"

namespace corvel::qt {

namespace {

// A thickness rounded to device pixels, at least half a logical pixel.
qreal pixelThickness(qreal thickness, qreal scale)
{
    return std::max(0.5, std::round(scale * thickness) / scale);
}

qreal baselineOf(const RowGeometry& row, const RowTextMetrics& metrics)
{
    return row.top + row.cellHeight - metrics.descentAndLeading;
}

// Glyphs of one font and colour collected for one drawGlyphRun call.
struct Batch {
    QRawFont font;
    QRgb color = 0;
    QVector<quint32> indexes;
    QVector<QPointF> positions;
};

// Straight decoration lines of one colour and pen width.
struct LineBatch {
    QRgb color = 0;
    qreal width = 1;
    QVector<QLineF> lines;
};

}  // namespace

RowTextMetrics RowTextMetrics::fromFonts(const GlyphRunCache& fonts)
{
    RowTextMetrics m;
    const QRawFont& normal = fonts.rawFont(FontFace::normal);
    m.descentAndLeading = std::ceil(normal.descent() + normal.leading());
    m.underlinePosition = normal.underlinePosition();
    m.underlineThickness = std::max(normal.lineThickness(), qreal(0.5));
    for (size_t i = 0; i < 4; ++i) {
        const QRawFont& raw = fonts.rawFont(static_cast<FontFace>(i));
        m.xHeight[i] = raw.xHeight();
        m.lineThickness[i] = std::max(raw.lineThickness(), qreal(0.5));
    }
    return m;
}

namespace RowPainter {

bool applyLineTransform(QPainter& painter, BufferLine::RenderLineMode mode, const RowGeometry& row)
{
    using Mode = BufferLine::RenderLineMode;
    switch (mode) {
    case Mode::single: return false;
    case Mode::doubleWidth:
        painter.save();
        painter.scale(2, 1);
        return true;
    case Mode::doubledTop:
    case Mode::doubledDown: {
        painter.save();
        painter.setClipRect(QRectF(0, row.top, row.rowWidth, row.cellHeight), Qt::IntersectClip);
        // The top half grows down from the row's top edge; the bottom half
        // grows up from its bottom edge.
        const qreal anchor = mode == Mode::doubledTop ? row.top : row.top + row.cellHeight;
        painter.translate(0, anchor);
        painter.scale(2, 2);
        painter.translate(0, -anchor);
        return true;
    }
    }
    return false;
}

void fillBackgrounds(QPainter& painter, const ViewLineInfo& info, const RowGeometry& row)
{
    // Neighbouring runs with the same fill are painted as one rectangle.
    struct Span {
        int start, end;
        QRgb fill;
    };
    std::vector<Span> spans;
    for (size_t i = 0; i < info.runs.size();) {
        const QColor& fill = info.runs[i].fillColor();
        const int start = info.runs[i].column;
        int end = info.runs[i].endColumn;
        size_t next = i + 1;
        while (next < info.runs.size() && info.runs[next].fillColor() == fill) end = info.runs[next++].endColumn;
        i = next;
        if (fill.isValid() && end > start) spans.push_back({start, end, fill.rgba()});
    }
    if (spans.empty()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const auto fillRest = [&](int start, QRgb fill, qreal from) {
        const qreal x = std::max(row.cellWidth * start, from);
        const qreal width = row.rowWidth - x;
        if (width > 0) painter.fillRect(QRectF(x, row.top, width, row.cellHeight), QColor::fromRgba(fill));
    };
    // A row of many fills (every cell its own colour) is painted as one image
    // one device pixel high, blitted unscaled onto each device pixel line of
    // the row: a blit per line instead of a fill per cell (a stretched blit
    // goes through the raster engine's much slower scaling path). Only where
    // the painter maps device pixels one to one, so the image's pixels land
    // exactly where the fills would.
    const int cw = static_cast<int>(std::lround(row.cellWidth * row.scale));
    const int ch = static_cast<int>(std::lround(row.cellHeight * row.scale));
    bool blitted = false;
    if (spans.size() >= 8 && cw > 0 && ch > 0 && row.cols > 0) {
        DevicePixelScope px(painter, row.scale);
        if (mapsDevicePixelsOneToOne(painter)) {
            // Opaque fills over every column make an image without alpha,
            // which the raster engine copies instead of blending.
            int covered = 0;
            bool opaque = true;
            for (const Span& span : spans) {
                opaque = opaque && span.start == covered && qAlpha(span.fill) == 255;
                covered = span.end;
            }
            opaque = opaque && covered >= row.cols;
            QImage strip(cw * row.cols, 1,
                         opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
            strip.fill(Qt::transparent);
            auto* pixels = reinterpret_cast<QRgb*>(strip.bits());
            for (const Span& span : spans) {
                const int end = std::min(span.end, row.cols);
                if (span.start < end)
                    std::fill(pixels + cw * span.start, pixels + cw * end, qPremultiply(span.fill));
            }
            const int top = static_cast<int>(std::lround(row.top * row.scale));
            for (int y = 0; y < ch; ++y) painter.drawImage(QPoint(0, top + y), strip);
            blitted = true;
        }
    }
    if (blitted) {
        // Past the last column, to the view's edge.
        if (spans.back().end >= row.cols) fillRest(spans.back().start, spans.back().fill, row.cellWidth * row.cols);
        painter.restore();
        return;
    }
    for (const Span& span : spans) {
        if (span.end >= row.cols) {
            fillRest(span.start, span.fill, 0);
        } else {
            painter.fillRect(QRectF(row.cellWidth * span.start, row.top, row.cellWidth * (span.end - span.start),
                                    row.cellHeight),
                             QColor::fromRgba(span.fill));
        }
    }
    painter.restore();
}

bool mapsDevicePixelsOneToOne(const QPainter& painter)
{
    const QTransform& t = painter.deviceTransform();
    return t.type() <= QTransform::TxTranslate && t.dx() == std::round(t.dx()) && t.dy() == std::round(t.dy());
}

void drawBoxDrawings(QPainter& painter, std::span<const BoxDrawingRenderItem> items, const RowGeometry& row,
                     int baseThicknessPx, CustomGlyphTileCache* tiles)
{
    if (items.empty()) return;
    const int cw = std::max(static_cast<int>(std::lround(row.cellWidth * row.scale)), 1);
    const int ch = std::max(static_cast<int>(std::lround(row.cellHeight * row.scale)), 1);
    const int top = static_cast<int>(std::lround(row.top * row.scale));
    DevicePixelScope px(painter, row.scale);
    if (tiles && !mapsDevicePixelsOneToOne(painter)) tiles = nullptr;
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const BoxDrawingRenderItem& item : items) {
        const QRect cell(cw * item.column, top, cw * item.columnWidth, ch);
        if (tiles) {
            if (const auto* tile =
                    tiles->boxTile(item.codePoint, cell.size(), row.scale, item.foregroundColor, baseThicknessPx)) {
                painter.drawImage(cell.topLeft() + tile->offset, tile->image);
                continue;
            }
        }
        BoxDrawingRenderer::draw(painter, item.codePoint, cell, row.scale, item.foregroundColor, baseThicknessPx);
    }
}

void drawBlockElements(QPainter& painter, std::span<const BlockElementRenderItem> items, const RowGeometry& row,
                       bool antiAlias, CustomGlyphTileCache* tiles)
{
    if (items.empty()) return;
    const int cw = std::max(static_cast<int>(std::lround(row.cellWidth * row.scale)), 1);
    const int ch = std::max(static_cast<int>(std::lround(row.cellHeight * row.scale)), 1);
    const int top = static_cast<int>(std::lround(row.top * row.scale));
    DevicePixelScope px(painter, row.scale);
    if (tiles && !mapsDevicePixelsOneToOne(painter)) tiles = nullptr;
    for (const BlockElementRenderItem& item : items) {
        const QRect cell(cw * item.column, top, cw * item.columnWidth, ch);
        if (tiles) {
            if (const auto* tile =
                    tiles->blockTile(item.codePoint, cell.size(), item.rects, item.foregroundColor, antiAlias)) {
                painter.drawImage(cell.topLeft() + tile->offset, tile->image);
                continue;
            }
        }
        BlockElementRenderer::draw(painter, cell, item.rects, item.foregroundColor, antiAlias);
    }
}

void drawUnderline(QPainter& painter, UnderlineStyle style, const QColor& color, qreal x0, qreal x1, qreal baseline,
                   const RowTextMetrics& metrics, qreal scale)
{
    if (style == UnderlineStyle::none || x1 <= x0) return;
    const qreal t = pixelThickness(metrics.underlineThickness, scale);
    const qreal y = baseline + metrics.underlinePosition;
    const qreal a = std::max(qreal(1), t);
    QPen pen(color);
    pen.setWidthF(t);
    pen.setCapStyle(Qt::FlatCap);
    switch (style) {
    case UnderlineStyle::none: break;
    case UnderlineStyle::single:
        painter.setPen(pen);
        painter.drawLine(QPointF(x0, y), QPointF(x1, y));
        break;
    case UnderlineStyle::double_:
        painter.setPen(pen);
        painter.drawLine(QPointF(x0, y), QPointF(x1, y));
        painter.drawLine(QPointF(x0, y + t + 1), QPointF(x1, y + t + 1));
        break;
    case UnderlineStyle::curly: {
        const qreal wavelength = std::max(qreal(4), 4 * t);
        QPainterPath path(QPointF(x0, y));
        for (qreal x = x0; x <= x1; x += a) {
            path.lineTo(x, y + a * std::sin(2 * std::numbers::pi * (x - x0) / wavelength));
        }
        painter.setPen(pen);
        painter.drawPath(path);
        break;
    }
    case UnderlineStyle::dotted:
        pen.setCapStyle(Qt::RoundCap);
        pen.setDashPattern({a / t, 2 * a / t});
        painter.setPen(pen);
        painter.drawLine(QPointF(x0, y), QPointF(x1, y));
        break;
    case UnderlineStyle::dashed: {
        const qreal dash = std::max(qreal(2), 2 * t) / t;
        pen.setDashPattern({dash, dash});
        painter.setPen(pen);
        painter.drawLine(QPointF(x0, y), QPointF(x1, y));
        break;
    }
    }
}

void drawText(QPainter& painter, const ViewLineInfo& info, const RowGeometry& row, GlyphRunCache& glyphs,
              const RowTextMetrics& metrics, const QColor& defaultForeground)
{
    const qreal baseline = baselineOf(row, metrics);
    // Glyphs first, batched per (font, colour) across the whole row so a row
    // of many short runs still costs few draw calls; then the decorations,
    // which thus never hide under a neighbouring run's glyphs.
    std::vector<Batch> batches;
    for (const ViewLineRun& run : info.runs) {
        if (run.concealed) continue;
        const QRgb color = (run.style.foreground.isValid() ? run.style.foreground : defaultForeground).rgba();
        Batch* last = nullptr;
        for (int c = run.cellBegin; c < run.cellEnd; ++c) {
            const ViewLineCell& cell = info.cells[c];
            if (cell.textLength == 0) continue;
            const GlyphRunCache::Entry& entry = glyphs.glyphs(run.style.face, info.cellText(cell));
            const QPointF origin(row.cellWidth * cell.column, baseline);
            for (const GlyphRunCache::Glyphs& g : entry) {
                if (!last || last->color != color || !(last->font == g.font)) {
                    auto found = std::find_if(batches.begin(), batches.end(),
                                              [&](const Batch& b) { return b.color == color && b.font == g.font; });
                    if (found == batches.end()) {
                        // Room for the rest of the row, so appending never
                        // reallocates (ASCII cells hold one glyph each).
                        const auto room = static_cast<qsizetype>(info.cells.size()) - c;
                        batches.push_back({g.font, color, {}, {}});
                        batches.back().indexes.reserve(room);
                        batches.back().positions.reserve(room);
                        found = batches.end() - 1;
                    }
                    last = &*found;
                }
                last->indexes.append(g.indexes);
                for (const QPointF& p : g.positions) last->positions.append(origin + p);
            }
        }
    }
    if (!batches.empty()) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        for (const Batch& b : batches) {
            QGlyphRun glyphRun;
            glyphRun.setRawFont(b.font);
            glyphRun.setGlyphIndexes(b.indexes);
            glyphRun.setPositions(b.positions);
            painter.setPen(QColor::fromRgba(b.color));
            painter.drawGlyphRun(QPointF(0, 0), glyphRun);
        }
        painter.restore();
    }

    // Straight decorations (single and double underlines, strikethrough) are
    // collected per colour and thickness, a line continuing its neighbour's
    // is lengthened instead of repeated, and each collection is drawn at
    // once; the patterned underlines are drawn per run, since their
    // pattern starts at the run's left edge.
    std::vector<LineBatch> lines;
    const auto addLine = [&lines](const QColor& color, qreal width, qreal x0, qreal x1, qreal y) {
        const QRgb rgba = color.rgba();
        auto batch = std::find_if(lines.begin(), lines.end(),
                                  [&](const LineBatch& b) { return b.color == rgba && b.width == width; });
        if (batch == lines.end()) {
            lines.push_back({rgba, width, {}});
            batch = lines.end() - 1;
        }
        // The line to continue, if any, is usually the last one added.
        for (auto line = batch->lines.rbegin(); line != batch->lines.rend(); ++line) {
            if (line->y1() == y && line->x2() == x0) {
                line->setP2(QPointF(x1, y));
                return;
            }
        }
        batch->lines.append(QLineF(x0, y, x1, y));
    };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    const qreal underlineWidth = pixelThickness(metrics.underlineThickness, row.scale);
    const qreal underlineY = baseline + metrics.underlinePosition;
    for (const ViewLineRun& run : info.runs) {
        if (run.concealed) continue;
        const qreal x0 = row.cellWidth * run.column;
        const qreal x1 = row.cellWidth * run.endColumn;
        if (x1 <= x0) continue;
        const UnderlineStyle underline = run.style.underline;
        if (underline != UnderlineStyle::none) {
            const QColor& uc = run.style.underlineColor.isValid() ? run.style.underlineColor : defaultForeground;
            if (underline == UnderlineStyle::single || underline == UnderlineStyle::double_) {
                addLine(uc, underlineWidth, x0, x1, underlineY);
                if (underline == UnderlineStyle::double_)
                    addLine(uc, underlineWidth, x0, x1, underlineY + underlineWidth + 1);
            } else {
                drawUnderline(painter, underline, uc, x0, x1, baseline, metrics, row.scale);
            }
        }
        if (run.style.strikethrough) {
            const auto face = static_cast<size_t>(run.style.face);
            const qreal ts = pixelThickness(metrics.lineThickness[face], row.scale);
            const qreal y = baseline - (metrics.xHeight[face] + ts) / 2;
            addLine(run.style.strikethroughColor.isValid() ? run.style.strikethroughColor : defaultForeground, ts, x0,
                    x1, y);
        }
    }
    // A flat-capped line covers exactly the pixels of its rectangle, and a
    // rectangle fill is far cheaper than a stroke, as long as both see exact
    // coordinates: then they round a pixel-centre tie alike. That holds with
    // no world transform beyond a whole-pixel translation and a device pixel
    // ratio that is a power of two, where row edges and font metrics (26.6
    // fixed point) are binary fractions. Otherwise (double-size rows, ratios
    // such as 1.5) the lines keep the stroke.
    const QTransform& world = painter.worldTransform();
    const bool exact = world.type() <= QTransform::TxTranslate && world.dx() == std::round(world.dx()) &&
                       world.dy() == std::round(world.dy()) && row.scale > 0 &&
                       std::ldexp(1.0, std::ilogb(row.scale)) == row.scale;
    if (exact) {
        for (const LineBatch& batch : lines) {
            const QColor color = QColor::fromRgba(batch.color);
            for (const QLineF& line : batch.lines)
                painter.fillRect(QRectF(line.x1(), line.y1() - batch.width / 2, line.dx(), batch.width), color);
        }
        lines.clear();
    }
    for (const LineBatch& batch : lines) {
        QPen pen(QColor::fromRgba(batch.color));
        pen.setWidthF(batch.width);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.drawLines(batch.lines);
    }
    painter.restore();
}

void drawRow(QPainter& painter, const ViewLineInfo& info, BufferLine::RenderLineMode mode, const RowGeometry& row,
             GlyphRunCache& glyphs, const RowTextMetrics& metrics, const RowStyle& style,
             CustomGlyphTileCache* tiles)
{
    const bool saved = applyLineTransform(painter, mode, row);
    fillBackgrounds(painter, info, row);
    drawBoxDrawings(painter, info.boxDrawings, row,
                    BoxDrawingRenderer::baseThicknessPx(row.scale, metrics.underlineThickness), tiles);
    drawBlockElements(painter, info.blockElements, row, style.antiAliasBlockGlyphs, tiles);
    drawText(painter, info, row, glyphs, metrics, style.defaultForeground);
    if (saved) painter.restore();
}

}  // namespace RowPainter

}  // namespace corvel::qt
