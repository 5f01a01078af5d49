// The operations of a terminal's Kitty image store (the maps and counters of
// KittyGraphicsState): handing out ids, storing, touching, and keeping what
// the store holds within the terminal's limit. Runs on the terminal's thread.
//
// What counts against the limit is the images' bytes and, past the first
// kKittyImagesWithoutOverhead images, kKittyImageOverhead bytes for each
// image's own bookkeeping (its map entries, records and allocations), so
// that a flood of tiny images is held to the limit as large ones are.
// Eviction takes the least recently used image first from tick-ordered
// tables, so each eviction costs what it evicts, not what the store holds.
//
// Invariant kept here: totalImageBytes is the sum of byteSize over
// imagesById, and never below 0.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <unordered_set>

#include "corvel/kitty/KittyGraphicsPayload.h"

namespace corvel {

class Buffer;
class KittyGraphicsState;
class TerminalImage;
struct KittyGraphicsImage;

// What one stored image's bookkeeping costs beyond its bytes, rounded up.
inline constexpr int64_t kKittyImageOverhead = 256;
// So many images are held without counting their bookkeeping: a tiny limit
// still holds a few.
inline constexpr int64_t kKittyImagesWithoutOverhead = 64;

// What the store holds against its limit.
int64_t kittyStoreCharge(const KittyGraphicsState& state);

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

// Notes a line image of a Kitty placement of image `imageId` that has no
// record (one with a record shows its image through the record).
void noteKittyLineImage(KittyGraphicsState& state, uint32_t imageId, const std::shared_ptr<TerminalImage>& image);
// Whether a line image noted for `imageId` is still held by a line.
bool kittyImageOnLines(KittyGraphicsState& state, uint32_t imageId);
// The image tables of a store that was emptied.
void clearKittyImageTables(KittyGraphicsState& state);

// Evicts least recently used images, those not in use (as `inUse` tells)
// first, until the charge is within `limitBytes` (clamped to 0 ... 4 GiB).
// The image `keep`, just stored, is never evicted: the charge may pass the
// limit by that one image until the next store.
void enforceKittyImageCacheLimit(KittyGraphicsState& state, int64_t limitBytes,
                                 const std::function<bool(uint32_t)>& inUse, std::optional<uint32_t> keep);

}  // namespace corvel
