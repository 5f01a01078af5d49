// The tables a terminal keeps beside its Kitty placement records, so that
// placing, replacing, following parents and dropping the oldest never walk
// every record or every line: how many records show each image, the order
// in which records were stored, the children of each parent key, the line
// images made for each record (held weakly, so a line that lets one go
// frees it), and the keys whose line images may lie off the lines their
// record names (or that have line images but no record), which alone are
// looked for by walking.
//
// The terminal tells the index of every record it stores or erases. Entries
// of the order and children tables are checked against the records when
// read, so a record erased or stored again leaves no wrong answer, only an
// entry to skip; both tables are compacted when skipped entries outnumber
// live ones. A record map changed behind the index's back (as a test may
// do) is noticed by its size and the index is rebuilt. Runs on the
// terminal's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "corvel/kitty/KittyPlacementKey.h"
#include "corvel/kitty/KittyPlacementRecord.h"

namespace corvel {

class TerminalImage;

using KittyPlacementRecords = std::unordered_map<KittyPlacementKey, KittyPlacementRecord>;

class KittyPlacementIndex {
public:
    // `record` was just stored under `key` in `records` (replacing what the
    // key held, which the caller reported erased first): stamps its order.
    void stored(const KittyPlacementKey& key, KittyPlacementRecord& record, const KittyPlacementRecords& records);
    // The record under `key` is about to be erased.
    void erased(const KittyPlacementKey& key, const KittyPlacementRecord& record);
    // Every record is gone.
    void clear();
    // Rebuilds the tables when `records` is not what the index was told of;
    // true when it did.
    bool reconcile(KittyPlacementRecords& records);

    // Whether any record shows image `imageId`.
    bool showsImage(uint32_t imageId) const { return perImage_.contains(imageId); }
    // The key of the record stored longest ago; none without records.
    std::optional<KittyPlacementKey> oldest(const KittyPlacementRecords& records);
    // The relative records whose parent is `parent`.
    std::vector<KittyPlacementKey> children(const KittyPlacementKey& parent, const KittyPlacementRecords& records);

    // A line image made for the record under `key`.
    void noteLineImage(const KittyPlacementKey& key, const std::shared_ptr<TerminalImage>& image);
    // The line images made for the record under `key` that lines still hold.
    std::vector<std::shared_ptr<TerminalImage>> lineImages(const KittyPlacementKey& key);

    // Keys whose line images are found only by walking the lines.
    void markStray(const KittyPlacementKey& key) { strays_.insert(key); }
    bool isStray(const KittyPlacementKey& key) const { return strays_.contains(key); }
    void clearStray(const KittyPlacementKey& key) { strays_.erase(key); }
    const std::unordered_set<KittyPlacementKey>& strays() const { return strays_; }

private:
    static bool isRelative(const KittyPlacementRecord& record)
    {
        return record.parentImageId && record.parentPlacementId;
    }
    static KittyPlacementKey parentOf(const KittyPlacementRecord& record)
    {
        return {*record.parentImageId, *record.parentPlacementId};
    }
    void compactOrder(const KittyPlacementRecords& records);
    void compactChildren(const KittyPlacementRecords& records);

    size_t count_ = 0;  // records the index was told of
    uint64_t nextOrder_ = 1;
    std::unordered_map<uint32_t, uint32_t> perImage_;
    std::deque<std::pair<uint64_t, KittyPlacementKey>> order_;  // oldest first
    std::unordered_map<KittyPlacementKey, std::vector<KittyPlacementKey>> children_;
    size_t childEntries_ = 0;
    size_t relativeCount_ = 0;
    std::unordered_set<KittyPlacementKey> strays_;
    std::unordered_map<KittyPlacementKey, std::vector<std::weak_ptr<TerminalImage>>> lineImages_;
};

}  // namespace corvel
