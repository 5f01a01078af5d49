// The Kitty image store's operations.
#include "corvel/kitty/KittyGraphicsStore.h"

#include "corvel/screen/Buffer.h"
#include "corvel/screen/TerminalImage.h"
#include "corvel/kitty/KittyGraphicsState.h"

#include <algorithm>
#include <vector>

namespace corvel {

namespace {

constexpr int64_t kMaxCacheLimit = int64_t{1} << 32;
// Skipped entries may outnumber live ones by this much before a compaction.
constexpr size_t kSlack = 64;

void lowerTotal(KittyGraphicsState& state, int64_t bytes)
{
    state.totalImageBytes = std::max<int64_t>(0, state.totalImageBytes - bytes);
}

void evict(KittyGraphicsState& state, uint32_t imageId)
{
    const auto found = state.imagesById.find(imageId);
    if (found == state.imagesById.end()) return;
    lowerTotal(state, found->second.byteSize);
    state.imagesById.erase(found);
    ++state.mutationCount;
    removeKittyImageNumbers(state, imageId);
}

// Whether a tick table's entry names an image as it still is.
bool current(const KittyGraphicsState& state, uint64_t tick, uint32_t imageId)
{
    const auto found = state.imagesById.find(imageId);
    return found != state.imagesById.end() && found->second.lastAccessTick == tick;
}

void noteTick(KittyGraphicsState& state, uint64_t tick, uint32_t imageId)
{
    // Ticks only grow: the newest goes last, so the end is where it is put
    // (the hint spares a walk down the tree of every image).
    state.imagesByTick.emplace_hint(state.imagesByTick.end(), tick, imageId);
    if (state.imagesByTick.size() + state.shownImagesByTick.size() <= 2 * state.imagesById.size() + kSlack) return;
    // Mostly skipped entries: start again from the images.
    state.imagesByTick.clear();
    state.shownImagesByTick.clear();
    for (const auto& [id, image] : state.imagesById) state.imagesByTick.emplace(image.lastAccessTick, id);
}

// The least recently used image not in use and not `keep`; images found in
// use on the way are set aside.
std::optional<uint32_t> oldestUnused(KittyGraphicsState& state, const std::function<bool(uint32_t)>& inUse,
                                     std::optional<uint32_t> keep)
{
    for (auto it = state.imagesByTick.begin(); it != state.imagesByTick.end();) {
        const auto [tick, id] = *it;
        if (!current(state, tick, id)) {
            it = state.imagesByTick.erase(it);
        } else if (id == keep) {
            ++it;
        } else if (inUse && inUse(id)) {
            state.shownImagesByTick.emplace(tick, id);
            it = state.imagesByTick.erase(it);
        } else {
            return id;
        }
    }
    return std::nullopt;
}

// Gives the images set aside as in use that no longer are back to the
// candidates; true when there was one.
bool returnUnused(KittyGraphicsState& state, const std::function<bool(uint32_t)>& inUse)
{
    bool returned = false;
    for (auto it = state.shownImagesByTick.begin(); it != state.shownImagesByTick.end();) {
        const auto [tick, id] = *it;
        if (!current(state, tick, id)) {
            it = state.shownImagesByTick.erase(it);
        } else if (!inUse || !inUse(id)) {
            state.imagesByTick.emplace(tick, id);
            it = state.shownImagesByTick.erase(it);
            returned = true;
        } else {
            ++it;
        }
    }
    return returned;
}

// The least recently used image in use, not `keep`.
std::optional<uint32_t> oldestInUse(KittyGraphicsState& state, std::optional<uint32_t> keep)
{
    for (auto it = state.shownImagesByTick.begin(); it != state.shownImagesByTick.end();) {
        const auto [tick, id] = *it;
        if (!current(state, tick, id)) {
            it = state.shownImagesByTick.erase(it);
        } else if (id == keep) {
            ++it;
        } else {
            return id;
        }
    }
    return std::nullopt;
}

}  // namespace

int64_t kittyStoreCharge(const KittyGraphicsState& state)
{
    const int64_t counted = std::max<int64_t>(0, static_cast<int64_t>(state.imagesById.size()) - kKittyImagesWithoutOverhead);
    return state.totalImageBytes + counted * kKittyImageOverhead;
}

uint32_t assignKittyImageId(KittyGraphicsState& state)
{
    state.placementIndex.reconcile(state.placementsByKey);
    for (;;) {
        const uint32_t candidate = state.nextImageId;
        state.nextImageId = candidate + 1;  // wraps from 4294967295 to 0
        if (candidate != 0 && !state.imagesById.contains(candidate) && !state.placementIndex.showsImage(candidate))
            return candidate;
    }
}

void storeKittyImage(KittyGraphicsState& state, KittyGraphicsPayload payload, uint32_t imageId,
                     std::optional<uint32_t> imageNumber)
{
    KittyGraphicsImage image;
    image.byteSize = payload.bytes ? static_cast<int64_t>(payload.bytes->size()) : 0;
    image.payload = std::move(payload);
    image.lastAccessTick = state.nextImageAccessTick++;
    image.generation = ++state.mutationCount;
    const auto old = state.imagesById.find(imageId);
    if (old != state.imagesById.end()) lowerTotal(state, old->second.byteSize);
    state.totalImageBytes += image.byteSize;
    const uint64_t tick = image.lastAccessTick;
    state.imagesById.insert_or_assign(imageId, std::move(image));
    noteTick(state, tick, imageId);
    if (imageNumber) state.imageNumbers[*imageNumber] = imageId;
}

const KittyGraphicsImage* updateKittyImageAccess(KittyGraphicsState& state, uint32_t imageId)
{
    const auto found = state.imagesById.find(imageId);
    if (found == state.imagesById.end()) return nullptr;
    found->second.lastAccessTick = state.nextImageAccessTick++;
    noteTick(state, found->second.lastAccessTick, imageId);
    return &found->second;
}

std::unordered_set<uint32_t> collectUsedKittyImageIds(const KittyGraphicsState& state,
                                                      std::span<Buffer* const> buffers)
{
    std::unordered_set<uint32_t> used;
    for (Buffer* buffer : buffers) {
        // The buffer counts its lines with images; one without any is not walked.
        if (!buffer || !buffer->hasAnyImages()) continue;
        for (int64_t row = 0; row < buffer->lines().count(); ++row) {
            const BufferLine& line = buffer->lines()[row];
            if (!line.images) continue;
            for (const auto& image : *line.images) {
                const KittyPlacementImage* kitty = image ? image->asKittyPlacementImage() : nullptr;
                if (!kitty) continue;
                if (const auto id = kitty->kittyImageId()) used.insert(*id);
            }
        }
    }
    for (const auto& [key, record] : state.placementsByKey) used.insert(record.imageId);
    return used;
}

void removeKittyImageNumbers(KittyGraphicsState& state, uint32_t imageId)
{
    std::erase_if(state.imageNumbers, [imageId](const auto& entry) { return entry.second == imageId; });
}

void noteKittyLineImage(KittyGraphicsState& state, uint32_t imageId, const std::shared_ptr<TerminalImage>& image)
{
    state.lineImagesById[imageId].push_back(image);
    if (++state.lineImageEntries <= state.lineImagePruneAt) return;
    // Twice as many entries as the last look found held: those whose lines
    // let them go are forgotten.
    size_t held = 0;
    for (auto it = state.lineImagesById.begin(); it != state.lineImagesById.end();) {
        std::erase_if(it->second, [](const std::weak_ptr<TerminalImage>& each) { return each.expired(); });
        held += it->second.size();
        it = it->second.empty() ? state.lineImagesById.erase(it) : std::next(it);
    }
    state.lineImageEntries = held;
    state.lineImagePruneAt = 2 * held + kSlack;
}

bool kittyImageOnLines(KittyGraphicsState& state, uint32_t imageId)
{
    const auto found = state.lineImagesById.find(imageId);
    if (found == state.lineImagesById.end()) return false;
    std::erase_if(found->second, [](const std::weak_ptr<TerminalImage>& each) { return each.expired(); });
    if (!found->second.empty()) return true;
    state.lineImagesById.erase(found);
    return false;
}

void clearKittyImageTables(KittyGraphicsState& state)
{
    state.imagesByTick.clear();
    state.shownImagesByTick.clear();
    state.lineImagesById.clear();
    state.lineImageEntries = 0;
}

void enforceKittyImageCacheLimit(KittyGraphicsState& state, int64_t limitBytes,
                                 const std::function<bool(uint32_t)>& inUse, std::optional<uint32_t> keep)
{
    const int64_t limit = std::clamp<int64_t>(limitBytes, 0, kMaxCacheLimit);
    while (kittyStoreCharge(state) > limit) {
        if (const auto unused = oldestUnused(state, inUse, keep)) {
            evict(state, *unused);
            continue;
        }
        if (returnUnused(state, inUse)) continue;
        // Images in use go next; their placements keep showing what they drew.
        const auto used = oldestInUse(state, keep);
        if (!used) return;
        evict(state, *used);
    }
}

}  // namespace corvel
