// Joining chunked Kitty graphics transfers.
#include "corvel/kitty/KittyGraphicsPending.h"

#include "corvel/kitty/KittyGraphicsState.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace corvel {

namespace {

void markOverflowed(KittyGraphicsPending& pending)
{
    pending.overflowed = true;
    pending.base64Payload.release();
}

}  // namespace

KittyJoinedPayload::~KittyJoinedPayload()
{
    std::free(data_);
}

KittyJoinedPayload::KittyJoinedPayload(KittyJoinedPayload&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0))
{
}

KittyJoinedPayload& KittyJoinedPayload::operator=(KittyJoinedPayload&& other) noexcept
{
    if (this != &other) {
        std::free(data_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

void KittyJoinedPayload::reserve(size_t capacity)
{
    if (capacity <= capacity_) return;
    void* grown = std::realloc(data_, capacity);
    if (!grown) throw std::bad_alloc();
    data_ = static_cast<uint8_t*>(grown);
    capacity_ = capacity;
}

bool KittyJoinedPayload::append(std::span<const uint8_t> bytes, size_t most)
{
    if (bytes.size() > most - std::min(size_, most)) return false;
    const size_t need = size_ + bytes.size();
    if (need > capacity_) {
        try {
            reserve(std::min(std::max({need, capacity_ * 2, size_t{65536}}), most));
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    if (!bytes.empty()) std::memcpy(data_ + size_, bytes.data(), bytes.size());
    size_ = need;
    return true;
}

void KittyJoinedPayload::release()
{
    std::free(std::exchange(data_, nullptr));
    size_ = 0;
    capacity_ = 0;
}

KittyGraphicsJoin joinKittyGraphicsChunk(KittyGraphicsState& state, const KittyGraphicsCommand& command)
{
    const KittyGraphicsControl& control = command.control;
    KittyGraphicsJoin result;
    if (control.action == 'd' || control.action == 'D') state.pending.reset();

    if (control.more == 1) {
        if (!state.pending) {
            auto opened = std::make_shared<KittyGraphicsPending>();
            opened->control = control;
            state.pending = opened;
            if (!opened->base64Payload.append(command.payload, kKittyGraphicsMaxJoinedPayload)) {
                markOverflowed(*opened);
                result.kind = KittyGraphicsJoin::Kind::overflow;
                result.control = control;
            }
            return result;
        }
        KittyGraphicsPending& pending = *state.pending;
        if (pending.overflowed) return result;
        if (!pending.base64Payload.append(command.payload, kKittyGraphicsMaxJoinedPayload)) {
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
    if (!pending->base64Payload.append(command.payload, kKittyGraphicsMaxJoinedPayload)) {
        result.kind = KittyGraphicsJoin::Kind::overflow;
        return result;
    }
    result.kind = KittyGraphicsJoin::Kind::run;
    result.joined = std::move(pending->base64Payload);
    result.fromPending = true;
    return result;
}

}  // namespace corvel
