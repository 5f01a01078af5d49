// The cursor as the renderer draws it over the rows: a hollow box without
// focus, else a block (with the character under it redrawn in the caret's
// text colour), an underline or a bar, one cell wide, in the caret colour.
// Built afresh every frame from the terminal, the view and the blink phase;
// never part of a row. GUI thread, inside the frame build.
#include "corvel/terminal/Terminal.h"

#include "corvel/gl/MetalTerminalRenderer.h"

#include <algorithm>
#include <cmath>

#include "corvel/gl/MetalViewHost.h"
#include "corvel/qt/CaretView.h"
#include "corvel/qt/TerminalView.h"

namespace corvel::gl {

namespace {

bool isScalarCode(int32_t code)
{
    return code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
}

}  // namespace

void MetalTerminalRenderer::buildCursorDrawData(DrawData& out, double s, double cw, double ch, std::int64_t yDisp,
                                                std::int64_t firstRow, std::int64_t lastRow)
{
    MetalViewHost* host = terminalView();
    auto* view = host ? qobject_cast<TerminalView*>(host->terminalWidget()) : nullptr;
    if (!view) return;
    Terminal& terminal = view->getTerminal();
    if (terminal.cursorHidden) return;
    Buffer& buffer = terminal.displayBuffer();
    const std::int64_t r = std::int64_t(buffer.yBase()) + buffer.y();
    if (r < 0 || r < firstRow || r > lastRow || r >= buffer.lines().count()) return;
    const int x = buffer.x();
    if (x < 0 || x >= buffer.cols()) return;
    const CursorStyle style = terminal.options().cursorStyle;
    if (CaretView::isBlinking(style) && !cursorBlinkOn_) return;

    const BufferLine& line = buffer.lines()[r];
    const double widthFactor = line.renderMode == BufferLine::RenderLineMode::single ? 1 : 2;
    const double yBottom = view->height() - ch * double(r - yDisp + 1);
    const double yBottomPx = s * yBottom;
    const double yTopPx = yBottomPx + s * ch;
    const double cellWidthPx = s * cw;
    const double xLeft = widthFactor * cellWidthPx * x;
    const double xRight = xLeft + cellWidthPx;
    const bool focused = view->caretViewTracksFocus() ? view->hasFocus() : true;
    const Float4 color = quads::toFloat4(view->caretColor().toQColor());

    const auto quad = [&](double x0, double y0, double x1, double y1) {
        const auto vertex = [&](double vx, double vy) {
            ColorVertex v;
            v.position = {float(vx), float(vy)};
            v.color = color;
            return v;
        };
        for (const ColorVertex& v : {vertex(x0, y0), vertex(x1, y0), vertex(x0, y1), vertex(x1, y0),
                                     vertex(x1, y1), vertex(x0, y1)})
            out.cursorColorVertices.push_back(v);
    };
    if (!focused) {
        const double t = std::max(3 * s, 1.0);
        quad(xLeft, yBottomPx, xRight, yBottomPx + t);
        quad(xLeft, yTopPx - t, xRight, yTopPx);
        quad(xLeft, yBottomPx + t, xLeft + t, yTopPx - t);
        quad(xRight - t, yBottomPx + t, xRight, yTopPx - t);
        return;
    }
    const double t = std::max(2 * s, 1.0);
    switch (style) {
    case CursorStyle::blinkUnderline:
    case CursorStyle::steadyUnderline: quad(xLeft, yBottomPx, xRight, yBottomPx + t); return;
    case CursorStyle::blinkBar:
    case CursorStyle::steadyBar: quad(xLeft, yBottomPx, xLeft + t, yTopPx); return;
    case CursorStyle::blinkBlock:
    case CursorStyle::steadyBlock: quad(xLeft, yBottomPx, xRight, yTopPx); break;
    }

    // The character under a block cursor; a cursor past the line's cells
    // stands on a blank and draws no glyph.
    if (x >= line.count()) return;
    const CharData& cell = line[x];
    if (cell.code == 0) return;
    const QString text = isScalarCode(cell.code) ? QString::fromUcs4(reinterpret_cast<const char32_t*>(&cell.code), 1)
                                                 : QString::fromStdString(terminal.character(cell.code));
    const bool bold = cell.attribute.style.contains(CharacterStyle::bold);
    const bool italic = cell.attribute.style.contains(CharacterStyle::italic);
    const qt::FontFace face = bold ? (italic ? qt::FontFace::boldItalic : qt::FontFace::bold)
                                   : (italic ? qt::FontFace::italic : qt::FontFace::normal);
    const Float4 textColor = quads::toFloat4(
        view->caretTextColor().value_or(view->nativeForegroundColor().value_or(DeviceColor{})).toQColor());
    const double cellX = cw * widthFactor * x;
    const double baseline = yBottom + rowMetrics_.descentAndLeading;
    for (const qt::GlyphRunCache::Glyphs& g : glyphRuns_->glyphs(face, text)) {
        const ScaledFont& scaled = scaledFontFor(g.font, s);
        for (qsizetype i = 0; i < g.indexes.size(); ++i) {
            const auto entry = glyphEntry(scaled, g.indexes[i]);
            if (!entry) continue;
            const QPointF p = g.positions[i];
            const double x0 = entry->bearingX + std::round(s * (cellX + p.x()));
            const double y0 = entry->bearingY + std::round(s * (baseline - p.y()));
            const double x1 = x0 + entry->width;
            const double y1 = y0 + entry->height;
            const double cx0 = std::max(xLeft, x0), cx1 = std::min(xRight, x1);
            const double cy0 = std::max(yBottomPx, y0), cy1 = std::min(yTopPx, y1);
            if (!(cx0 < cx1) || !(cy0 < cy1)) continue;
            const bool colorGlyph = entry->atlasKind == GlyphAtlasKind::color;
            const double size = (colorGlyph ? *colorAtlas_ : *grayscaleAtlas_).size();
            const double uMin = entry->region.x / size, vMin = entry->region.y / size;
            const double uSpan = (entry->region.x + entry->region.width) / size - uMin;
            const double vSpan = (entry->region.y + entry->region.height) / size - vMin;
            const auto u = [&](double cx) { return uMin + uSpan * (cx - x0) / (x1 - x0); };
            const auto v = [&](double cy) { return vMin + vSpan * (cy - y0) / (y1 - y0); };
            const Float4 vertexColor = entry->isColor ? Float4{1, 1, 1, 1} : textColor;
            auto& list = colorGlyph ? out.cursorGlyphVerticesColor : out.cursorGlyphVerticesGray;
            const auto vertex = [&](double vx, double vy) {
                GlyphVertex gv;
                gv.position = {float(vx), float(vy)};
                gv.texCoord = {float(u(vx)), float(v(vy))};
                gv.color = vertexColor;
                return gv;
            };
            for (const GlyphVertex& gv : {vertex(cx0, cy0), vertex(cx1, cy0), vertex(cx0, cy1), vertex(cx1, cy0),
                                          vertex(cx1, cy1), vertex(cx0, cy1)})
                list.push_back(gv);
        }
    }
}

}  // namespace corvel::gl
