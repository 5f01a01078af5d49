// Kitty placements after they are made: where relative placements go and how
// they follow their parents, storing and replacing records within the
// placement limit, the delete command and its selectors, clearing on buffer
// switches, erase and reset, and freeing stored images nothing shows. Each
// placement lives as a record in kittyGraphicsState and as images on the
// lines it covers; every removal here takes the line images, the records and
// then the line images of records whose images were elsewhere, so the two
// sides stay consistent.
//
// A record names the lines of its images: its row is the line of the
// placement's top strip, or where that strip would be once it has gone, so
// a placement's images are found on lines row ..< row + rows. Lines that
// move keep their records in step: a full ring dropping its oldest line
// (counted, see settleKittyRecordRows), a scroll region rotating, lines
// pushed down below a region, erasing the history. A resize that rewraps
// the lines brings every record to its images again by walking the lines.
// Placements a region cuts through, and images left without their record,
// are the only ones looked for by walking every line. So placing, replacing,
// following parents and scrolling cost what they touch, not what the
// terminal holds; and the terminal holds at most the placement limit, the
// records of placements whose lines all left the buffer going at once.
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

// The lines a record's images are on: first ..< last.
std::pair<int64_t, int64_t> recordLines(const KittyPlacementRecord& record)
{
    return {record.row, record.row + std::max<int64_t>(record.rows, 1)};
}

// The placement keys of the Kitty images on lines first ..= last.
std::unordered_set<KittyPlacementKey> keysOnLines(Buffer& buffer, int64_t first, int64_t last)
{
    std::unordered_set<KittyPlacementKey> keys;
    if (!buffer.hasAnyImages()) return keys;
    last = std::min(last, buffer.lines().count() - 1);
    for (int64_t row = std::max<int64_t>(first, 0); row <= last; ++row) {
        const BufferLine* line = buffer.peekLine(row);
        if (!line || !line->images) continue;
        for (const auto& image : *line->images) {
            if (const KittyPlacementImage* kitty = asKittyImage(*image)) {
                if (const auto key = kittyImageKey(*kitty)) keys.insert(*key);
            }
        }
    }
    return keys;
}

const KittyPlacementPositions& noLinePositions()
{
    static const KittyPlacementPositions none;
    return none;
}

}  // namespace

// ---- records and their index ----

KittyPlacementIndex& Terminal::kittyIndex()
{
    KittyGraphicsState& state = kittyGraphicsState;
    if (state.placementIndex.reconcile(state.placementsByKey)) kittyResolved_.clear();
    return state.placementIndex;
}

void Terminal::settleKittyRecord(KittyPlacementRecord& record)
{
    const KittyRecordShift& shift = kittyRecordShifts_[record.isAlternateBuffer ? 1 : 0];
    if (shift.count == record.shiftMark) return;
    if (record.row <= shift.through) record.row -= shift.count - record.shiftMark;
    record.shiftMark = shift.count;
}

KittyPlacementRecord* Terminal::settledKittyRecord(const KittyPlacementKey& key)
{
    const auto found = kittyGraphicsState.placementsByKey.find(key);
    if (found == kittyGraphicsState.placementsByKey.end()) return nullptr;
    settleKittyRecord(found->second);
    return &found->second;
}

void Terminal::storeKittyPlacementRecord(KittyPlacementRecord record)
{
    // The GPU renderer redraws images and placeholders when this moves.
    ++kittyGraphicsState.mutationCount;
    KittyPlacementIndex& index = kittyIndex();
    KittyPlacementRecords& records = kittyGraphicsState.placementsByKey;
    const KittyPlacementKey key{record.imageId, record.placementId};
    if (const auto old = records.find(key); old != records.end()) {
        index.erased(key, old->second);
        records.erase(old);
    }
    // The row is current: shifts counted before now are not its own.
    record.shiftMark = kittyRecordShifts_[record.isAlternateBuffer ? 1 : 0].count;
    const auto stored = records.insert_or_assign(key, record).first;
    index.stored(key, stored->second, records);
    forgetKittyResolved(key);
    enforceKittyPlacementLimit(key);
}

void Terminal::eraseKittyRecord(const KittyPlacementKey& key)
{
    KittyPlacementIndex& index = kittyIndex();
    KittyPlacementRecords& records = kittyGraphicsState.placementsByKey;
    const auto found = records.find(key);
    if (found == records.end()) return;
    forgetKittyResolved(key);
    index.erased(key, found->second);
    records.erase(found);
}

void Terminal::enforceKittyPlacementLimit(const KittyPlacementKey& keep)
{
    const size_t limit = static_cast<size_t>(std::max<int64_t>(options_.kittyPlacementLimit, 1));
    KittyPlacementRecords& records = kittyGraphicsState.placementsByKey;
    while (records.size() > limit) {
        const auto oldest = kittyIndex().oldest(records);
        if (!oldest || *oldest == keep) return;
        removeKittyLineImagesOf(*oldest, settledKittyRecord(*oldest));
        eraseKittyRecord(*oldest);
    }
}

void Terminal::forgetKittyResolved(const KittyPlacementKey& key)
{
    if (kittyResolved_.empty()) return;
    KittyPlacementIndex& index = kittyIndex();
    // A placement is remembered only with every placement it was resolved
    // through (or, when its chain broke at a missing record, with those up
    // to it): past the children of `key` the walk goes on only through
    // placements that were remembered.
    std::vector<KittyPlacementKey> pending{key};
    std::unordered_set<KittyPlacementKey> seen{key};
    while (!pending.empty()) {
        const KittyPlacementKey current = pending.back();
        pending.pop_back();
        if (kittyResolved_.erase(current) == 0 && current != key) continue;
        for (const KittyPlacementKey& child : index.children(current, kittyGraphicsState.placementsByKey))
            if (seen.insert(child).second) pending.push_back(child);
    }
}

// ---- relative placements ----

std::optional<KittyPlacementPosition> Terminal::resolveKittyPosition(const KittyPlacementKey& key)
{
    const bool isAlternate = isCurrentBufferAlternate();
    kittyIndex();
    if (kittyResolvedAlternate_ != isAlternate) {
        kittyResolved_.clear();
        kittyResolvedAlternate_ = isAlternate;
    }
    // The records up the chain, as far as nothing is known of it, get their
    // rows up to date first.
    std::unordered_set<KittyPlacementKey> seen;
    for (KittyPlacementKey current = key; !kittyResolved_.contains(current) && seen.insert(current).second;) {
        KittyPlacementRecord* record = settledKittyRecord(current);
        if (!record || !isRelativeRecord(*record)) break;
        current = {*record->parentImageId, *record->parentPlacementId};
    }
    return resolveKittyPlacementPosition(kittyGraphicsState, key, noLinePositions(), isAlternate, kittyResolved_);
}

KittyPlacementOrigin Terminal::resolveKittyPlacementOrigin(const KittyGraphicsControl& control)
{
    if (!control.parentImageId || !control.parentPlacementId) return {};
    const KittyPlacementKey parent{*control.parentImageId, *control.parentPlacementId};
    const KittyPlacementRecord* found = settledKittyRecord(parent);
    if (!found) return {std::nullopt, std::nullopt, true, kittyGraphicsError::parentNotFound};
    if (found->isAlternateBuffer != isCurrentBufferAlternate())
        return {std::nullopt, std::nullopt, true, kittyGraphicsError::parentInOtherBuffer};
    const auto position = resolveKittyPosition(parent);
    if (!position) return {std::nullopt, std::nullopt, true, kittyGraphicsError::parentNotFound};
    return {position->col + clampNumber(control.offsetH), position->row + clampNumber(control.offsetV), true, {}};
}

void Terminal::shiftKittyRecordRows(bool isAlternateBuffer, int64_t through, int64_t delta)
{
    settleKittyRecordRows(isAlternateBuffer);
    if (kittyGraphicsState.placementsByKey.empty()) return;
    if (!kittyResolved_.empty()) kittyResolved_.clear();
    std::vector<KittyPlacementKey> gone;
    for (auto& [key, record] : kittyGraphicsState.placementsByKey) {
        if (record.isAlternateBuffer != isAlternateBuffer || record.row > through) continue;
        record.row += delta;
        if (!record.isVirtual && recordLines(record).second <= 0) gone.push_back(key);
    }
    for (const KittyPlacementKey& key : gone) eraseKittyRecord(key);
}

void Terminal::deferKittyRecordShift(bool isAlternateBuffer, int64_t through)
{
    KittyRecordShift& shift = kittyRecordShifts_[isAlternateBuffer ? 1 : 0];
    if (shift.count > 0 && shift.through != through) settleKittyRecordRows(isAlternateBuffer);
    shift.through = through;
    ++shift.count;
    // Resolved positions are line indices, which just changed.
    if (!kittyResolved_.empty()) kittyResolved_.clear();
}

void Terminal::settleKittyRecordRows(bool isAlternateBuffer)
{
    KittyRecordShift& shift = kittyRecordShifts_[isAlternateBuffer ? 1 : 0];
    if (shift.count == 0) return;
    const int64_t count = std::exchange(shift.count, 0);
    std::vector<KittyPlacementKey> gone;
    for (auto& [key, record] : kittyGraphicsState.placementsByKey) {
        if (record.isAlternateBuffer != isAlternateBuffer) continue;
        if (record.row <= shift.through) record.row -= count - record.shiftMark;
        record.shiftMark = 0;
        // Every line of a normal placement left the buffer: so does the placement.
        if (!record.isVirtual && recordLines(record).second <= 0) gone.push_back(key);
    }
    for (const KittyPlacementKey& key : gone) eraseKittyRecord(key);
    if (!kittyResolved_.empty()) kittyResolved_.clear();
}

void Terminal::settleKittyRecordRows()
{
    settleKittyRecordRows(false);
    settleKittyRecordRows(true);
}

void Terminal::refreshKittyRecordPositions()
{
    KittyPlacementRecords& records = kittyGraphicsState.placementsByKey;
    if (records.empty()) return;
    settleKittyRecordRows();
    KittyPlacementIndex& index = kittyIndex();
    kittyResolved_.clear();
    // Per key: where its images say the placement's top is, in which buffer,
    // and whether they all agree.
    struct Found {
        bool isAlternate = false;
        int64_t top = 0;
        int64_t col = 0;
        bool agrees = true;
    };
    std::unordered_map<KittyPlacementKey, Found> found;
    for (Buffer* each : {normalBuffer_.get(), altBuffer_.get()}) {
        if (!each->hasAnyImages()) continue;
        const bool isAlternate = each == altBuffer_.get();
        for (int64_t row = 0; row < each->lines().count(); ++row) {
            const BufferLine* line = each->peekLine(row);
            if (!line || !line->images) continue;
            for (const auto& image : *line->images) {
                const KittyPlacementImage* kitty = asKittyImage(*image);
                const auto key = kitty ? kittyImageKey(*kitty) : std::nullopt;
                if (!key) continue;
                const int64_t top = row - kitty->kittyStripIndex();
                const auto [entry, first] = found.try_emplace(*key, Found{isAlternate, top, image->col(), true});
                if (!first && (entry->second.isAlternate != isAlternate || entry->second.top != top))
                    entry->second.agrees = false;
            }
        }
    }
    for (const auto& [key, where] : found) {
        const auto record = records.find(key);
        if (record == records.end() || record->second.isVirtual || record->second.isAlternateBuffer != where.isAlternate) {
            index.markStray(key);
            continue;
        }
        record->second.row = where.top;
        record->second.col = where.col;
        if (where.agrees) {
            index.clearStray(key);
        } else {
            index.markStray(key);
        }
    }
}

KittyPlacementRecord* Terminal::movingKittyRecord(const KittyPlacementKey& key)
{
    kittyMovedPlacements_.insert(key);
    forgetKittyResolved(key);
    KittyPlacementIndex& index = kittyIndex();
    if (index.isStray(key)) return nullptr;
    KittyPlacementRecord* record = settledKittyRecord(key);
    if (!record || record->isVirtual || record->isAlternateBuffer != isCurrentBufferAlternate()) {
        // Images without their record: only a walk finds them.
        index.markStray(key);
        return nullptr;
    }
    return record;
}

void Terminal::followKittyRotation(int64_t first, int64_t last, bool up)
{
    if (kittyGraphicsState.placementsByKey.empty()) return;
    Buffer& b = *buffer_;
    KittyPlacementIndex& index = kittyIndex();
    const int64_t leaving = up ? first : last;
    const int64_t delta = up ? -1 : 1;
    for (const KittyPlacementKey& key : keysOnLines(b, first, last)) {
        KittyPlacementRecord* record = movingKittyRecord(key);
        if (!record) continue;
        const auto [top, end] = recordLines(*record);
        if (top >= first && end - 1 <= last) {
            if (top == leaving && end - 1 == leaving) {
                // Its one line leaves the region and is reused: the placement goes.
                eraseKittyRecord(key);
                continue;
            }
            record->row += delta;
            continue;
        }
        // The region cuts through the placement: the part inside moves.
        index.markStray(key);
        if (top >= first && top <= last) record->row += delta;
    }
}

void Terminal::followKittyLinesBelow(int64_t through, int64_t delta)
{
    if (kittyGraphicsState.placementsByKey.empty()) return;
    Buffer& b = *buffer_;
    KittyPlacementIndex& index = kittyIndex();
    for (const KittyPlacementKey& key : keysOnLines(b, through + 1, b.lines().count() - 1)) {
        KittyPlacementRecord* record = movingKittyRecord(key);
        if (!record) continue;
        if (record->row > through) {
            record->row += delta;
        } else {
            index.markStray(key);
        }
    }
}

void Terminal::followKittyParents()
{
    if (kittyMovedPlacements_.empty()) return;
    const std::unordered_set<KittyPlacementKey> moved = std::exchange(kittyMovedPlacements_, {});
    KittyPlacementRecords& records = kittyGraphicsState.placementsByKey;
    if (records.empty()) return;
    KittyPlacementIndex& index = kittyIndex();
    // The moved placements and everything relative to them.
    std::vector<KittyPlacementKey> affected(moved.begin(), moved.end());
    std::unordered_set<KittyPlacementKey> seen(moved.begin(), moved.end());
    for (size_t at = 0; at < affected.size(); ++at) {
        for (const KittyPlacementKey& child : index.children(affected[at], records))
            if (seen.insert(child).second) affected.push_back(child);
    }
    const bool isAlternate = isCurrentBufferAlternate();
    Buffer& b = *buffer_;
    for (const KittyPlacementKey& key : affected) {
        KittyPlacementRecord* record = settledKittyRecord(key);
        if (!record || record->isAlternateBuffer != isAlternate || !isRelativeRecord(*record)) continue;
        const auto position = resolveKittyPosition(key);
        if (!position) continue;
        const KittyPlacementPosition current{record->row, record->col};
        if (current == *position) continue;
        if (!record->isVirtual) {
            if (snapshotSource_ == &b) preserveSnapshotHistory();
            const int64_t delta = position->row - current.row;
            const auto [first, last] = recordLines(*record);
            const std::vector<std::shared_ptr<TerminalImage>> held = index.lineImages(key);
            if (index.isStray(key) || moveLineImagesAmong(b, held, delta, position->row, position->col, first, last) <
                                          held.size()) {
                // Some lie off its lines: the lines tell where.
                index.markStray(key);
                moveKittyPlacementImages(b, key, delta, position->row, position->col, 0, b.lines().count());
            }
            updateFullScreen();
        }
        // Where it now is is where it resolves: nothing resolved through it changes.
        record = settledKittyRecord(key);
        record->row = position->row;
        record->col = position->col;
    }
}

void Terminal::updateKittyRelativePlacementsForCurrentBuffer(int64_t shiftedThrough, bool uniform)
{
    if (kittyGraphicsState.placementsByKey.empty()) {
        kittyMovedPlacements_.clear();
        return;
    }
    if (shiftedThrough >= 0) {
        // A full ring dropped its oldest line: the lines below the region
        // kept their places while those above moved up.
        if (!uniform) followKittyLinesBelow(shiftedThrough, 0);
        deferKittyRecordShift(isCurrentBufferAlternate(), shiftedThrough);
    }
    followKittyParents();
}

// ---- removing line images and records ----

void Terminal::forgetKittyPlacementRecords()
{
    kittyGraphicsState.placementsByKey.clear();
    kittyGraphicsState.placementIndex.clear();
    kittyRecordShifts_ = {};
    kittyResolved_.clear();
    kittyMovedPlacements_.clear();
}

std::unordered_set<KittyPlacementKey> Terminal::removeKittyPlacements(
    Buffer& target, int64_t first, int64_t last, const std::function<bool(const KittyPlacementImage&, int64_t)>& predicate)
{
    if (!target.hasAnyImages()) return {};
    if (snapshotSource_ == &target) preserveSnapshotHistory();
    KittyLineRemoval removal = removeKittyLineImages(target, first, last, predicate);
    redrawKittyRemoval(target, removal);
    return std::move(removal.keys);
}

void Terminal::redrawKittyRemoval(Buffer& target, const KittyLineRemoval& removal)
{
    if (&target != buffer_ || !removal.firstLine) return;
    // Line indices become screen rows; lines off the screen need no redraw.
    const int64_t top = *removal.firstLine - target.yBase();
    const int64_t bottom = *removal.lastLine - target.yBase();
    if (bottom >= 0 && top < rows_) {
        updateRange(std::max<int64_t>(top, 0));
        updateRange(std::min<int64_t>(bottom, rows_ - 1));
    }
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
    KittyPlacementIndex& index = kittyIndex();
    for (const KittyPlacementKey& key : keys) index.clearStray(key);
    return removed;
}

void Terminal::removeKittyLineImagesOf(const KittyPlacementKey& key, const KittyPlacementRecord* record)
{
    KittyPlacementIndex& index = kittyIndex();
    if (index.isStray(key)) {
        removeKittyPlacementsByKey({key});
        return;
    }
    if (!record || record->isVirtual) return;
    // The images made for it that lines still hold, on the lines it names.
    const std::vector<std::shared_ptr<TerminalImage>> held = index.lineImages(key);
    if (held.empty()) return;
    Buffer& target = record->isAlternateBuffer ? *altBuffer_ : *normalBuffer_;
    if (snapshotSource_ == &target) preserveSnapshotHistory();
    const auto [first, last] = recordLines(*record);
    const KittyLineRemoval removal = removeLineImagesAmong(target, first, last, held);
    redrawKittyRemoval(target, removal);
    // Not all there (a frozen copy may hold one too): the lines tell.
    if (removal.count < held.size()) removeKittyPlacementsByKey({key});
}

void Terminal::removeKittyPlacement(uint32_t imageId, uint32_t placementId)
{
    // The GPU renderer redraws images and placeholders when this moves.
    ++kittyGraphicsState.mutationCount;
    const KittyPlacementKey key{imageId, placementId};
    removeKittyLineImagesOf(key, settledKittyRecord(key));
    eraseKittyRecord(key);
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
    std::vector<std::pair<KittyPlacementKey, KittyPlacementRecord>> selected;
    for (const auto& [key, record] : kittyGraphicsState.placementsByKey)
        if (onRecord(record)) selected.emplace_back(key, record);
    KittyPlacementIndex& index = kittyIndex();
    for (const auto& [key, record] : selected) {
        eraseKittyRecord(key);
        if (!onLines.contains(key)) {
            // Its images were not met: they are taken where the record says.
            removeKittyLineImagesOf(key, &record);
        } else if (lines && !record.isVirtual) {
            // Only some lines were searched: images of it may be left on others.
            const auto [first, last] = recordLines(record);
            if (first < lines->first || last > lines->second) index.markStray(key);
        }
    }
}

// ---- the delete command ----

void Terminal::handleKittyDelete(const KittyGraphicsControl& control)
{
    // Only the first letter counts; an upper-case one also frees image data.
    const std::string mode = control.deleteMode.value_or("a");
    const char letter = mode.empty() ? '\0' : mode.front();
    const bool frees = std::isupper(static_cast<unsigned char>(letter)) != 0;
    // Record rectangles are compared below: they must name where their
    // strips are now, which only a walk tells of placements cut apart.
    if (kittyIndex().strays().empty()) {
        settleKittyRecordRows();
    } else {
        refreshKittyRecordPositions();
    }
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
    settleKittyRecordRows();
    const std::unordered_set<KittyPlacementKey> onLines = removeKittyPlacements(
        target, 0, target.lines().count(), [](const KittyPlacementImage&, int64_t) { return true; });
    std::vector<std::pair<KittyPlacementKey, KittyPlacementRecord>> selected;
    for (const auto& [key, record] : kittyGraphicsState.placementsByKey)
        if (record.isAlternateBuffer == isAlternateBuffer) selected.emplace_back(key, record);
    for (const auto& [key, record] : selected) {
        eraseKittyRecord(key);
        if (!onLines.contains(key)) removeKittyLineImagesOf(key, &record);
    }
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
    clearKittyImageTables(kittyGraphicsState);
    forgetKittyPlacementRecords();
    keepTrackOfKittyImagesLeft();
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
    clearKittyImageTables(kittyGraphicsState);
    forgetKittyPlacementRecords();
    keepTrackOfKittyImagesLeft();
    kittyGraphicsState.totalImageBytes = 0;
    kittyGraphicsState.nextImageAccessTick = 1;
    updateRange(buffer_->scrollTop());
    updateRange(buffer_->scrollBottom());
}

void Terminal::keepTrackOfKittyImagesLeft()
{
    // With the alternate screen current, the normal screen's lines keep
    // their images although every record went: a placement stored again
    // under one of their keys finds them by walking.
    if (buffer_ != altBuffer_.get()) return;
    KittyPlacementIndex& index = kittyGraphicsState.placementIndex;
    for (const KittyPlacementKey& key : keysOnLines(*normalBuffer_, 0, normalBuffer_->lines().count() - 1))
        index.markStray(key);
}

}  // namespace corvel
