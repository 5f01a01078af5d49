#include "corvel/screen/TinyAtom.h"

#include <bitset>
#include <memory>
#include <unordered_map>

#include "corvel/screen/BufferLine.h"
#include "corvel/screen/CircularBufferLineList.h"

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

void TinyAtom::collectUnused(std::initializer_list<const CircularBufferLineList*> rings)
{
    auto& t = table();
    if (t.lastCollected == t.lastUsed) return;

    auto inUse = std::make_unique<std::bitset<65536>>();
    for (const auto* ring : rings) {
        if (!ring) continue;
        for (const BufferLine* line : ring->getArray()) {
            if (!line) continue;
            for (const CharData& cell : line->storage()) {
                if (cell.payload.code != 0) inUse->set(cell.payload.code);
            }
        }
    }

    for (int id = t.lastCollected + 1; id <= t.lastUsed; ++id) {
        if (inUse->test(static_cast<size_t>(id))) break;
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
