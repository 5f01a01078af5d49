// One image in a terminal's Kitty image store.
#pragma once

#include <cstdint>

#include "corvel/kitty/KittyGraphicsPayload.h"

namespace corvel {

struct KittyGraphicsImage {
    KittyGraphicsPayload payload;
    int64_t byteSize = 0;         // length of the PNG data or of the RGBA bytes
    uint64_t lastAccessTick = 0;  // the only field that changes after storing
    // The state's mutation count when it was stored: two images stored under
    // one id never share it, even with equal payload sizes and heads.
    uint64_t generation = 0;
};

}  // namespace corvel
