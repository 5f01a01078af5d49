// Row content of the renderer: backgrounds, custom box-drawing and block
// glyphs, text glyphs from the atlases, underline and strikethrough, built
// from the view's own line building. Every glyph and background sits on its
// cell's column (never on an advance summed along the row), and decorations
// span every column of their run, both columns of a wide character
// included, as in the view's CPU drawing. GUI thread, inside the frame build.
#include "corvel/terminal/Terminal.h"

#include "corvel/gl/MetalTerminalRenderer.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "corvel/gl/GlyphRasterizer.h"
#include "corvel/qt/BlockElementRenderer.h"
#include "corvel/qt/BoxDrawingRenderer.h"
#include "corvel/qt/TerminalView.h"

namespace corvel::gl {

namespace {

// A thickness rounded to device pixels, at least half a logical pixel.
double pixelThickness(double thickness, double scale)
{
    return std::max(0.5, std::round(scale * thickness) / scale);
}

PxRect regionUv(const AtlasRegion& region, int atlasSize)
{
    const double s = atlasSize;
    return {region.x / s, region.y / s, (region.x + region.width) / s, (region.y + region.height) / s};
}

}  // namespace

std::size_t MetalTerminalRenderer::GlyphKeyHash::operator()(const GlyphKey& k) const
{
    const double size = k.size == 0 ? 0.0 : k.size;  // -0.0 and 0.0 hash alike
    std::size_t h = std::size_t(k.faceId);
    h = h * 31 + std::hash<double>{}(size);
    return (h * 31 + k.glyph) * 31 + std::size_t(k.stretch);
}

std::size_t MetalTerminalRenderer::CustomGlyphKeyHash::operator()(const CustomGlyphKey& k) const
{
    std::size_t h = k.codePoint;
    for (int v : {k.cellWidthPx, k.cellHeightPx, k.baseThicknessPx, k.scale, int(k.antiAlias)}) h = h * 31 + v;
    return h;
}

void MetalTerminalRenderer::noteAtlasChange(const GlyphAtlas& atlas, int sizeBefore)
{
    if (atlas.size() == sizeBefore && !atlas.didReset()) return;
    glyphCache_.clear();
    customGlyphCache_.clear();
    rowCache_.clear();
    atlasResetDuringBuild_ = true;
}

const MetalTerminalRenderer::ScaledFont& MetalTerminalRenderer::scaledFontFor(const QRawFont& font, double scale)
{
    // Nearly every glyph of a frame comes from the face of the glyph before
    // it, so the last answer is tried first; faces are few, so the rest is
    // a short scan. Equal raw fonts share their font engine, which makes
    // the comparison a pointer test.
    const auto same = [&](const ScaledFont& entry) { return entry.scale == scale && entry.source == font; };
    if (lastScaledFont_ < scaledFonts_.size() && same(scaledFonts_[lastScaledFont_]))
        return scaledFonts_[lastScaledFont_];
    for (std::size_t i = 0; i < scaledFonts_.size(); ++i) {
        if (!same(scaledFonts_[i])) continue;
        lastScaledFont_ = i;
        return scaledFonts_[i];
    }
    // A face is known by its names, weight and style: distinct raw fonts of
    // one face share their glyphs in the atlas.
    const QString faceKey = font.familyName() + u'|' + font.styleName() + u'|' + QString::number(font.weight()) +
                            u'|' + QString::number(int(font.style()));
    const int faceId = faceIds_.try_emplace(faceKey, int(faceIds_.size())).first->second;
    // Bounded: a long run of fallback faces or scales starts the list over
    // (the glyphs stay cached by face). Callers hold no reference across
    // calls.
    if (scaledFonts_.size() >= 64) scaledFonts_.clear();
    QRawFont scaled = font;
    scaled.setPixelSize(font.pixelSize() * scale);
    scaledFonts_.push_back(ScaledFont{font, scale, std::move(scaled), faceId});
    lastScaledFont_ = scaledFonts_.size() - 1;
    return scaledFonts_.back();
}

std::optional<MetalTerminalRenderer::GlyphEntry> MetalTerminalRenderer::glyphEntry(const ScaledFont& font, quint32 glyph,
                                                                                  int stretch)
{
    const QRawFont& scaledFont = font.scaled;
    const GlyphKey key{font.faceId, scaledFont.pixelSize(), glyph, stretch};
    if (auto found = glyphCache_.find(key); found != glyphCache_.end()) {
        if (found->second.width <= 0) return std::nullopt;
        return found->second;
    }
    const auto bitmap = GlyphRasterizer::rasterize(scaledFont, glyph, stretch >= 2 ? 2 : 1, stretch >= 3 ? 2 : 1);
    if (!bitmap) {
        // Nothing to draw (a space): remembered, so it is not tried again.
        glyphCache_.emplace(key, GlyphEntry{});
        return std::nullopt;
    }
    GlyphAtlas& atlas = bitmap->isColor ? *colorAtlas_ : *grayscaleAtlas_;
    const int sizeBefore = atlas.size();
    const auto region = atlas.ensureRegion(bitmap->width, bitmap->height);
    if (!region) return std::nullopt;
    noteAtlasChange(atlas, sizeBefore);
    atlas.write(*region, bitmap->pixels, bitmap->width, bitmap->height);
    GlyphEntry entry{*region,
                     bitmap->width,
                     bitmap->height,
                     bitmap->bearingX,
                     bitmap->bearingY,
                     bitmap->isColor,
                     bitmap->isColor ? GlyphAtlasKind::color : GlyphAtlasKind::grayscale};
    glyphCache_.emplace(key, entry);
    return entry;
}

std::optional<MetalTerminalRenderer::CustomGlyphEntry> MetalTerminalRenderer::customGlyphEntry(
    char32_t codePoint, int cellWidthPx, int cellHeightPx, double scale, int baseThicknessPx, bool antiAlias,
    std::span<const qt::BlockElementRect> rects)
{
    const CustomGlyphKey key{codePoint,           cellWidthPx, cellHeightPx, baseThicknessPx,
                             std::max(1, int(std::lround(scale))), antiAlias};
    if (auto found = customGlyphCache_.find(key); found != customGlyphCache_.end()) return found->second;
    if (cellWidthPx < 1 || cellHeightPx < 1) return std::nullopt;
    const bool box = codePoint >= 0x2500 && codePoint <= 0x257F;
    if (!box && rects.empty()) return std::nullopt;

    // Drawn in white by the view's own renderers, in device pixels, as the
    // CPU drawing does; the atlas keeps the coverage.
    QImage image(cellWidthPx, cellHeightPx, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return std::nullopt;
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        const QRect cell(0, 0, cellWidthPx, cellHeightPx);
        if (box) {
            painter.setRenderHint(QPainter::Antialiasing, false);
            qt::BoxDrawingRenderer::draw(painter, codePoint, cell, scale, Qt::white, baseThicknessPx);
        } else {
            qt::BlockElementRenderer::draw(painter, cell, rects, Qt::white, antiAlias);
        }
    }
    const int sizeBefore = grayscaleAtlas_->size();
    const auto region = grayscaleAtlas_->ensureRegion(cellWidthPx, cellHeightPx);
    if (!region) return std::nullopt;
    noteAtlasChange(*grayscaleAtlas_, sizeBefore);
    grayscaleAtlas_->write(*region, std::span(image.constBits(), static_cast<std::size_t>(image.sizeInBytes())),
                           cellWidthPx, cellHeightPx);
    const CustomGlyphEntry entry{*region, cellWidthPx, cellHeightPx};
    customGlyphCache_.emplace(key, entry);
    return entry;
}

RowDrawData MetalTerminalRenderer::buildRowDrawData(std::int64_t row, const RowInputs& in)
{
    RowDrawData out;
    if (!in.view || row < 0 || row >= in.buffer->lines().count()) return out;
    TerminalView& view = *in.view;
    const BufferLine& line = in.buffer->lines()[row];
    const int cols = in.buffer->cols();
    const std::int64_t screenRow = row - in.yDisp;
    in.builder->build(static_cast<int>(row), line, cols, lineInfo_);
    const qt::ViewLineInfo& info = lineInfo_;

    const double s = in.scale;
    const double cw = in.cellWidth;
    const double ch = in.cellHeight;
    const int cellWidthPx = std::max(1, int(std::lround(cw * s)));
    const int cellHeightPx = std::max(1, int(std::lround(ch * s)));
    const double rowBottom = in.viewHeight - ch * double(screenRow + 1);
    const double rowTop = rowBottom + ch;
    const double rowBottomPx = s * rowBottom;
    const double rowTopPx = rowBottomPx + ch * s;

    QuadTransform t;
    t.mode = line.renderMode;
    using Mode = BufferLine::RenderLineMode;
    if (t.mode == Mode::doubledTop || t.mode == Mode::doubledDown) {
        t.clip = PxRect{0, rowBottomPx, in.viewWidthPx, rowTopPx};
        t.pivotY = t.mode == Mode::doubledTop ? s * rowTop : rowBottomPx;
    }
    const QColor defaultForeground = view.nativeForegroundColor().value_or(DeviceColor{}).toQColor();

    // Backgrounds; neighbouring runs of one fill make one rectangle, and a
    // run reaching the last column runs to the view's right edge. A fill of
    // exactly the colour every frame is cleared to adds nothing.
    const QColor cleared = view.metalBackgroundColor();
    for (size_t i = 0; i < info.runs.size();) {
        const QColor& fill = info.runs[i].fillColor();
        const int start = info.runs[i].column;
        int end = info.runs[i].endColumn;
        size_t next = i + 1;
        while (next < info.runs.size() && info.runs[next].fillColor() == fill) end = info.runs[next++].endColumn;
        i = next;
        if (!fill.isValid() || end <= start) continue;
        if (fill.alpha() == 255 && fill.rgb() == cleared.rgb()) continue;
        const double x1 = end >= cols ? in.viewWidthPx : cw * s * end;
        quads::appendColorCell(out.backgroundCells, {cw * s * start, rowBottomPx, x1, rowTopPx},
                               quads::toFloat4(fill), t);
    }

    appendLineImages(out, in, screenRow, info.images, t);

    // Box drawing and block elements, under the text glyphs of the list.
    const double cellBottomPx = std::round(rowBottomPx);
    const int baseThickness = qt::BoxDrawingRenderer::baseThicknessPx(s, rowMetrics_.underlineThickness);
    const auto customQuad = [&](const std::optional<CustomGlyphEntry>& entry, int column, const QColor& color) {
        if (!entry) return;
        const double x0 = double(column) * cellWidthPx;
        quads::appendTextCell(out.glyphCellsGray, {x0, cellBottomPx, x0 + entry->width, cellBottomPx + entry->height},
                              regionUv(entry->region, grayscaleAtlas_->size()), quads::toFloat4(color), t);
    };
    for (const qt::BoxDrawingRenderItem& item : info.boxDrawings) {
        const auto entry = customGlyphEntry(item.codePoint, cellWidthPx * item.columnWidth, cellHeightPx, s,
                                            baseThickness, false, {});
        customQuad(entry, item.column, item.foregroundColor);
    }
    const bool antiAlias = view.antiAliasCustomBlockGlyphs();
    for (const qt::BlockElementRenderItem& item : info.blockElements) {
        const auto entry = customGlyphEntry(item.codePoint, cellWidthPx * item.columnWidth, cellHeightPx, s, 0,
                                            antiAlias, item.rects);
        customQuad(entry, item.column, item.foregroundColor);
    }

    // Glyphs, each cluster at its cell's column on the row's baseline. On
    // double-size rows glyphs are rasterized stretched from their outlines
    // and placed in the row's doubled space, so they are as sharp as the
    // view's scaled vector drawing.
    const double baseline = rowBottom + rowMetrics_.descentAndLeading;  // points, y up
    const bool doubled = t.mode != Mode::single;
    const int stretch = !doubled ? 1 : t.mode == Mode::doubleWidth ? 2 : 3;
    QuadTransform clipOnly;
    clipOnly.clip = t.clip;
    for (const qt::ViewLineRun& run : info.runs) {
        if (run.concealed) continue;
        const Float4 color = quads::toFloat4(run.style.foreground.isValid() ? run.style.foreground : defaultForeground);
        for (int c = run.cellBegin; c < run.cellEnd; ++c) {
            const qt::ViewLineCell& cell = info.cells[c];
            if (cell.textLength == 0) continue;
            const double cellX = cw * cell.column;
            for (const qt::GlyphRunCache::Glyphs& g : glyphRuns_->glyphs(run.style.face, info.cellText(cell))) {
                const ScaledFont& scaled = scaledFontFor(g.font, s);
                for (qsizetype i = 0; i < g.indexes.size(); ++i) {
                    const auto entry = glyphEntry(scaled, g.indexes[i], stretch);
                    if (!entry) continue;
                    const QPointF p = g.positions[i];
                    const bool colorGlyph = entry->atlasKind == GlyphAtlasKind::color;
                    const GlyphAtlas& atlas = colorGlyph ? *colorAtlas_ : *grayscaleAtlas_;
                    auto& list = colorGlyph ? out.glyphCellsColor : out.glyphCellsGray;
                    const PxRect uv = regionUv(entry->region, atlas.size());
                    const Float4 tint = colorGlyph ? Float4{1, 1, 1, 1} : color;
                    const double baselinePx = s * (baseline - p.y());
                    if (!doubled) {
                        const double x0 = entry->bearingX + std::round(s * (cellX + p.x()));
                        const double y0 = entry->bearingY + std::round(baselinePx);
                        quads::appendTextCell(list, {x0, y0, x0 + entry->width, y0 + entry->height}, uv, tint, t);
                        continue;
                    }
                    const double x0 = entry->bearingX + std::round(2 * s * (cellX + p.x()));
                    const double y0 = entry->bearingY + std::round(t.mode == Mode::doubleWidth
                                                                       ? baselinePx
                                                                       : t.pivotY + 2 * (baselinePx - t.pivotY));
                    const double y1 = y0 + entry->height;
                    quads::appendTextCell(list, {x0, y0, x0 + entry->width, y1}, uv, tint, clipOnly);
                }
            }
        }
    }

    // Underline and strikethrough over every column of the run.
    const double underlineT = pixelThickness(rowMetrics_.underlineThickness, s);
    const double unit = s * std::max(1.0, underlineT);
    for (const qt::ViewLineRun& run : info.runs) {
        if (run.concealed) continue;
        const double x0 = s * cw * run.column;
        const double x1 = s * cw * run.endColumn;
        if (run.style.underline != UnderlineStyle::none) {
            const Float4 color =
                quads::toFloat4(run.style.underlineColor.isValid() ? run.style.underlineColor : defaultForeground);
            const double y = baseline - rowMetrics_.underlinePosition;
            quads::appendUnderlineSegments(x0, x1, s * y, s * underlineT, color, run.style.underline, unit, t,
                                           out.decorationCells);
            if (run.style.underline == UnderlineStyle::double_)
                quads::appendUnderlineSegments(x0, x1, s * (y - underlineT - 1.0), s * underlineT, color,
                                               UnderlineStyle::single, unit, t, out.decorationCells);
        }
        if (run.style.strikethrough) {
            const auto face = static_cast<size_t>(run.style.face);
            const double ts = pixelThickness(rowMetrics_.lineThickness[face], s);
            const double y = baseline + (rowMetrics_.xHeight[face] + ts) / 2;
            const Float4 color = quads::toFloat4(run.style.strikethroughColor.isValid() ? run.style.strikethroughColor
                                                                                        : defaultForeground);
            quads::appendUnderlineSegments(x0, x1, s * y, s * ts, color, UnderlineStyle::single, unit, t,
                                           out.decorationCells);
        }
    }

    appendPlaceholderImages(out, in, screenRow, info, t);
    return out;
}

}  // namespace corvel::gl
