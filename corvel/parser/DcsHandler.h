// A consumer of the payload of one DCS string.
#pragma once

#include <cstdint>
#include <span>

namespace corvel {

class DcsHandler {
public:
    virtual ~DcsHandler() = default;

    // The string's header: intermediates, parameters and final byte.
    virtual void hook(std::span<const uint8_t> collect, std::span<const int64_t> parameters, uint8_t flag) = 0;
    // A slice of payload bytes; called any number of times.
    virtual void put(std::span<const uint8_t> data) = 0;
    // The string ended.
    virtual void unhook() = 0;
};

}  // namespace corvel
