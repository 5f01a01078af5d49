// How the GPU renderer keeps the data of the visible rows: each row in its
// own buffers kept while the row is unchanged, or all rows gathered into
// pooled buffers every frame. The terminal view holds the choice.
#pragma once

#include <cstdint>

namespace corvel::qt {

enum class MetalBufferingMode : std::uint8_t { perRowPersistent, perFrameAggregated };

}  // namespace corvel::qt
