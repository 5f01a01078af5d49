// Kitty placements on buffer lines: lookup, resolution of parent chains,
// moving and removing line images.
#include "corvel/kitty/KittyPlacementLines.h"

#include "corvel/screen/Buffer.h"
#include "corvel/screen/TerminalImage.h"
#include "corvel/kitty/KittyGraphicsState.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace corvel {

namespace {

bool isRelative(const KittyPlacementRecord& record)
{
    return record.parentImageId && record.parentPlacementId;
}

}  // namespace

const KittyPlacementImage* asKittyImage(const TerminalImage& image)
{
    const KittyPlacementImage* kitty = image.asKittyPlacementImage();
    return kitty && kitty->kittyIsKitty() ? kitty : nullptr;
}

KittyPlacementImage* asKittyImage(TerminalImage& image)
{
    KittyPlacementImage* kitty = image.asKittyPlacementImage();
    return kitty && kitty->kittyIsKitty() ? kitty : nullptr;
}

std::optional<KittyPlacementKey> kittyImageKey(const KittyPlacementImage& image)
{
    const auto imageId = image.kittyImageId();
    const auto placementId = image.kittyPlacementId();
    if (!imageId || !placementId) return std::nullopt;
    return KittyPlacementKey{*imageId, *placementId};
}

KittyCellRect kittyCellRect(const KittyPlacementRecord& record)
{
    return {record.col, record.row, std::max<int64_t>(record.cols, 1), std::max<int64_t>(record.rows, 1)};
}

KittyCellRect kittyCellRect(const KittyPlacementImage& image, int64_t lineIndex)
{
    return {image.kittyCol(), lineIndex - image.kittyStripIndex(), std::max<int64_t>(image.kittyCols(), 1),
            std::max<int64_t>(image.kittyRows(), 1)};
}

KittyPlacementPositions collectKittyPlacementPositions(Buffer& buffer)
{
    KittyPlacementPositions positions;
    if (!buffer.hasAnyImages()) return positions;
    const int64_t count = buffer.lines().count();
    for (int64_t row = 0; row < count; ++row) {
        const BufferLine* line = buffer.peekLine(row);
        if (!line || !line->images) continue;
        for (const auto& image : *line->images) {
            const KittyPlacementImage* kitty = asKittyImage(*image);
            if (!kitty) continue;
            if (const auto key = kittyImageKey(*kitty)) positions.try_emplace(*key, KittyPlacementPosition{row, image->col()});
        }
    }
    return positions;
}

std::optional<KittyPlacementPosition> resolveKittyPlacementPosition(
    const KittyGraphicsState& state, const KittyPlacementKey& key, const KittyPlacementPositions& positions,
    bool currentIsAlternate, KittyResolvedPositions& resolved)
{
    // Walk up to the first placement that is absolute or already resolved,
    // noting the relative ones passed; then resolve them top down.
    std::vector<const KittyPlacementRecord*> chain;
    std::unordered_set<KittyPlacementKey> visiting;
    std::optional<KittyPlacementPosition> top;
    KittyPlacementKey current = key;
    for (;;) {
        if (const auto known = resolved.find(current); known != resolved.end()) {
            top = known->second;
            break;
        }
        const auto found = state.placementsByKey.find(current);
        if (found == state.placementsByKey.end() || found->second.isAlternateBuffer != currentIsAlternate ||
            !visiting.insert(current).second) {
            top.reset();
            break;
        }
        const KittyPlacementRecord& record = found->second;
        if (isRelative(record)) {
            chain.push_back(&record);
            current = {*record.parentImageId, *record.parentPlacementId};
            continue;
        }
        KittyPlacementPosition base{record.row, record.col};
        if (!record.isVirtual) {
            if (const auto onLines = positions.find(current); onLines != positions.end()) base = onLines->second;
        }
        resolved[current] = base;
        top = base;
        break;
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const KittyPlacementRecord& record = **it;
        if (top) top = KittyPlacementPosition{top->row + record.parentOffsetV, top->col + record.parentOffsetH};
        resolved[{record.imageId, record.placementId}] = top;
    }
    return top;
}

namespace {

// Moves the images `selects` picks off lines first ..< last by `deltaRow`
// lines (see moveKittyPlacementImages); how many it picked.
size_t moveLineImages(Buffer& buffer, const std::function<bool(const TerminalImage&)>& selects, int64_t deltaRow,
                      int64_t newTopRow, int64_t newLeftCol, int64_t first, int64_t last)
{
    if (!buffer.hasAnyImages()) return 0;
    struct Moved {
        std::shared_ptr<TerminalImage> image;
        int64_t target = 0;
    };
    std::vector<Moved> moved;
    const int64_t count = buffer.lines().count();
    for (int64_t row = std::max<int64_t>(first, 0); row < std::min(last, count); ++row) {
        BufferLine* line = buffer.peekLine(row);
        if (!line || !line->images) continue;
        auto& images = *line->images;
        const auto rest = std::stable_partition(images.begin(), images.end(),
                                                [&](const auto& image) { return !(image && selects(*image)); });
        if (rest == images.end()) continue;
        for (auto it = rest; it != images.end(); ++it) moved.push_back({std::move(*it), row + deltaRow});
        images.erase(rest, images.end());
        if (images.empty()) buffer.clearImagesFromLine(row);
    }
    for (Moved& each : moved) {
        if (each.target < 0 || each.target >= count) continue;
        KittyPlacementImage* kitty = asKittyImage(*each.image);
        each.image->setCol(newLeftCol);
        kitty->setKittyCol(newLeftCol);
        kitty->setKittyRow(newTopRow);
        buffer.attachImage(std::move(each.image), each.target);
    }
    return moved.size();
}

bool isAmong(const TerminalImage& image, std::span<const std::shared_ptr<TerminalImage>> images)
{
    for (const auto& each : images)
        if (each.get() == &image) return true;
    return false;
}

}  // namespace

void moveKittyPlacementImages(Buffer& buffer, const KittyPlacementKey& key, int64_t deltaRow, int64_t newTopRow,
                              int64_t newLeftCol, int64_t first, int64_t last)
{
    moveLineImages(
        buffer,
        [&](const TerminalImage& image) {
            const KittyPlacementImage* kitty = asKittyImage(image);
            return kitty && kittyImageKey(*kitty) == key;
        },
        deltaRow, newTopRow, newLeftCol, first, last);
}

size_t moveLineImagesAmong(Buffer& buffer, std::span<const std::shared_ptr<TerminalImage>> images, int64_t deltaRow,
                           int64_t newTopRow, int64_t newLeftCol, int64_t first, int64_t last)
{
    return moveLineImages(
        buffer, [&](const TerminalImage& image) { return isAmong(image, images) && asKittyImage(image); }, deltaRow,
        newTopRow, newLeftCol, first, last);
}

namespace {

// Takes the images `selects` picks (given the line index) off lines
// first ..< last; with `collectKeys`, notes the keys of those removed.
KittyLineRemoval removeLineImages(Buffer& buffer, int64_t first, int64_t last,
                                  const std::function<bool(const TerminalImage&, int64_t)>& selects,
                                  bool collectKeys)
{
    KittyLineRemoval removal;
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, buffer.lines().count());
    if (first >= last || !buffer.hasAnyImages()) return removal;
    for (int64_t row = first; row < last; ++row) {
        BufferLine* line = buffer.peekLine(row);
        if (!line || !line->images) continue;
        auto& images = *line->images;
        const size_t removed = std::erase_if(images, [&](const std::shared_ptr<TerminalImage>& image) {
            if (!image || !selects(*image, row)) return false;
            if (!collectKeys) return true;
            if (const KittyPlacementImage* kitty = asKittyImage(*image)) {
                if (const auto key = kittyImageKey(*kitty)) removal.keys.insert(*key);
            }
            return true;
        });
        if (removed == 0) continue;
        removal.count += removed;
        if (images.empty()) buffer.clearImagesFromLine(row);
        if (!removal.firstLine) removal.firstLine = row;
        removal.lastLine = row;
    }
    return removal;
}

}  // namespace

KittyLineRemoval removeLineImagesAmong(Buffer& buffer, int64_t first, int64_t last,
                                       std::span<const std::shared_ptr<TerminalImage>> images)
{
    if (images.empty()) return {};
    return removeLineImages(buffer, first, last,
                            [&](const TerminalImage& image, int64_t) { return isAmong(image, images); }, false);
}

KittyLineRemoval removeKittyLineImages(Buffer& buffer, int64_t first, int64_t last,
                                       const std::function<bool(const KittyPlacementImage&, int64_t)>& predicate)
{
    return removeLineImages(buffer, first, last, [&](const TerminalImage& image, int64_t row) {
        const KittyPlacementImage* kitty = asKittyImage(image);
        return kitty && predicate(*kitty, row);
    }, true);
}

}  // namespace corvel
