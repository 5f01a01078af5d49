// A 16-bit handle to an out-of-band value carried by a cell (the target of an
// OSC 8 hyperlink). The table behind the handles is process-wide and shared by
// every terminal; like the rest of the screen model it is used from the one
// thread that drives the terminals and is not locked.
//
// Ids run from 1 to 65534. Each id belongs to the owner that took it (a
// terminal), and only that owner's collection releases it: an id is released
// once none of the owner's cells refers to it, so no live cell ever points at
// an id that was handed out again. Released ids are handed out again; while
// all 65534 are taken, `lookup` yields nothing.
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

    // Stores the value under a free id owned by `owner`; nothing while every
    // id is taken.
    static std::optional<TinyAtom> lookup(std::any value, const void* owner = nullptr);
    // Removes the entry for `code`, if present, and frees the id.
    static void release(uint16_t code);
    // Releases every id `owner` took.
    static void releaseAll(const void* owner);

    // The stored value; empty for id 0 or a released id.
    std::any target() const;

    // How many ids are taken, in all and by `owner`.
    static int usedCount();
    static int usedCount(const void* owner);

    // Releases the ids of `owner` that are not in `inUse` (the owner of the
    // cells, a terminal, gathers them from every line it keeps, and adds the
    // id of a link still open). Returns how many ids `owner` still holds.
    static int collectUnused(const void* owner, const IdsInUse& inUse);

    constexpr bool operator==(const TinyAtom&) const = default;
};

namespace detail {
// Empties the table and starts the ids again from 1. For tests only.
void resetTinyAtomTable();
}  // namespace detail

}  // namespace corvel
