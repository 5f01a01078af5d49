// A 16-bit handle to an out-of-band value carried by a cell (the target of an
// OSC 8 hyperlink). The table behind the handles is process-wide and shared by
// every terminal; like the rest of the screen model it is used from the one
// thread that drives the terminals and is not locked.
//
// Ids run from 1 to 65534 and are handed out in increasing order; an id is
// never handed out twice in the life of the process, so a stale cell can never
// point at another cell's value. Once the ids are exhausted, `lookup` yields
// nothing.
#pragma once

#include <any>
#include <bitset>
#include <cstdint>
#include <optional>

namespace corvel {

struct TinyAtom {
    uint16_t code = 0;  // 0 = no payload

    static constexpr int maxCode = 65534;

    // One bit per id: the ids some cell still refers to.
    using IdsInUse = std::bitset<maxCode + 2>;

    // Stores the value under a fresh id; nothing once the ids are exhausted.
    static std::optional<TinyAtom> lookup(std::any value);
    // Removes the entry for `code`, if present.
    static void release(uint16_t code);

    // The stored value; empty for id 0 or a released id.
    std::any target() const;

    // The last id handed out, and the id up to which every id was released.
    static int lastUsed();
    static int lastCollected();

    // Whether an id was handed out that has not been collected yet; while
    // not, there is nothing for collectUnused to do.
    static bool hasUncollected();

    // Releases the ids that are not in `inUse` (the owner of the cells, the
    // terminal, gathers them from every line it keeps). Only a low-water mark
    // advances: the first id still in use stops the collection, so it keeps
    // every later id alive too.
    static void collectUnused(const IdsInUse& inUse);

    constexpr bool operator==(const TinyAtom&) const = default;
};

namespace detail {
// Empties the table and starts the ids again from 1. For tests only: a live
// process never reissues ids.
void resetTinyAtomTable();
}  // namespace detail

}  // namespace corvel
