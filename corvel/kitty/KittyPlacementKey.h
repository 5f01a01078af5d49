// Identifies one Kitty placement: an image id and a placement id within it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace corvel {

struct KittyPlacementKey {
    uint32_t imageId = 0;
    uint32_t placementId = 0;

    constexpr bool operator==(const KittyPlacementKey&) const = default;
};

}  // namespace corvel

template <>
struct std::hash<corvel::KittyPlacementKey> {
    size_t operator()(const corvel::KittyPlacementKey& key) const noexcept
    {
        size_t seed = std::hash<uint32_t>{}(key.imageId);
        seed ^= std::hash<uint32_t>{}(key.placementId) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        return seed;
    }
};
