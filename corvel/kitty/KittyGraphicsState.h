// The Kitty graphics state of one terminal: the image store, client image
// numbers, id counters, the open chunked transfer, the placement records with
// their side tables, and a count of changes.
// A terminal makes one, empty, at construction and keeps it for its life.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "corvel/kitty/KittyGraphicsImage.h"
#include "corvel/kitty/KittyPlacementIndex.h"
#include "corvel/kitty/KittyPlacementKey.h"
#include "corvel/kitty/KittyPlacementRecord.h"

namespace corvel {

// An unfinished chunked transfer (KittyGraphicsPending.h).
struct KittyGraphicsPending;

class TerminalImage;

class KittyGraphicsState {
public:
    KittyGraphicsState() = default;
    KittyGraphicsState(const KittyGraphicsState&) = delete;
    KittyGraphicsState& operator=(const KittyGraphicsState&) = delete;

    std::unordered_map<uint32_t, KittyGraphicsImage> imagesById;
    std::unordered_map<uint32_t, uint32_t> imageNumbers;  // client image number -> id
    uint32_t nextImageId = 1;
    uint32_t nextPlacementId = 1;
    std::shared_ptr<KittyGraphicsPending> pending;  // none while no transfer is open
    KittyPlacementRecords placementsByKey;
    // Kept by whoever stores and erases records (the terminal).
    KittyPlacementIndex placementIndex;
    int64_t totalImageBytes = 0;
    uint64_t nextImageAccessTick = 1;
    // Stored images by access tick, least recently used first, for eviction
    // (KittyGraphicsStore.h): those not known to be shown, and those found
    // shown when last looked at. An entry whose image went, or was used
    // again since, is skipped.
    std::map<uint64_t, uint32_t> imagesByTick;
    std::map<uint64_t, uint32_t> shownImagesByTick;
    // The line images of Kitty placements without a record, by image id,
    // held weakly: an image all of whose line images went is shown on no line.
    std::unordered_map<uint32_t, std::vector<std::weak_ptr<TerminalImage>>> lineImagesById;
    size_t lineImageEntries = 0;
    size_t lineImagePruneAt = 64;  // entries past which those let go are dropped
    // Counts changes of the stored images and placements, so whoever caches
    // what it drew from them (the GPU renderer) sees a change that leaves
    // every count and id as it was (an image re-sent under its id). Bumped by
    // every operation that stores, evicts or clears images or placements.
    uint64_t mutationCount = 0;
};

}  // namespace corvel
