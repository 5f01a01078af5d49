// Kitty placements after they are made: where relative placements go and how
// they follow their parents when the screen scrolls, replacing a placement,
// the delete command and its selectors, clearing on buffer switches, erase
// and reset, and freeing stored images nothing shows. Each placement lives as
// a record in kittyGraphicsState and as images on the lines it covers; every
// removal here takes the line images, the records and then the line images of
// records whose images were elsewhere, so the two sides stay consistent.
// Record rows lag behind the lines a full ring dropped until they are
// settled: everything here that reads or changes records settles first.
// Runs on the terminal's thread.
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalInternals.h"

#include "corvel/kitty/KittyGraphicsReply.h"
#include "corvel/kitty/KittyGraphicsStore.h"

#include <cctype>
#include <utility>

namespace corvel {

namespace {

constexpr int64_t kNumberLimit = int64_t{1} << 31;

int64_t clampNumber(int64_t value)
{
    return std::clamp(value, -kNumberLimit, kNumberLimit);
}

bool isRelativeRecord(const KittyPlacementRecord& record)
{
    return record.parentImageId && record.parentPlacementId;
}

// The position of each non-virtual record of the buffer, found cheaply where
// its top strip still sits on the record's row (the common case after a
// scroll), else by walking every line.
KittyPlacementPositions positionsForUpdate(const KittyGraphicsState& state, Buffer& buffer, bool isAlternate)
{
    KittyPlacementPositions positions;
    if (!buffer.hasAnyImages()) return positions;
    const int64_t count = buffer.lines().count();
    for (const auto& [key, record] : state.placementsByKey) {
        if (record.isVirtual || record.isAlternateBuffer != isAlternate) continue;
        // Wholly above the oldest line: nothing of it is left on the lines.
        if (record.row + std::max<int64_t>(record.rows, 1) <= 0) continue;
        bool found = false;
        if (record.row >= 0 && record.row < count) {
            if (const BufferLine* line = buffer.peekLine(record.row); line && line->images) {
                for (const auto& image : *line->images) {
                    const KittyPlacementImage* kitty = asKittyImage(*image);
                    if (kitty && kitty->kittyStripIndex() == 0 && kittyImageKey(*kitty) == key) {
                        positions.insert_or_assign(key, KittyPlacementPosition{record.row, image->col()});
                        found = true;
                        break;
                    }
                }
            }
        }
        if (!found) return collectKittyPlacementPositions(buffer);
    }
    return positions;
}

}  // namespace

// ---- relative placements ----

KittyPlacementOrigin Terminal::resolveKittyPlacementOrigin(const KittyGraphicsControl& control)
{
    if (!control.parentImageId || !control.parentPlacementId) return {};
    settleKittyRecordRows();
    const KittyPlacementKey parent{*control.parentImageId, *control.parentPlacementId};
    const auto found = kittyGraphicsState.placementsByKey.find(parent);
    if (found == kittyGraphicsState.placementsByKey.end())
        return {std::nullopt, std::nullopt, true, kittyGraphicsError::parentNotFound};
    const bool isAlternate = isCurrentBufferAlternate();
    if (found->second.isAlternateBuffer != isAlternate)
        return {std::nullopt, std::nullopt, true, kittyGraphicsError::parentInOtherBuffer};
    KittyResolvedPositions resolved;
    const auto position = resolveKittyPlacementPosition(kittyGraphicsState, parent,
                                                        collectKittyPlacementPositions(*buffer_), isAlternate, resolved);
    if (!position) return {std::nullopt, std::nullopt, true, kittyGraphicsError::parentNotFound};
    return {position->col + clampNumber(control.offsetH), position->row + clampNumber(control.offsetV), true, {}};
}

void Terminal::shiftKittyRecordRows(bool isAlternateBuffer, int64_t through, int64_t delta)
{
    settleKittyRecordRows(isAlternateBuffer);
    for (auto& [key, record] : kittyGraphicsState.placementsByKey)
        if (record.isAlternateBuffer == isAlternateBuffer && record.row <= through) record.row += delta;
}

void Terminal::deferKittyRecordShift(bool isAlternateBuffer, int64_t through)
{
    KittyRecordShift& shift = kittyRecordShifts_[isAlternateBuffer ? 1 : 0];
    if (shift.count > 0 && shift.through != through) settleKittyRecordRows(isAlternateBuffer);
    shift.through = through;
    ++shift.count;
}

void Terminal::settleKittyRecordRows(bool isAlternateBuffer)
{
    KittyRecordShift& shift = kittyRecordShifts_[isAlternateBuffer ? 1 : 0];
    if (shift.count == 0) return;
    const int64_t count = std::exchange(shift.count, 0);
    for (auto& [key, record] : kittyGraphicsState.placementsByKey)
        if (record.isAlternateBuffer == isAlternateBuffer && record.row <= shift.through) record.row -= count;
}

void Terminal::settleKittyRecordRows()
{
    settleKittyRecordRows(false);
    settleKittyRecordRows(true);
}

void Terminal::refreshKittyRecordPositions()
{
    if (kittyGraphicsState.placementsByKey.empty()) return;
    settleKittyRecordRows();
    for (Buffer* each : {normalBuffer_.get(), altBuffer_.get()}) {
        const bool isAlternate = each == altBuffer_.get();
        const KittyPlacementPositions positions = collectKittyPlacementPositions(*each);
        for (auto& [key, record] : kittyGraphicsState.placementsByKey) {
            if (record.isAlternateBuffer != isAlternate || record.isVirtual) continue;
            if (const auto found = positions.find(key); found != positions.end()) {
                record.row = found->second.row;
                record.col = found->second.col;
            }
        }
    }
}

void Terminal::updateKittyRelativePlacementsForCurrentBuffer(int64_t shiftedThrough, bool uniform)
{
    auto& records = kittyGraphicsState.placementsByKey;
    if (records.empty()) return;
    const bool isAlternate = isCurrentBufferAlternate();
    if (uniform) {
        if (shiftedThrough >= 0) deferKittyRecordShift(isAlternate, shiftedThrough);
        return;
    }
    if (shiftedThrough >= 0) shiftKittyRecordRows(isAlternate, shiftedThrough, -1);
    settleKittyRecordRows();
    Buffer& b = *buffer_;
    const KittyPlacementPositions positions = positionsForUpdate(kittyGraphicsState, b, isAlternate);

    // The lines hold the truth for placements drawn on them.
    for (auto& [key, record] : records) {
        if (record.isAlternateBuffer != isAlternate || record.isVirtual) continue;
        if (const auto found = positions.find(key); found != positions.end()) {
            record.row = found->second.row;
            record.col = found->second.col;
        }
    }
    // Relative placements follow their parents.
    KittyResolvedPositions resolved;
    for (auto& [key, record] : records) {
        if (record.isAlternateBuffer != isAlternate || !isRelativeRecord(record)) continue;
        const auto position = resolveKittyPlacementPosition(kittyGraphicsState, key, positions, isAlternate, resolved);
        if (!position) continue;
        if (!record.isVirtual) {
            KittyPlacementPosition current{record.row, record.col};
            if (const auto found = positions.find(key); found != positions.end()) current = found->second;
            if (current != *position) {
                if (snapshotSource_ == &b) preserveSnapshotHistory();
                moveKittyPlacementImages(b, key, position->row - current.row, position->row, position->col);
                updateFullScreen();
            }
        }
        record.row = position->row;
        record.col = position->col;
    }
}

// ---- removing line images and records ----

std::unordered_set<KittyPlacementKey> Terminal::removeKittyPlacements(
    Buffer& target, int64_t first, int64_t last, const std::function<bool(const KittyPlacementImage&, int64_t)>& predicate)
{
    if (!target.hasAnyImages()) return {};
    if (snapshotSource_ == &target) preserveSnapshotHistory();
    KittyLineRemoval removal = removeKittyLineImages(target, first, last, predicate);
    if (&target == buffer_ && removal.firstLine) {
        // Line indices become screen rows; lines off the screen need no redraw.
        const int64_t top = *removal.firstLine - target.yBase();
        const int64_t bottom = *removal.lastLine - target.yBase();
        if (bottom >= 0 && top < rows_) {
            updateRange(std::max<int64_t>(top, 0));
            updateRange(std::min<int64_t>(bottom, rows_ - 1));
        }
    }
    return std::move(removal.keys);
}

std::unordered_set<KittyPlacementKey> Terminal::removeKittyPlacementsByKey(
    const std::unordered_set<KittyPlacementKey>& keys)
{
    std::unordered_set<KittyPlacementKey> removed;
    if (keys.empty()) return removed;
    const auto inKeys = [&](const KittyPlacementImage& image, int64_t) {
        const auto key = kittyImageKey(image);
        return key && keys.contains(*key);
    };
    for (Buffer* each : {normalBuffer_.get(), altBuffer_.get()})
        removed.merge(removeKittyPlacements(*each, 0, each->lines().count(), inKeys));
    return removed;
}

void Terminal::removeKittyPlacement(uint32_t imageId, uint32_t placementId)
{
    // The GPU renderer redraws images and placeholders when this moves.
    ++kittyGraphicsState.mutationCount;
    const KittyPlacementKey key{imageId, placementId};
    const std::unordered_set<KittyPlacementKey> removed = removeKittyPlacementsByKey({key});
    for (const KittyPlacementKey& each : removed) kittyGraphicsState.placementsByKey.erase(each);
    kittyGraphicsState.placementsByKey.erase(key);
}

void Terminal::removeKittyPlacementsAndRecords(bool bothBuffers, std::optional<std::pair<int64_t, int64_t>> lines,
                                               const std::function<bool(const KittyPlacementImage&, int64_t)>& onLine,
                                               const std::function<bool(const KittyPlacementRecord&)>& onRecord)
{
    // The GPU renderer redraws images and placeholders when this moves.
    ++kittyGraphicsState.mutationCount;
    settleKittyRecordRows();
    std::unordered_set<KittyPlacementKey> onLines;
    const std::array<Buffer*, 2> both{normalBuffer_.get(), altBuffer_.get()};
    for (Buffer* each : both) {
        if (!bothBuffers && each != buffer_) continue;
        const auto [first, last] = lines.value_or(std::pair<int64_t, int64_t>{0, each->lines().count()});
        onLines.merge(removeKittyPlacements(*each, first, last, onLine));
    }
    std::unordered_set<KittyPlacementKey> orphans;
    std::erase_if(kittyGraphicsState.placementsByKey, [&](const auto& entry) {
        if (!onRecord(entry.second)) return false;
        if (!onLines.contains(entry.first)) orphans.insert(entry.first);
        return true;
    });
    removeKittyPlacementsByKey(orphans);
}

// ---- the delete command ----

void Terminal::handleKittyDelete(const KittyGraphicsControl& control)
{
    // Only the first letter counts; an upper-case one also frees image data.
    const std::string mode = control.deleteMode.value_or("a");
    const char letter = mode.empty() ? '\0' : mode.front();
    const bool frees = std::isupper(static_cast<unsigned char>(letter)) != 0;
    // Record rectangles are compared below: they must name where their
    // strips are now.
    refreshKittyRecordPositions();
    const char selector = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    Buffer& b = *buffer_;
    const int64_t x = clampNumber(control.cropX);
    const int64_t y = clampNumber(control.cropY);

    const auto byImage = [&](uint32_t imageId, std::optional<uint32_t> placementId) {
        const auto matches = [=](std::optional<uint32_t> image, std::optional<uint32_t> placement) {
            return image == imageId && (!placementId || placement == placementId);
        };
        removeKittyPlacementsAndRecords(
            true, std::nullopt,
            [&](const KittyPlacementImage& image, int64_t) {
                return matches(image.kittyImageId(), image.kittyPlacementId());
            },
            [&](const KittyPlacementRecord& record) { return matches(record.imageId, record.placementId); });
    };
    // Column and row 1-based, the row a screen row.
    const auto atCell = [&](int64_t col, int64_t row, std::optional<int64_t> zIndex) {
        const int64_t c = col - 1;
        const int64_t line = row - 1 + b.yBase();
        removeKittyPlacementsAndRecords(
            false, std::nullopt,
            [&](const KittyPlacementImage& image, int64_t at) {
                return kittyCellRect(image, at).contains(c, line) && (!zIndex || image.kittyZIndex() == *zIndex);
            },
            [&](const KittyPlacementRecord& record) {
                return kittyCellRect(record).contains(c, line) && (!zIndex || record.zIndex == *zIndex);
            });
    };

    switch (selector) {
    case 'a': {
        const int64_t top = b.yBase();
        const int64_t bottom = std::min<int64_t>(b.lines().count(), top + rows_);
        removeKittyPlacementsAndRecords(
            false, std::pair{top, bottom}, [](const KittyPlacementImage&, int64_t) { return true; },
            [&](const KittyPlacementRecord& record) { return kittyCellRect(record).meets(cols_, top, rows_); });
        break;
    }
    case 'i':
        if (!control.imageId) {
            sendKittyError(control, kittyGraphicsError::missingImageId);
            return;
        }
        byImage(*control.imageId, control.placementId);
        break;
    case 'n': {
        if (!control.imageNumber) {
            sendKittyError(control, kittyGraphicsError::missingImageNumber);
            return;
        }
        const auto named = kittyGraphicsState.imageNumbers.find(*control.imageNumber);
        if (named != kittyGraphicsState.imageNumbers.end()) byImage(named->second, control.placementId);
        break;
    }
    case 'c': atCell(int64_t{b.x()} + 1, int64_t{b.y()} + 1, std::nullopt); break;
    case 'p':
    case 'q':
        if (x < 1 || y < 1) {
            sendKittyError(control, kittyGraphicsError::missingCellPosition);
            return;
        }
        atCell(x, y, selector == 'q' ? std::optional<int64_t>(control.zIndex) : std::nullopt);
        break;
    case 'x':
        if (x < 1) {
            sendKittyError(control, kittyGraphicsError::missingColumn);
            return;
        }
        removeKittyPlacementsAndRecords(
            false, std::nullopt,
            [&](const KittyPlacementImage& image, int64_t at) { return kittyCellRect(image, at).containsColumn(x - 1); },
            [&](const KittyPlacementRecord& record) { return kittyCellRect(record).containsColumn(x - 1); });
        break;
    case 'y': {
        if (y < 1) {
            sendKittyError(control, kittyGraphicsError::missingRow);
            return;
        }
        const int64_t line = int64_t{b.yBase()} + y - 1;
        removeKittyPlacementsAndRecords(
            false, std::nullopt,
            [&](const KittyPlacementImage& image, int64_t at) { return kittyCellRect(image, at).containsRow(line); },
            [&](const KittyPlacementRecord& record) { return kittyCellRect(record).containsRow(line); });
        break;
    }
    case 'z':
        removeKittyPlacementsAndRecords(
            true, std::nullopt, [&](const KittyPlacementImage& image, int64_t) { return image.kittyZIndex() == control.zIndex; },
            [&](const KittyPlacementRecord& record) { return record.zIndex == control.zIndex; });
        break;
    case 'r': {
        if (x < 1 || y < 1) {
            sendKittyError(control, kittyGraphicsError::missingIdRange);
            return;
        }
        // Image ids are 32 bits wide: a larger bound means the largest id.
        constexpr int64_t maxId = std::numeric_limits<uint32_t>::max();
        const int64_t low = std::min({x, y, maxId});
        const int64_t high = std::min(std::max(x, y), maxId);
        const auto inRange = [=](std::optional<uint32_t> id) { return id && *id >= low && *id <= high; };
        removeKittyPlacementsAndRecords(
            true, std::nullopt, [&](const KittyPlacementImage& image, int64_t) { return inRange(image.kittyImageId()); },
            [&](const KittyPlacementRecord& record) { return inRange(record.imageId); });
        break;
    }
    default: sendKittyError(control, kittyGraphicsError::unsupportedDelete); break;
    }
    if (frees) cleanupUnusedKittyImages();
}

// ---- freeing, clearing and reset ----

void Terminal::cleanupUnusedKittyImages()
{
    // The GPU renderer redraws images and placeholders when this moves.
    ++kittyGraphicsState.mutationCount;
    KittyGraphicsState& state = kittyGraphicsState;
    if (state.imagesById.empty()) return;
    const std::array<Buffer*, 2> buffers{normalBuffer_.get(), altBuffer_.get()};
    const std::unordered_set<uint32_t> used = collectUsedKittyImageIds(state, buffers);
    std::vector<uint32_t> unused;
    for (const auto& [id, image] : state.imagesById)
        if (!used.contains(id)) unused.push_back(id);
    for (uint32_t id : unused) {
        const auto found = state.imagesById.find(id);
        state.totalImageBytes = std::max<int64_t>(0, state.totalImageBytes - found->second.byteSize);
        state.imagesById.erase(found);
        removeKittyImageNumbers(state, id);
    }
}

void Terminal::clearKittyImages(Buffer& target, bool isAlternateBuffer)
{
    // The GPU renderer redraws images and placeholders when this moves.
    ++kittyGraphicsState.mutationCount;
    const std::unordered_set<KittyPlacementKey> onLines = removeKittyPlacements(
        target, 0, target.lines().count(), [](const KittyPlacementImage&, int64_t) { return true; });
    std::unordered_set<KittyPlacementKey> orphans;
    std::erase_if(kittyGraphicsState.placementsByKey, [&](const auto& entry) {
        if (entry.second.isAlternateBuffer != isAlternateBuffer) return false;
        if (!onLines.contains(entry.first)) orphans.insert(entry.first);
        return true;
    });
    removeKittyPlacementsByKey(orphans);
    kittyRecordShifts_[isAlternateBuffer ? 1 : 0] = {};
    cleanupUnusedKittyImages();
}

namespace {

// The current buffer, then the alternate one unless that is the current.
std::vector<Buffer*> resetBuffers(Buffer* current, Buffer* alternate)
{
    std::vector<Buffer*> buffers{current};
    if (alternate != current) buffers.push_back(alternate);
    return buffers;
}

}  // namespace

void Terminal::clearAllKittyImages()
{
    // The GPU renderer redraws images and placeholders when this moves.
    ++kittyGraphicsState.mutationCount;
    // Removing images changes history lines the frozen copy may read through.
    if (snapshotSource_ && snapshotSource_->hasAnyImages()) preserveSnapshotHistory();
    for (Buffer* each : resetBuffers(buffer_, altBuffer_.get())) {
        // The buffer counts its lines with images, so a buffer without any
        // is not walked.
        if (!each->hasAnyImages()) continue;
        for (int64_t row = 0; row < each->lines().count(); ++row)
            if (const BufferLine* line = each->peekLine(row); line && line->images) each->clearImagesFromLine(row);
    }
    // An open chunked transfer goes too: its later chunks must not join a
    // transfer that began before the reset.
    kittyGraphicsState.pending.reset();
    kittyGraphicsState.imagesById.clear();
    kittyGraphicsState.imageNumbers.clear();
    kittyGraphicsState.placementsByKey.clear();
    kittyRecordShifts_ = {};
    kittyGraphicsState.totalImageBytes = 0;
    kittyGraphicsState.nextImageAccessTick = 1;
    updateRange(buffer_->scrollTop());
    updateRange(buffer_->scrollBottom());
}

void Terminal::clearKittyStateForErase()
{
    // The GPU renderer redraws images and placeholders when this moves.
    ++kittyGraphicsState.mutationCount;
    for (Buffer* each : resetBuffers(buffer_, altBuffer_.get()))
        removeKittyPlacements(*each, 0, each->lines().count(), [](const KittyPlacementImage&, int64_t) { return true; });
    kittyGraphicsState.pending.reset();
    kittyGraphicsState.imagesById.clear();
    kittyGraphicsState.imageNumbers.clear();
    kittyGraphicsState.placementsByKey.clear();
    kittyRecordShifts_ = {};
    kittyGraphicsState.totalImageBytes = 0;
    kittyGraphicsState.nextImageAccessTick = 1;
    updateRange(buffer_->scrollTop());
    updateRange(buffer_->scrollBottom());
}

}  // namespace corvel
