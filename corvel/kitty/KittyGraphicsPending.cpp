// Joining chunked Kitty graphics transfers.
#include "corvel/kitty/KittyGraphicsPending.h"

#include "corvel/kitty/KittyGraphicsDecoding.h"
#include "corvel/kitty/KittyGraphicsState.h"

#include <algorithm>
#include <memory>

namespace corvel {

namespace {

// Appends `bytes`, growing the buffer at most to the cap so that the last
// doubling does not reserve far more than a transfer may hold. False (and
// nothing appended) when the joined text would pass the cap.
bool appendCapped(std::vector<uint8_t>& joined, std::span<const uint8_t> bytes)
{
    if (bytes.size() > kKittyGraphicsMaxJoinedPayload - joined.size()) return false;
    const size_t need = joined.size() + bytes.size();
    if (need > joined.capacity()) {
        const size_t grown = std::max(need, std::max<size_t>(joined.capacity() * 2, 65536));
        joined.reserve(std::min(grown, kKittyGraphicsMaxJoinedPayload));
    }
    joined.insert(joined.end(), bytes.begin(), bytes.end());
    return true;
}

// Raw pixels sent uncompressed announce their size: the text of that many
// bytes is reserved at once, so the buffer is never copied while it grows.
size_t expectedTextLength(const KittyGraphicsControl& control)
{
    if (control.compression) return 0;
    const auto expected = kittyExpectedDataSize(control);
    if (!expected) return 0;
    return std::min((static_cast<size_t>(*expected) + 2) / 3 * 4, kKittyGraphicsMaxJoinedPayload);
}

void markOverflowed(KittyGraphicsPending& pending)
{
    pending.overflowed = true;
    std::vector<uint8_t>().swap(pending.base64Payload);
}

}  // namespace

KittyGraphicsJoin joinKittyGraphicsChunk(KittyGraphicsState& state, const KittyGraphicsCommand& command)
{
    const KittyGraphicsControl& control = command.control;
    KittyGraphicsJoin result;
    if (control.action == 'd' || control.action == 'D') state.pending.reset();

    if (control.more == 1) {
        if (!state.pending) {
            auto opened = std::make_shared<KittyGraphicsPending>();
            opened->control = control;
            opened->base64Payload.reserve(expectedTextLength(control));
            state.pending = opened;
            if (!appendCapped(opened->base64Payload, command.payload)) {
                markOverflowed(*opened);
                result.kind = KittyGraphicsJoin::Kind::overflow;
                result.control = control;
            }
            return result;
        }
        KittyGraphicsPending& pending = *state.pending;
        if (pending.overflowed) return result;
        if (!appendCapped(pending.base64Payload, command.payload)) {
            markOverflowed(pending);
            result.kind = KittyGraphicsJoin::Kind::overflow;
            result.control = pending.control;
        }
        return result;
    }

    if (!state.pending) {
        result.kind = KittyGraphicsJoin::Kind::run;
        result.control = control;
        result.single = command.payload;
        return result;
    }
    // The last chunk: the transfer closes before it runs.
    const std::shared_ptr<KittyGraphicsPending> pending = std::move(state.pending);
    state.pending.reset();
    result.control = pending->control;
    if (pending->overflowed) return result;
    if (!appendCapped(pending->base64Payload, command.payload)) {
        result.kind = KittyGraphicsJoin::Kind::overflow;
        return result;
    }
    result.kind = KittyGraphicsJoin::Kind::run;
    result.joined = std::move(pending->base64Payload);
    result.fromPending = true;
    return result;
}

}  // namespace corvel
