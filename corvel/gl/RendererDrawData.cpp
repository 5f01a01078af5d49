// The renderer's frame build: the cache signature, the row cache with its
// dirty rows, the choice between per-row buffers and frame-wide lists, the
// virtual Kitty placements, the cursor, and the one rebuild after a glyph
// atlas grew or emptied itself mid-build. GUI thread, inside the frame.
#include "corvel/kitty/KittyGraphicsState.h"
#include "corvel/terminal/Terminal.h"

#include "corvel/gl/MetalTerminalRenderer.h"

#include <QFontInfo>

#include <algorithm>
#include <cmath>

#include "corvel/gl/MetalViewHost.h"
#include "corvel/qt/TerminalView.h"

namespace corvel::gl {

void MetalTerminalRenderer::ensureFonts(TerminalView& view)
{
    const FontSet& set = view.fontSet();
    const std::array<QFont, 4> faces{set.normal, set.bold, set.italic, set.boldItalic};
    if (glyphRuns_ && faces == glyphFonts_) return;
    if (glyphRuns_) {
        glyphRuns_->setFonts(faces);
    } else {
        glyphRuns_ = std::make_unique<qt::GlyphRunCache>(faces);
    }
    glyphFonts_ = faces;
    rowMetrics_ = qt::RowTextMetrics::fromFonts(*glyphRuns_);
    // The runs now come from other raw fonts; the faces' glyphs stay valid.
    scaledFonts_.clear();
}

DrawData MetalTerminalRenderer::buildDrawData(double scale)
{
    building_ = {};
    DrawData result = buildDrawDataOnce(scale);
    // A glyph atlas grew or emptied itself while rows were being built: the
    // regions of rows built before that are stale, so the frame is built
    // once more from an empty cache. A second reset during that build gets
    // no third build; its rows are rebuilt on the next frame (asked for
    // here, since nothing else would ask).
    if (atlasResetDuringBuild_ && !atlasResetHandled_) {
        atlasResetHandled_ = true;
        rowCache_.clear();
        result = buildDrawDataOnce(scale);
        if (atlasResetDuringBuild_) scheduleRedraw();
    }
    atlasResetHandled_ = false;
    lastBuild_ = building_;
    return result;
}

DrawData MetalTerminalRenderer::buildDrawDataOnce(double scale)
{
    ++building_.builds;
    MetalViewHost* host = terminalView();
    auto* view = host ? qobject_cast<TerminalView*>(host->terminalWidget()) : nullptr;
    if (!view || !view->cellDimension()) return {};
    atlasResetDuringBuild_ = false;
    pruneTextureCaches();
    ensureFonts(*view);

    Terminal& terminal = view->getTerminal();
    Buffer& buffer = terminal.displayBuffer();
    const double cellWidth = view->cellDimension()->width();
    const double cellHeight = view->cellDimension()->height();
    const int64_t lineCount = buffer.lines().count();
    if (lineCount < 1) return {};
    const int64_t yDisp = buffer.yDisp();
    const int64_t firstRow = yDisp;
    const int64_t lastRow = std::min<int64_t>(yDisp + buffer.rows() - 1, lineCount - 1);
    if (lastRow < firstRow) return {};

    const MetalBufferingMode mode = view->metalBufferingMode;
    if (!cacheBufferingMode_ || *cacheBufferingMode_ != mode) {
        if (mode == MetalBufferingMode::perFrameAggregated)
            for (auto& [row, entry] : rowCache_) entry.buffers.reset();
        cacheBufferingMode_ = mode;
    }

    const KittyGraphicsState& kitty = terminal.kittyGraphicsState;
    const bool alternate = terminal.isDisplayBufferAlternate();
    const QFont& font = view->fontSet().normal;
    CacheSignature signature{scale,
                             cellWidth,
                             cellHeight,
                             static_cast<double>(view->width()),
                             static_cast<double>(view->height()),
                             yDisp,
                             buffer.rows(),
                             buffer.cols(),
                             font.key(),
                             font.pixelSize() > 0 ? double(font.pixelSize()) : font.pointSizeF(),
                             alternate,
                             KittyCacheStamp{static_cast<int64_t>(kitty.imagesById.size()),
                                             static_cast<int64_t>(kitty.placementsByKey.size()), kitty.nextImageId,
                                             kitty.nextPlacementId, kitty.mutationCount}};
    bool rebuildAll = false;
    if (!cacheSignature_ || !(*cacheSignature_ == signature)) {
        rowCache_.clear();
        cacheSignature_ = signature;
        rebuildAll = true;
        building_.signatureChanged = true;
    }
    if (!rowCache_.empty())
        std::erase_if(rowCache_, [&](const auto& entry) { return entry.first < firstRow || entry.first > lastRow; });
    const auto dirty = view->metalDirtyRange;
    view->metalDirtyRange.reset();
    if (rowCache_.empty()) rebuildAll = true;
    int64_t dirtyFirst = 1, dirtyLast = 0;
    if (dirty) {
        dirtyFirst = std::max(firstRow, dirty->first);
        dirtyLast = std::min(lastRow, dirty->second);
    }

    // Placements shown through placeholder cells, per image.
    std::unordered_map<uint32_t, std::vector<KittyPlacementRecord>> virtualPlacements;
    for (const auto& [key, record] : kitty.placementsByKey)
        if (record.isVirtual && record.isAlternateBuffer == alternate)
            virtualPlacements[record.imageId].push_back(record);
    // In ascending placement id, so the placement a cell picks does not
    // depend on the map's order.
    for (auto& [id, list] : virtualPlacements)
        std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.placementId < b.placementId; });

    qt::LineBuilder builder(terminal, *view);
    view->configureLineBuilder(builder);
    RowInputs inputs;
    inputs.builder = &builder;
    inputs.view = view;
    inputs.buffer = &buffer;
    inputs.yDisp = yDisp;
    inputs.cellWidth = cellWidth;
    inputs.cellHeight = cellHeight;
    inputs.viewHeight = view->height();
    inputs.viewWidthPx = scale * view->width();
    inputs.scale = scale;
    inputs.virtualPlacements = &virtualPlacements;

    DrawData result;
    if (mode == MetalBufferingMode::perFrameAggregated) result.frame.emplace();
    for (int64_t row = firstRow; row <= lastRow; ++row) {
        auto cached = rowCache_.find(row);
        const bool rebuild = rebuildAll || (row >= dirtyFirst && row <= dirtyLast) || cached == rowCache_.end();
        if (rebuild) {
            RowCacheEntry entry;
            entry.data = buildRowDrawData(row, inputs);
            ++building_.rowsRebuilt;
            if (mode == MetalBufferingMode::perRowPersistent) entry.buffers = makeRowBuffers(*entry.data);
            cached = rowCache_.insert_or_assign(row, std::move(entry)).first;
        } else if (mode == MetalBufferingMode::perRowPersistent && !cached->second.buffers) {
            cached->second.buffers = makeRowBuffers(*cached->second.data);
        }
        if (mode == MetalBufferingMode::perRowPersistent) {
            result.rows.push_back(cached->second.buffers);
        } else {
            result.frame->append(*cached->second.data);
        }
    }
    buildCursorDrawData(result, scale, cellWidth, cellHeight, yDisp, firstRow, lastRow);
    return result;
}

std::shared_ptr<const RowDrawBuffers> MetalTerminalRenderer::makeRowBuffers(const RowDrawData& data)
{
    auto buffers = std::make_shared<RowDrawBuffers>(*device_);
    const auto make = [&](const auto& list, GpuHandle& buffer, int& count) {
        if (list.empty()) return;
        const std::size_t bytes = list.size() * sizeof(list[0]);
        buffer = device_->createBuffer(bytes);
        if (!buffer) return;
        device_->writeBuffer(buffer, 0, list.data(), bytes);
        count = static_cast<int>(list.size());
        ++building_.rowBuffersMade;
    };
    make(data.backgroundCells, buffers->backgroundBuffer, buffers->backgroundCount);
    buffers->backgroundOpaque = allOpaque(data.backgroundCells);
    make(data.glyphCellsGray, buffers->glyphGrayBuffer, buffers->glyphGrayCount);
    make(data.glyphCellsColor, buffers->glyphColorBuffer, buffers->glyphColorCount);
    make(data.decorationCells, buffers->decorationBuffer, buffers->decorationCount);
    makeImageDrawBuffers(data.underImageDraws, buffers->underImageBuffers);
    makeImageDrawBuffers(data.placeholderImageDraws, buffers->placeholderImageBuffers);
    makeImageDrawBuffers(data.overImageDraws, buffers->overImageBuffers);
    makeImageDrawBuffers(data.otherImageDraws, buffers->otherImageBuffers);
    return buffers;
}

}  // namespace corvel::gl
