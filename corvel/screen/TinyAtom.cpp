#include "corvel/screen/TinyAtom.h"

#include <unordered_map>
#include <vector>

namespace corvel {

namespace {

struct AtomEntry {
    std::any value;
    const void* owner = nullptr;
};

struct AtomTable {
    std::unordered_map<uint16_t, AtomEntry> map;
    // Released ids, handed out again before fresh ones.
    std::vector<uint16_t> freeIds;
    // Ids above this were never handed out.
    int highest = 0;
};

AtomTable& table()
{
    static AtomTable instance;
    return instance;
}

void freeId(AtomTable& t, std::unordered_map<uint16_t, AtomEntry>::iterator at)
{
    t.freeIds.push_back(at->first);
    t.map.erase(at);
}

}  // namespace

std::optional<TinyAtom> TinyAtom::lookup(std::any value, const void* owner)
{
    auto& t = table();
    uint16_t id = 0;
    if (!t.freeIds.empty()) {
        id = t.freeIds.back();
        t.freeIds.pop_back();
    } else if (t.highest < maxCode) {
        id = static_cast<uint16_t>(++t.highest);
    } else {
        return std::nullopt;
    }
    t.map[id] = AtomEntry{std::move(value), owner};
    return TinyAtom{id};
}

void TinyAtom::release(uint16_t code)
{
    auto& t = table();
    if (auto found = t.map.find(code); found != t.map.end()) freeId(t, found);
}

void TinyAtom::releaseAll(const void* owner)
{
    auto& t = table();
    for (auto it = t.map.begin(); it != t.map.end();) {
        auto next = std::next(it);
        if (it->second.owner == owner) freeId(t, it);
        it = next;
    }
}

std::any TinyAtom::target() const
{
    if (code == 0) return {};
    const auto& map = table().map;
    auto it = map.find(code);
    return it == map.end() ? std::any{} : it->second.value;
}

int TinyAtom::usedCount() { return static_cast<int>(table().map.size()); }

int TinyAtom::usedCount(const void* owner)
{
    int count = 0;
    for (const auto& [id, entry] : table().map) count += entry.owner == owner ? 1 : 0;
    return count;
}

int TinyAtom::collectUnused(const void* owner, const IdsInUse& inUse)
{
    auto& t = table();
    if (t.map.empty()) return 0;

    int kept = 0;
    for (auto it = t.map.begin(); it != t.map.end();) {
        auto next = std::next(it);
        if (it->second.owner == owner) {
            if (inUse.test(it->first)) {
                ++kept;
            } else {
                freeId(t, it);
            }
        }
        it = next;
    }
    return kept;
}

namespace detail {
void resetTinyAtomTable()
{
    table() = AtomTable{};
}
}  // namespace detail

}  // namespace corvel
