#include "corvel/screen/TinyAtom.h"

#include <unordered_map>

namespace corvel {

namespace {

struct AtomTable {
    std::unordered_map<uint16_t, std::any> map;
    int lastUsed = 0;
    int lastCollected = 0;
};

AtomTable& table()
{
    static AtomTable instance;
    return instance;
}

}  // namespace

std::optional<TinyAtom> TinyAtom::lookup(std::any value)
{
    auto& t = table();
    const int next = t.lastUsed + 1;
    if (next > maxCode) return std::nullopt;
    t.map[static_cast<uint16_t>(next)] = std::move(value);
    t.lastUsed = next;
    return TinyAtom{static_cast<uint16_t>(next)};
}

void TinyAtom::release(uint16_t code)
{
    table().map.erase(code);
}

std::any TinyAtom::target() const
{
    if (code == 0) return {};
    const auto& map = table().map;
    auto it = map.find(code);
    return it == map.end() ? std::any{} : it->second;
}

int TinyAtom::lastUsed() { return table().lastUsed; }

int TinyAtom::lastCollected() { return table().lastCollected; }

bool TinyAtom::hasUncollected()
{
    return table().lastCollected != table().lastUsed;
}

void TinyAtom::collectUnused(const IdsInUse& inUse)
{
    auto& t = table();
    for (int id = t.lastCollected + 1; id <= t.lastUsed; ++id) {
        if (inUse.test(static_cast<size_t>(id))) break;
        t.lastCollected = id;
        t.map.erase(static_cast<uint16_t>(id));
    }
}

namespace detail {
void resetTinyAtomTable()
{
    table() = AtomTable{};
}
}  // namespace detail

}  // namespace corvel
