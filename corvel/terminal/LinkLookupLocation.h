// Where to look for a link: a buffer position (row counted from the top of
// the line ring) or a screen position (row counted from the top of the rows
// shown).
#pragma once

#include "corvel/screen/Position.h"

#include <cstdint>

namespace corvel {

struct LinkLookupLocation {
    enum class Kind : uint8_t { buffer, screen };

    Kind kind = Kind::buffer;
    Position position;

    static LinkLookupLocation buffer(Position at) { return {Kind::buffer, at}; }
    static LinkLookupLocation screen(Position at) { return {Kind::screen, at}; }
    bool operator==(const LinkLookupLocation&) const = default;
};

}  // namespace corvel
