// The line side of Kitty placements: finding, moving and removing the images
// a placement attached to the buffer lines it covers, and resolving where a
// placement relative to a parent placement belongs. Stateless helpers over a
// buffer and the records of a KittyGraphicsState; the terminal calls them on
// its own thread.
//
// Rows are line indices of the buffer (0 the oldest line held). A line image
// knows which line of its placement it is (`kittyStripIndex`), so the
// placement's top is always the line it sits on minus that index, even after
// a full ring has renumbered its lines. Walks over lines never fill empty ring
// slots and skip a buffer without images.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "corvel/kitty/KittyPlacementKey.h"
#include "corvel/kitty/KittyPlacementRecord.h"

namespace corvel {

class Buffer;
class KittyGraphicsState;
class KittyPlacementImage;
class TerminalImage;

struct KittyPlacementPosition {
    int64_t row = 0;  // line index
    int64_t col = 0;

    bool operator==(const KittyPlacementPosition&) const = default;
};

using KittyPlacementPositions = std::unordered_map<KittyPlacementKey, KittyPlacementPosition>;
// Resolved positions by key; none marks a key known not to resolve.
using KittyResolvedPositions = std::unordered_map<KittyPlacementKey, std::optional<KittyPlacementPosition>>;

// The Kitty view of a line image: null for images of other protocols and for
// images whose `kittyIsKitty` is false.
const KittyPlacementImage* asKittyImage(const TerminalImage& image);
KittyPlacementImage* asKittyImage(TerminalImage& image);
// The placement key of a Kitty line image; none when either id is absent.
std::optional<KittyPlacementKey> kittyImageKey(const KittyPlacementImage& image);

// Where a new placement goes: for one with a parent, the column and line
// index derived from the parent, or the error to reply with.
struct KittyPlacementOrigin {
    std::optional<int64_t> col;
    std::optional<int64_t> row;  // line index
    bool isRelative = false;
    std::string_view error;  // empty when there is none
};

// The cell rectangle of a placement, with a width or height below 1 taken as 1.
struct KittyCellRect {
    int64_t col = 0;
    int64_t row = 0;  // line index of the top line
    int64_t cols = 1;
    int64_t rows = 1;

    bool contains(int64_t c, int64_t r) const { return c >= col && c - col < cols && r >= row && r - row < rows; }
    bool containsColumn(int64_t c) const { return c >= col && c - col < cols; }
    bool containsRow(int64_t r) const { return r >= row && r - row < rows; }
    // Meets the columns 0 ..< `columns` and the lines first ..< first + count.
    bool meets(int64_t columns, int64_t first, int64_t count) const
    {
        return col < columns && col + cols > 0 && row < first + count && row + rows > first;
    }
};

KittyCellRect kittyCellRect(const KittyPlacementRecord& record);
// For a line image found on line `lineIndex`: its top is taken from where it
// sits, not from its possibly stale `kittyRow`.
KittyCellRect kittyCellRect(const KittyPlacementImage& image, int64_t lineIndex);

// For every placement key with Kitty line images: the first line holding one
// (lowest line index) and that image's column.
KittyPlacementPositions collectKittyPlacementPositions(Buffer& buffer);

// Where the placement `key` belongs: its record's position (the one found on
// the lines for a normal placement), or for a relative placement its parent's
// resolved position plus its offsets. None when the record, or any record up
// the parent chain, is missing, belongs to the other buffer or takes part in
// a cycle. Every key met on the way is cached in `resolved`, so resolving
// many members of one chain stays linear. Chains of any length are walked
// without recursion.
std::optional<KittyPlacementPosition> resolveKittyPlacementPosition(
    const KittyGraphicsState& state, const KittyPlacementKey& key, const KittyPlacementPositions& positions,
    bool currentIsAlternate, KittyResolvedPositions& resolved);

// Moves every line image of `key` on lines first ..< last (clamped to the
// buffer) by `deltaRow` lines, setting its column and the placement's column
// to `newLeftCol` and its top row to `newTopRow`; images that would leave the
// buffer are dropped.
void moveKittyPlacementImages(Buffer& buffer, const KittyPlacementKey& key, int64_t deltaRow, int64_t newTopRow,
                              int64_t newLeftCol, int64_t first, int64_t last);

// What a removal changed.
struct KittyLineRemoval {
    std::unordered_set<KittyPlacementKey> keys;  // keys of the removed images that had both ids
    std::optional<int64_t> firstLine;            // smallest and largest line that lost an image
    std::optional<int64_t> lastLine;
    size_t count = 0;                            // images removed
};

// Takes the Kitty images that `predicate` (given the image and the line index
// it sits on) selects off lines first ..< last (clamped to the buffer).
// Other images stay in order; a line left without images drops its list.
KittyLineRemoval removeKittyLineImages(Buffer& buffer, int64_t first, int64_t last,
                                       const std::function<bool(const KittyPlacementImage&, int64_t)>& predicate);

// Takes these very images off lines first ..< last (clamped to the buffer),
// comparing identities only, so a line holding many images is walked at
// the cost of comparing pointers. The caller knows their keys: the removal
// lists none.
KittyLineRemoval removeLineImagesAmong(Buffer& buffer, int64_t first, int64_t last,
                                       std::span<const std::shared_ptr<TerminalImage>> images);

// Moves these very images, found on lines first ..< last, as
// moveKittyPlacementImages moves a key's; how many it found.
size_t moveLineImagesAmong(Buffer& buffer, std::span<const std::shared_ptr<TerminalImage>> images, int64_t deltaRow,
                           int64_t newTopRow, int64_t newLeftCol, int64_t first, int64_t last);

}  // namespace corvel
