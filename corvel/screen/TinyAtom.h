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
#include <cstdint>
#include <initializer_list>
#include <optional>

namespace corvel {

class CircularBufferLineList;

struct TinyAtom {
    uint16_t code = 0;  // 0 = no payload

    static constexpr int maxCode = 65534;

    // Stores the value under a fresh id; nothing once the ids are exhausted.
    static std::optional<TinyAtom> lookup(std::any value);
    // Removes the entry for `code`, if present.
    static void release(uint16_t code);

    // The stored value; empty for id 0 or a released id.
    std::any target() const;

    // The last id handed out, and the id up to which every id was released.
    static int lastUsed();
    static int lastCollected();

    // Releases the ids that no cell in the given line rings refers to any more
    // (a terminal passes the rings of its normal and alternate buffers). Every
    // allocated line of every ring is scanned, scrollback included, and every
    // cell of a line's storage. Only a low-water mark advances: the first id
    // still in use stops the collection, so it keeps every later id alive too.
    static void collectUnused(std::initializer_list<const CircularBufferLineList*> rings);

    constexpr bool operator==(const TinyAtom&) const = default;
};

namespace detail {
// Empties the table and starts the ids again from 1. For tests only: a live
// process never reissues ids.
void resetTinyAtomTable();
}  // namespace detail

}  // namespace corvel
