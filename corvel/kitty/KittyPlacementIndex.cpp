// The side tables of a terminal's Kitty placement records.
#include "corvel/kitty/KittyPlacementIndex.h"

#include <algorithm>

namespace corvel {

namespace {

// Skipped entries may outnumber live ones by this much before a compaction.
constexpr size_t kSlack = 64;

}  // namespace

void KittyPlacementIndex::stored(const KittyPlacementKey& key, KittyPlacementRecord& record,
                                 const KittyPlacementRecords& records)
{
    ++count_;
    record.order = nextOrder_++;
    ++perImage_[key.imageId];
    order_.emplace_back(record.order, key);
    if (order_.size() > 2 * count_ + kSlack) compactOrder(records);
    if (isRelative(record)) {
        ++relativeCount_;
        children_[parentOf(record)].push_back(key);
        if (++childEntries_ > 2 * relativeCount_ + kSlack) compactChildren(records);
    }
}

void KittyPlacementIndex::erased(const KittyPlacementKey& key, const KittyPlacementRecord& record)
{
    lineImages_.erase(key);
    if (count_ > 0) --count_;
    if (const auto found = perImage_.find(key.imageId); found != perImage_.end() && --found->second == 0)
        perImage_.erase(found);
    if (isRelative(record) && relativeCount_ > 0) --relativeCount_;
}

void KittyPlacementIndex::clear()
{
    count_ = 0;
    perImage_.clear();
    order_.clear();
    children_.clear();
    childEntries_ = 0;
    relativeCount_ = 0;
    strays_.clear();
    lineImages_.clear();
}

void KittyPlacementIndex::noteLineImage(const KittyPlacementKey& key, const std::shared_ptr<TerminalImage>& image)
{
    lineImages_[key].push_back(image);
}

std::vector<std::shared_ptr<TerminalImage>> KittyPlacementIndex::lineImages(const KittyPlacementKey& key)
{
    std::vector<std::shared_ptr<TerminalImage>> held;
    const auto found = lineImages_.find(key);
    if (found == lineImages_.end()) return held;
    for (const std::weak_ptr<TerminalImage>& each : found->second)
        if (auto image = each.lock()) held.push_back(std::move(image));
    if (held.empty()) lineImages_.erase(found);
    return held;
}

bool KittyPlacementIndex::reconcile(KittyPlacementRecords& records)
{
    if (records.size() == count_) return false;
    std::unordered_set<KittyPlacementKey> strays = std::move(strays_);
    auto lineImages = std::move(lineImages_);
    clear();
    strays_ = std::move(strays);
    lineImages_ = std::move(lineImages);
    // Stamped again in their old order, records written without one first.
    std::vector<std::pair<uint64_t, KittyPlacementKey>> byOrder;
    byOrder.reserve(records.size());
    for (const auto& [key, record] : records) byOrder.emplace_back(record.order, key);
    std::sort(byOrder.begin(), byOrder.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [order, key] : byOrder) stored(key, records.at(key), records);
    return true;
}

std::optional<KittyPlacementKey> KittyPlacementIndex::oldest(const KittyPlacementRecords& records)
{
    while (!order_.empty()) {
        const auto [order, key] = order_.front();
        const auto found = records.find(key);
        if (found != records.end() && found->second.order == order) return key;
        order_.pop_front();
    }
    return std::nullopt;
}

std::vector<KittyPlacementKey> KittyPlacementIndex::children(const KittyPlacementKey& parent,
                                                             const KittyPlacementRecords& records)
{
    std::vector<KittyPlacementKey> live;
    const auto found = children_.find(parent);
    if (found == children_.end()) return live;
    std::vector<KittyPlacementKey>& entries = found->second;
    // An entry whose record went, or no longer names this parent, is dropped
    // here; a record stored again under the same parent left a duplicate.
    std::unordered_set<KittyPlacementKey> seen;
    std::erase_if(entries, [&](const KittyPlacementKey& child) {
        const auto record = records.find(child);
        const bool keep = record != records.end() && isRelative(record->second) &&
                          parentOf(record->second) == parent && seen.insert(child).second;
        if (!keep) --childEntries_;
        return !keep;
    });
    live = entries;
    if (entries.empty()) children_.erase(found);
    return live;
}

void KittyPlacementIndex::compactOrder(const KittyPlacementRecords& records)
{
    std::erase_if(order_, [&](const auto& entry) {
        const auto found = records.find(entry.second);
        return found == records.end() || found->second.order != entry.first;
    });
}

void KittyPlacementIndex::compactChildren(const KittyPlacementRecords& records)
{
    children_.clear();
    childEntries_ = 0;
    relativeCount_ = 0;
    for (const auto& [key, record] : records) {
        if (!isRelative(record)) continue;
        ++relativeCount_;
        ++childEntries_;
        children_[parentOf(record)].push_back(key);
    }
}

}  // namespace corvel
