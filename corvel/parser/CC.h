// Whether the terminal's replies begin with 7-bit (ESC-prefixed) or 8-bit C1
// introducers.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace corvel {

struct CC {
    bool send8bit = false;

    std::span<const uint8_t> csi() const { return send8bit ? std::span<const uint8_t>(kCsi8) : kCsi7; }
    std::span<const uint8_t> osc() const { return send8bit ? std::span<const uint8_t>(kOsc8) : kOsc7; }
    std::span<const uint8_t> dcs() const { return send8bit ? std::span<const uint8_t>(kDcs8) : kDcs7; }
    std::span<const uint8_t> st() const { return send8bit ? std::span<const uint8_t>(kSt8) : kSt7; }
    std::span<const uint8_t> apc() const { return send8bit ? std::span<const uint8_t>(kApc8) : kApc7; }

    bool operator==(const CC&) const = default;

private:
    static constexpr std::array<uint8_t, 2> kCsi7{0x1B, 0x5B};
    static constexpr std::array<uint8_t, 2> kOsc7{0x1B, 0x5D};
    static constexpr std::array<uint8_t, 2> kDcs7{0x1B, 0x50};
    static constexpr std::array<uint8_t, 2> kSt7{0x1B, 0x5C};
    static constexpr std::array<uint8_t, 2> kApc7{0x1B, 0x5F};
    static constexpr std::array<uint8_t, 1> kCsi8{0x9B};
    static constexpr std::array<uint8_t, 1> kOsc8{0x9D};
    static constexpr std::array<uint8_t, 1> kDcs8{0x90};
    static constexpr std::array<uint8_t, 1> kSt8{0x9C};
    static constexpr std::array<uint8_t, 1> kApc8{0x9F};
};

}  // namespace corvel
