// Chunked Kitty graphics transfers: the open transfer a terminal keeps
// between chunks, and the step that takes one parsed command and says what to
// do with it. The joined payload is kept as base64 text; its length is capped
// so that a client cannot make the terminal hold more than the decoded byte
// limit's worth of text, and its buffer grows in place, so a transfer near
// the cap never holds an old and a new copy at once. It grows only with the
// text that arrives, never by the size a first chunk announces, and a growth
// the allocator refuses ends the transfer as one past the cap does. Runs on
// the terminal's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "corvel/kitty/KittyGraphicsControl.h"

namespace corvel {

class KittyGraphicsState;

// The most base64 text one transfer may join: the text of 419430400 decoded
// bytes, rounded up to whole four-character groups.
inline constexpr size_t kKittyGraphicsMaxJoinedPayload = 559240536;

// The joined text of a transfer. It grows by reallocation, which the
// allocator does for large buffers by moving pages rather than copying
// them: growing it to the cap costs about the cap, not the cap and the
// buffer before it. Owns its bytes; moves, never copies.
class KittyJoinedPayload {
public:
    KittyJoinedPayload() = default;
    ~KittyJoinedPayload();
    KittyJoinedPayload(KittyJoinedPayload&& other) noexcept;
    KittyJoinedPayload& operator=(KittyJoinedPayload&& other) noexcept;
    KittyJoinedPayload(const KittyJoinedPayload&) = delete;
    KittyJoinedPayload& operator=(const KittyJoinedPayload&) = delete;

    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    std::span<const uint8_t> bytes() const { return {data_, size_}; }

    // Room for `capacity` bytes in all (never less than held); throws
    // std::bad_alloc when there is none.
    void reserve(size_t capacity);
    // Appends, growing the room to at most `most` bytes: false (and nothing
    // appended) when the text would pass it or no room could be had.
    bool append(std::span<const uint8_t> bytes, size_t most);
    // Lets the bytes go.
    void release();

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

struct KittyGraphicsPending {
    KittyGraphicsControl control;      // the keys of the first chunk; they hold for the whole transfer
    KittyJoinedPayload base64Payload;  // the payloads of all chunks so far
    // The joined payload passed the cap, or its room could not be had: it was
    // refused and released, and the remaining chunks of this transfer are
    // dropped without a reply.
    bool overflowed = false;
};

// What the terminal does with one command after joining.
struct KittyGraphicsJoin {
    enum class Kind : uint8_t {
        waiting,   // a chunk was kept (or dropped); nothing to run or reply
        run,       // run `control` with `payload()`
        overflow,  // reply "EINVAL: bad payload" under `control`
    };

    Kind kind = Kind::waiting;
    KittyGraphicsControl control;

    std::span<const uint8_t> payload() const { return fromPending ? joined.bytes() : single; }

    KittyJoinedPayload joined;          // the whole payload of a chunked transfer
    std::span<const uint8_t> single;    // the payload of an unchunked command (points into its input)
    bool fromPending = false;
};

// Applies one command to the open transfer of `state`: a delete drops it; a
// chunk with m=1 opens or grows it; any other command closes it (running the
// joined payload under the first chunk's keys) or, with none open, runs alone.
KittyGraphicsJoin joinKittyGraphicsChunk(KittyGraphicsState& state, const KittyGraphicsCommand& command);

}  // namespace corvel
