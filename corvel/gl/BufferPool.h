// GPU buffers for data that lives one frame (aggregated cell lists, the
// cursor, image batches). `makeBuffer` copies records into a buffer whose
// length is a multiple of the alignment, taken from the idle buffers of
// exactly that length or made new; `commit` puts a fence behind the frame's
// buffers, and `pollCompletions` (main thread, each frame) gives them back to
// the idle lists once the GPU has passed the fence. At most
// `maxBuffersPerSize` idle buffers are kept per length, and the idle total is
// bounded by `maxIdleBytes`: when it is passed, buffers of the least recently
// used lengths are deleted first, so output whose frame sizes vary does not
// grow idle memory without end. Owned by the renderer; all calls on the GUI
// thread. `lock_` guards the idle lists so completions may also be handled
// off that thread. Destroying the pool deletes every buffer and fence it
// holds, in flight or idle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "corvel/gl/GpuDevice.h"

namespace corvel::gl {

struct PoolBuffer {
    GpuHandle id = 0;
    std::size_t length = 0;

    bool operator==(const PoolBuffer&) const = default;
};

class BufferPool {
public:
    static constexpr std::size_t defaultMaxIdleBytes = 32u << 20;

    explicit BufferPool(GpuDevice& device, std::size_t alignment = 256, int maxBuffersPerSize = 4,
                        std::size_t maxIdleBytes = defaultMaxIdleBytes);
    ~BufferPool();
    BufferPool(const BufferPool&) = delete;
    BufferPool& operator=(const BufferPool&) = delete;

    // A pooled buffer holding a copy of the records; nothing for an empty
    // list or when no buffer can be made.
    template <class Record>
    std::optional<PoolBuffer> makeBuffer(std::span<const Record> records)
    {
        return makeBufferOfBytes(records.data(), records.size_bytes());
    }
    std::optional<PoolBuffer> makeBufferOfBytes(const void* bytes, std::size_t byteCount);

    // An idle buffer of exactly `length` bytes, or a new one.
    std::optional<PoolBuffer> dequeue(std::size_t length);
    // Back to the idle lists, within the per-length and total limits.
    void recycle(std::span<const PoolBuffer> buffers);

    // Starts a frame: buffers handed out since the last commit were never
    // submitted and go back at once.
    void beginFrame();
    // Puts a fence behind the buffers handed out for this frame.
    void commit();
    // Recycles the buffers of every frame whose fence the GPU has passed.
    void pollCompletions();

    std::size_t alignment() const { return alignment_; }
    int maxBuffersPerSize() const { return maxBuffersPerSize_; }
    std::size_t maxIdleBytes() const { return maxIdleBytes_; }
    const std::vector<PoolBuffer>& frameBuffers() const { return frameBuffers_; }
    std::size_t idleCount(std::size_t length) const;
    std::size_t idleBytes() const;
    std::size_t framesInFlight() const { return inFlight_.size(); }
    // Buffers made by the device since the pool was created.
    std::uint64_t allocations() const { return allocations_; }

private:
    struct IdleList {
        std::vector<GpuHandle> buffers;
        std::list<std::size_t>::iterator recency;  // position in recency_
    };
    struct InFlight {
        GpuHandle fence = 0;
        std::vector<PoolBuffer> buffers;
    };

    // Marks a length as used now; lock held.
    void touch(IdleList& list);

    GpuDevice& device_;
    const std::size_t alignment_;
    const int maxBuffersPerSize_;
    const std::size_t maxIdleBytes_;

    mutable std::mutex lock_;
    std::unordered_map<std::size_t, IdleList> available_;  // no empty lists
    std::list<std::size_t> recency_;  // lengths, least recently used first
    std::size_t idleBytes_ = 0;

    std::vector<PoolBuffer> frameBuffers_;
    std::vector<InFlight> inFlight_;
    std::uint64_t allocations_ = 0;
};

}  // namespace corvel::gl
