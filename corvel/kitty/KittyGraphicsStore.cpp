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

// Evicts the listed images, least recently used first, until the total is
// within the limit.
void evictOldestFirst(KittyGraphicsState& state, std::vector<uint32_t> candidates, int64_t limit)
{
    std::stable_sort(candidates.begin(), candidates.end(), [&](uint32_t a, uint32_t b) {
        return state.imagesById.at(a).lastAccessTick < state.imagesById.at(b).lastAccessTick;
    });
    for (uint32_t id : candidates) {
        if (state.totalImageBytes <= limit) return;
        evict(state, id);
    }
}

}  // namespace

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
    state.imagesById.insert_or_assign(imageId, std::move(image));
    if (imageNumber) state.imageNumbers[*imageNumber] = imageId;
}

const KittyGraphicsImage* updateKittyImageAccess(KittyGraphicsState& state, uint32_t imageId)
{
    const auto found = state.imagesById.find(imageId);
    if (found == state.imagesById.end()) return nullptr;
    found->second.lastAccessTick = state.nextImageAccessTick++;
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

void enforceKittyImageCacheLimit(KittyGraphicsState& state, int64_t limitBytes,
                                 const std::function<std::unordered_set<uint32_t>()>& idsInUse,
                                 std::optional<uint32_t> keep)
{
    const int64_t limit = std::clamp<int64_t>(limitBytes, 0, kMaxCacheLimit);
    if (state.totalImageBytes <= limit) return;
    const std::unordered_set<uint32_t> used = idsInUse ? idsInUse() : std::unordered_set<uint32_t>();
    std::vector<uint32_t> unused;
    for (const auto& [id, image] : state.imagesById)
        if (id != keep && !used.contains(id)) unused.push_back(id);
    evictOldestFirst(state, std::move(unused), limit);
    if (state.totalImageBytes <= limit) return;
    // Images in use go next; their placements keep showing what they drew.
    std::vector<uint32_t> rest;
    for (const auto& [id, image] : state.imagesById)
        if (id != keep) rest.push_back(id);
    evictOldestFirst(state, std::move(rest), limit);
}

}  // namespace corvel
