// Chunked Kitty graphics transfers: the open transfer a terminal keeps
// between chunks, and the step that takes one parsed command and says what to
// do with it. The joined payload is kept as base64 text; its length is capped
// so that a client cannot make the terminal hold more than the decoded byte
// limit's worth of text. Runs on the terminal's thread.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "corvel/kitty/KittyGraphicsControl.h"

namespace corvel {

class KittyGraphicsState;

// The most base64 text one transfer may join: the text of 419430400 decoded
// bytes, rounded up to whole four-character groups.
inline constexpr size_t kKittyGraphicsMaxJoinedPayload = 559240536;

struct KittyGraphicsPending {
    KittyGraphicsControl control;        // the keys of the first chunk; they hold for the whole transfer
    std::vector<uint8_t> base64Payload;  // the payloads of all chunks so far
    // The joined payload passed the cap: it was refused and released, and the
    // remaining chunks of this transfer are dropped without a reply.
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

    std::span<const uint8_t> payload() const { return fromPending ? std::span<const uint8_t>(joined) : single; }

    std::vector<uint8_t> joined;        // the whole payload of a chunked transfer
    std::span<const uint8_t> single;    // the payload of an unchunked command (points into its input)
    bool fromPending = false;
};

// Applies one command to the open transfer of `state`: a delete drops it; a
// chunk with m=1 opens or grows it; any other command closes it (running the
// joined payload under the first chunk's keys) or, with none open, runs alone.
KittyGraphicsJoin joinKittyGraphicsChunk(KittyGraphicsState& state, const KittyGraphicsCommand& command);

}  // namespace corvel
