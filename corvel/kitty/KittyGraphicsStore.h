// The operations of a terminal's Kitty image store (the maps and counters of
// KittyGraphicsState): handing out ids, storing, touching, and keeping the
// bytes held within the terminal's limit. Runs on the terminal's thread.
//
// Invariant kept here: totalImageBytes is the sum of byteSize over
// imagesById, and never below 0.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <unordered_set>

#include "corvel/kitty/KittyGraphicsPayload.h"

namespace corvel {

class Buffer;
class KittyGraphicsState;
struct KittyGraphicsImage;

// The id for a transmission by image number: the next value of the counter
// that holds no image and no placement record (0 is skipped), so such a
// transmission never replaces another image. The counter moves past it.
uint32_t assignKittyImageId(KittyGraphicsState& state);

// Stores `payload` under `imageId`, replacing what the id held (placements of
// the old image are not touched), stamps it with the next access tick and,
// with a number, points that number at the id.
void storeKittyImage(KittyGraphicsState& state, KittyGraphicsPayload payload, uint32_t imageId,
                     std::optional<uint32_t> imageNumber);

// Gives the image a new access tick; null when the id holds none.
const KittyGraphicsImage* updateKittyImageAccess(KittyGraphicsState& state, uint32_t imageId);

// The image ids that placement records and Kitty line images of `buffers` show.
std::unordered_set<uint32_t> collectUsedKittyImageIds(const KittyGraphicsState& state,
                                                      std::span<Buffer* const> buffers);

// Removes every image-number entry that points at `imageId`.
void removeKittyImageNumbers(KittyGraphicsState& state, uint32_t imageId);

// Evicts least recently used images, those not in use (as `idsInUse` tells,
// asked only when over the limit) first, until the total is within
// `limitBytes` (clamped to 0 ... 4 GiB). The image `keep`, just stored, is
// never evicted: the total may pass the limit by that one image until the
// next store.
void enforceKittyImageCacheLimit(KittyGraphicsState& state, int64_t limitBytes,
                                 const std::function<std::unordered_set<uint32_t>()>& idsInUse,
                                 std::optional<uint32_t> keep);

}  // namespace corvel
