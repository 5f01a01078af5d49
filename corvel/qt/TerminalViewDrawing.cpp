// Drawing of TerminalView: run styles from the attribute caches, the paint
// event (the grid rows the dirty rectangle touches, each built by the line
// builder and drawn by the row painter, with its image layers), and the
// redraw task that turns the terminal's dirty rows into an invalidated band.
//
// Geometry: y down; screen row s occupies [s * cellHeight, (s + 1) * cellHeight)
// and the strip below the last grid row shows the native background. Layers
// of a row, bottom to top: backgrounds and selection, Kitty images with a
// negative z-index, box drawing, block elements, glyphs with their
// decorations, Kitty placeholder images, Kitty images with z-index 0 or more,
// other images. GUI thread only.
#include "corvel/kitty/KittyGraphicsState.h"
#include "corvel/qt/TerminalView.h"

#include "corvel/qt/BoxDrawingRenderer.h"
#include "corvel/qt/TerminalDebugView.h"
#include "corvel/qt/QtTerminalImage.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace corvel {

namespace {

qt::FontFace faceOf(const FontSet& set, const QFont& font)
{
    if (font == set.normal) return qt::FontFace::normal;
    if (font == set.bold) return qt::FontFace::bold;
    if (font == set.italic) return qt::FontFace::italic;
    if (font == set.boldItalic) return qt::FontFace::boldItalic;
    const bool bold = font.bold();
    if (font.italic()) return bold ? qt::FontFace::boldItalic : qt::FontFace::italic;
    return bold ? qt::FontFace::bold : qt::FontFace::normal;
}

using ImageList = std::vector<const qt::QtTerminalImage*>;

void sortKitty(ImageList& images)
{
    std::stable_sort(images.begin(), images.end(), [](const qt::QtTerminalImage* a, const qt::QtTerminalImage* b) {
        const auto key = [](const qt::QtTerminalImage* i) {
            return std::pair(i->kittyZIndex(), i->kittyImageId().value_or(0));
        };
        return key(a) < key(b);
    });
}

}  // namespace

// ---- run styles ----

const qt::RunStyle& TerminalView::runStyle(const Attribute& attribute, bool asLink)
{
    auto& cache = asLink ? urlRunStyles_ : runStyles_;
    if (auto found = cache.find(attribute); found != cache.end()) return found->second;
    const TextAttributes& text = getAttributes(attribute, asLink);
    qt::RunStyle style;
    style.face = faceOf(fontSet_, text.font);
    style.foreground = text.foreground.toQColor();
    style.background = text.background.toQColor();
    if (text.underline) {
        style.underline = underlineStyleFromRawValue(text.underlineStyle.value_or(1)).value_or(UnderlineStyle::single);
        if (style.underline == UnderlineStyle::none) style.underline = UnderlineStyle::single;
        style.underlineColor = text.underlineColor.value_or(text.foreground).toQColor();
    }
    if (text.strikethrough) {
        style.strikethrough = true;
        style.strikethroughColor = text.strikethroughColor.value_or(text.foreground).toQColor();
    }
    return cache.emplace(attribute, std::move(style)).first->second;
}

// ---- painting ----

void TerminalView::ensureGlyphCache()
{
    const std::array<QFont, 4> faces{fontSet_.normal, fontSet_.bold, fontSet_.italic, fontSet_.boldItalic};
    if (glyphs_ && faces == glyphFonts_) return;
    if (glyphs_) {
        glyphs_->setFonts(faces);
        glyphTiles_.clear();  // tiles of the old cell size are no longer drawn
    } else {
        glyphs_ = std::make_unique<qt::GlyphRunCache>(faces);
    }
    glyphFonts_ = faces;
    rowMetrics_ = qt::RowTextMetrics::fromFonts(*glyphs_);
}

void TerminalView::paintEvent(QPaintEvent* event)
{
    // The GPU surface covers the view and draws the rows itself: a repaint
    // of the view marks the rows it touches for the next frame.
    if (metalView()) {
        // Beyond a surface that keeps its old size for the rest of a
        // throttled live resize step, the background.
        const QRegion beyond = QRegion(event->rect()) - metalView()->geometry();
        if (!beyond.isEmpty()) {
            QPainter painter(this);
            const QColor background = nativeBg_.value_or(DeviceColor{}).toQColor();
            for (const QRect& part : beyond) painter.fillRect(part, background);
        }
        paintEventForMetal(event->rect());
        return;
    }
    QPainter painter(this);
    drawTerminalContents(painter, event->rect());
}

void TerminalView::drawTerminalContents(QPainter& painter, const QRect& dirtyRect)
{
    const QColor background = nativeBg_.value_or(DeviceColor{}).toQColor();
    if (!cellDimension_ || !terminal_) {
        painter.fillRect(dirtyRect, background);
        return;
    }
    ensureGlyphCache();
    const double cellHeight = cellDimension_->height();
    Buffer& buffer = terminal_->displayBuffer();
    const int rows = terminal_->rows();
    const int64_t lineCount = buffer.lines().count();

    // Kitty placements shown through placeholder cells, per image.
    std::unordered_map<uint32_t, std::vector<KittyPlacementRecord>> virtualPlacements;
    const bool alternate = terminal_->isDisplayBufferAlternate();
    for (const auto& [key, record] : terminal_->kittyGraphicsState.placementsByKey) {
        if (record.isVirtual && record.isAlternateBuffer == alternate)
            virtualPlacements[record.imageId].push_back(record);
    }
    // In ascending placement id, as the GPU renderer takes them.
    for (auto& [id, list] : virtualPlacements)
        std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.placementId < b.placementId; });
    // Placeholder images whose stored image went are dropped.
    if (placeholderImages_.size() > terminal_->kittyGraphicsState.imagesById.size()) {
        std::erase_if(placeholderImages_, [&](const auto& entry) {
            return !terminal_->kittyGraphicsState.imagesById.contains(entry.first);
        });
    }

    qt::LineBuilder builder(*terminal_, *this);
    configureLineBuilder(builder);

    // The screen rows the rectangle's band [top, bottom) touches.
    const double top = dirtyRect.top();
    const double bottom = top + dirtyRect.height();
    const int64_t first = std::max<int64_t>(0, static_cast<int64_t>(std::floor(top / cellHeight)));
    const int64_t last =
        std::min<int64_t>(rows - 1, static_cast<int64_t>(std::ceil(bottom / cellHeight)) - 1);
    for (int64_t screenRow = first; screenRow <= last; ++screenRow) {
        const int64_t row = buffer.yDisp() + screenRow;
        if (row < 0 || row >= lineCount) {
            painter.fillRect(QRectF(0, cellHeight * screenRow, width(), cellHeight), background);
            continue;
        }
        drawRow(painter, row, buffer.lines()[row], builder, virtualPlacements);
    }
    // The strip below the grid.
    const double gridBottom = cellHeight * rows;
    if (bottom > gridBottom) painter.fillRect(QRectF(0, gridBottom, width(), bottom - gridBottom), background);
}

void TerminalView::configureLineBuilder(qt::LineBuilder& builder)
{
    qt::LineBuildSettings& settings = builder.settings;
    settings.customBlockGlyphs = customBlockGlyphs_;
    settings.defaultForeground = nativeFg_.value_or(DeviceColor{}).toQColor();
    settings.selectionBackground = selectedTextBackgroundColor_.toQColor();
    settings.linkHighlightMode = linkHighlightMode;
    settings.linkHighlightRange = linkHighlightRange;
    settings.commandActive = commandActive;
    settings.selection.reset();
    if (selection_ && selection_->active()) settings.selection = std::pair(selection_->start(), selection_->end());
    settings.placeholderDecoder = placeholderDecoder;
}

void TerminalView::drawRow(QPainter& painter, int64_t row, const BufferLine& line, qt::LineBuilder& builder,
                           const std::unordered_map<uint32_t, std::vector<KittyPlacementRecord>>& virtualPlacements)
{
    const QSizeF cell = *cellDimension_;
    const double scale = painter.device()->devicePixelRatioF() > 0 ? painter.device()->devicePixelRatioF() : 1.0;
    const int cols = terminal_->cols();
    const qt::RowGeometry geometry{rowTop(static_cast<int>(row)), cell.width(), cell.height(), cols,
                                   static_cast<qreal>(width()), scale};
    builder.build(static_cast<int>(row), line, cols, lineInfo_);

    ImageList below, above, other;
    if (lineInfo_.images) {
        for (const auto& image : *lineInfo_.images) {
            const auto* qtImage = dynamic_cast<const qt::QtTerminalImage*>(image.get());
            if (!qtImage) continue;
            if (!qtImage->kittyIsKitty()) {
                other.push_back(qtImage);
            } else {
                (qtImage->kittyZIndex() < 0 ? below : above).push_back(qtImage);
            }
        }
        sortKitty(below);
        sortKitty(above);
    }
    const auto drawImages = [&](const ImageList& images) {
        for (const qt::QtTerminalImage* image : images) {
            QRectF target(cell.width() * image->col(), geometry.top, image->pixelWidth(), image->pixelHeight());
            // Pixel offsets are device pixels; a positive offset moves the
            // image right and down.
            if (image->kittyIsKitty())
                target.translate(image->kittyPixelOffsetX() / scale, image->kittyPixelOffsetY() / scale);
            painter.drawImage(target, image->image());
        }
    };

    const bool transformed = qt::RowPainter::applyLineTransform(painter, line.renderMode, geometry);
    qt::RowPainter::fillBackgrounds(painter, lineInfo_, geometry);
    drawImages(below);
    qt::RowPainter::drawBoxDrawings(painter, lineInfo_.boxDrawings, geometry,
                                    qt::BoxDrawingRenderer::baseThicknessPx(scale, rowMetrics_.underlineThickness),
                                    &glyphTiles_);
    qt::RowPainter::drawBlockElements(painter, lineInfo_.blockElements, geometry, antiAliasCustomBlockGlyphs_,
                                      &glyphTiles_);
    qt::RowPainter::drawText(painter, lineInfo_, geometry, *glyphs_, rowMetrics_, builder.settings.defaultForeground);

    if (!virtualPlacements.empty()) {
        for (const KittyPlaceholderCell& placeholder : lineInfo_.placeholderCells) {
            const auto list = virtualPlacements.find(placeholder.imageId);
            if (list == virtualPlacements.end()) continue;
            const auto record = std::find_if(list->second.begin(), list->second.end(), [&](const auto& r) {
                return (r.placementId == placeholder.placementId || placeholder.placementId == 0) &&
                       placeholder.placeholderCol < r.cols && placeholder.placeholderRow < r.rows && r.cols >= 1 &&
                       r.rows >= 1;
            });
            if (record == list->second.end()) continue;
            const QImage* image = kittyPlaceholderImage(placeholder.imageId);
            if (!image) continue;
            // The whole placement, with this cell at (placeholderCol, placeholderRow) of it.
            const QRectF placement(record->pixelOffsetX / scale + cell.width() * (placeholder.col - placeholder.placeholderCol),
                                   record->pixelOffsetY / scale + geometry.top - cell.height() * placeholder.placeholderRow,
                                   cell.width() * record->cols, cell.height() * record->rows);
            if (placement.width() <= 0 || placement.height() <= 0) continue;
            painter.save();
            painter.setClipRect(QRectF(cell.width() * placeholder.col, geometry.top, cell.width(), cell.height()),
                                Qt::IntersectClip);
            painter.drawImage(kittyAspectFitRect(QSizeF(image->size()), placement), *image);
            painter.restore();
        }
    }
    drawImages(above);
    drawImages(other);
    if (transformed) painter.restore();
}

// ---- redraw ----

QRect TerminalView::rowsRegion(int64_t first, int64_t last) const
{
    const double cellHeight = cellDimension_ ? cellDimension_->height() : 1.0;
    first = std::clamp<int64_t>(first, 0, terminal_->rows());
    const int top = static_cast<int>(std::floor(cellHeight * first));
    const int bottom = last >= terminal_->rows() - 1
                           ? height()
                           : static_cast<int>(std::ceil(cellHeight * (std::max(last, first) + 1)));
    return QRect(0, top, width(), std::max(0, bottom - top));
}

void TerminalView::updateDisplay(bool notifyAccessibility)
{
    ++displayUpdates_;
    updateCursorPosition();
    const auto range = terminal_->getUpdateRange();
    auto delegate = terminalDelegate_.lock();
    if (!range) {
        if (notifyUpdateChanges && delegate) {
            const Buffer& buffer = terminal_->displayBuffer();
            const int row = buffer.yDisp() + buffer.y();
            delegate->rangeChanged(*this, row, row);
        }
    } else {
        if (notifyUpdateChanges && delegate)
            delegate->rangeChanged(*this, static_cast<int>(range->first), static_cast<int>(range->second));
        terminal_->clearUpdateRange();
        update(rowsRegion(range->first, range->second));
        if (gpuPath_) metalRowsUpdated(range->first, range->second);
        if (notifyAccessibility) notifyAccessibilityOfDisplay();
    }
    pendingDisplay_ = false;
    if (debug_) debug_->refresh();
    requestMetalFrame();
}

}  // namespace corvel
