// The print path's view of its input: the bytes held back from the previous
// print call (an incomplete UTF-8 sequence) followed by the bytes of the
// current one, read as one stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace corvel {

struct ReadingBuffer {
    std::vector<uint8_t> putbackBuffer;  // held back from an earlier call
    std::span<const uint8_t> rest;       // the current call's bytes
    size_t idx = 0;                      // read position over both
    size_t count = 0;                    // putbackBuffer.size() + rest.size()

    // Starts reading the put-back bytes followed by `data`.
    void prepare(std::span<const uint8_t> data)
    {
        rest = data;
        idx = 0;
        count = putbackBuffer.size() + data.size();
    }

    bool hasNext() const { return idx < count; }
    size_t remaining() const { return count - idx; }

    uint8_t getNext()
    {
        const size_t i = idx++;
        return i < putbackBuffer.size() ? putbackBuffer[i] : rest[i - putbackBuffer.size()];
    }

    // Keeps `byte` and every byte not yet read for the next call.
    void putback(uint8_t byte)
    {
        // The bytes may come from putbackBuffer itself, so they are gathered
        // first; a short sequence (the usual case) is gathered on the stack,
        // and the list keeps its storage from one read to the next.
        uint8_t few[8];
        if (1 + remaining() <= sizeof few) {
            size_t n = 0;
            few[n++] = byte;
            while (hasNext()) few[n++] = getNext();
            putbackBuffer.assign(few, few + n);
        } else {
            std::vector<uint8_t> kept;
            kept.reserve(1 + remaining());
            kept.push_back(byte);
            while (hasNext()) kept.push_back(getNext());
            putbackBuffer = std::move(kept);
        }
        rest = {};
        idx = 0;
        count = putbackBuffer.size();
    }

    // Drops the put-back bytes already consumed and the current call's bytes.
    void done()
    {
        if (idx >= putbackBuffer.size()) {
            putbackBuffer.clear();
        } else {
            putbackBuffer.erase(putbackBuffer.begin(), putbackBuffer.begin() + static_cast<std::ptrdiff_t>(idx));
        }
        rest = {};
        idx = 0;
        count = putbackBuffer.size();
    }

    // What the parser asks for when a sequence begins: nothing held back.
    void reset()
    {
        putbackBuffer.clear();
        rest = {};
        idx = 0;
        count = 0;
    }
};

}  // namespace corvel
