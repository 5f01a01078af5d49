// One image in a terminal's Kitty image store.
#pragma once

#include <cstdint>

#include "corvel/kitty/KittyGraphicsPayload.h"

namespace corvel {

struct KittyGraphicsImage {
    KittyGraphicsPayload payload;
    int64_t byteSize = 0;         // length of the PNG data or of the RGBA bytes
    uint64_t lastAccessTick = 0;  // the only field that changes after storing
};

}  // namespace corvel
