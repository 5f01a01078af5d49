// Pooling of per-frame GPU buffers by length.
#include "corvel/gl/BufferPool.h"

namespace corvel::gl {

BufferPool::BufferPool(GpuDevice& device, std::size_t alignment, int maxBuffersPerSize, std::size_t maxIdleBytes)
    : device_(device),
      alignment_(alignment == 0 ? 1 : alignment),
      maxBuffersPerSize_(maxBuffersPerSize),
      maxIdleBytes_(maxIdleBytes)
{
}

BufferPool::~BufferPool()
{
    for (const PoolBuffer& buffer : frameBuffers_) device_.deleteBuffer(buffer.id);
    for (const InFlight& frame : inFlight_) {
        device_.deleteFence(frame.fence);
        for (const PoolBuffer& buffer : frame.buffers) device_.deleteBuffer(buffer.id);
    }
    for (auto& [length, list] : available_)
        for (GpuHandle id : list.buffers) device_.deleteBuffer(id);
}

std::optional<PoolBuffer> BufferPool::makeBufferOfBytes(const void* bytes, std::size_t byteCount)
{
    if (byteCount == 0) return std::nullopt;
    const std::size_t length = (byteCount + alignment_ - 1) / alignment_ * alignment_;
    auto buffer = dequeue(length);
    if (!buffer) return std::nullopt;
    device_.writeBuffer(buffer->id, 0, bytes, byteCount);
    frameBuffers_.push_back(*buffer);
    return buffer;
}

std::optional<PoolBuffer> BufferPool::dequeue(std::size_t length)
{
    {
        std::lock_guard guard(lock_);
        auto it = available_.find(length);
        if (it != available_.end() && !it->second.buffers.empty()) {
            IdleList& list = it->second;
            const GpuHandle id = list.buffers.back();
            list.buffers.pop_back();
            idleBytes_ -= length;
            if (list.buffers.empty()) {
                recency_.erase(list.recency);
                available_.erase(it);
            } else {
                touch(list);
            }
            return PoolBuffer{id, length};
        }
    }
    const GpuHandle id = device_.createBuffer(length);
    if (id == 0) return std::nullopt;
    ++allocations_;
    return PoolBuffer{id, length};
}

void BufferPool::touch(IdleList& list) { recency_.splice(recency_.end(), recency_, list.recency); }

void BufferPool::recycle(std::span<const PoolBuffer> buffers)
{
    std::vector<GpuHandle> dropped;
    {
        std::lock_guard guard(lock_);
        for (const PoolBuffer& buffer : buffers) {
            auto it = available_.find(buffer.length);
            if (it == available_.end()) {
                recency_.push_back(buffer.length);
                it = available_.emplace(buffer.length, IdleList{{}, std::prev(recency_.end())}).first;
            } else {
                touch(it->second);
            }
            IdleList& list = it->second;
            if (static_cast<int>(list.buffers.size()) >= maxBuffersPerSize_) {
                dropped.push_back(buffer.id);
                if (list.buffers.empty()) {
                    recency_.erase(list.recency);
                    available_.erase(it);
                }
                continue;
            }
            list.buffers.push_back(buffer.id);
            idleBytes_ += buffer.length;
        }
        // Least recently used lengths go first.
        while (idleBytes_ > maxIdleBytes_ && !recency_.empty()) {
            const std::size_t length = recency_.front();
            IdleList& list = available_.at(length);
            while (!list.buffers.empty() && idleBytes_ > maxIdleBytes_) {
                dropped.push_back(list.buffers.back());
                list.buffers.pop_back();
                idleBytes_ -= length;
            }
            if (!list.buffers.empty()) break;
            recency_.pop_front();
            available_.erase(length);
        }
    }
    for (GpuHandle id : dropped) device_.deleteBuffer(id);
}

void BufferPool::beginFrame()
{
    if (frameBuffers_.empty()) return;
    std::vector<PoolBuffer> unsubmitted;
    unsubmitted.swap(frameBuffers_);
    recycle(unsubmitted);
}

void BufferPool::commit()
{
    if (frameBuffers_.empty()) return;
    const GpuHandle fence = device_.insertFence();
    if (fence == 0) {
        // Without a fence there is no telling when the GPU is done: the
        // buffers are deleted rather than reused too early.
        for (const PoolBuffer& buffer : frameBuffers_) device_.deleteBuffer(buffer.id);
        frameBuffers_.clear();
        return;
    }
    inFlight_.push_back(InFlight{fence, std::move(frameBuffers_)});
    frameBuffers_.clear();
}

void BufferPool::pollCompletions()
{
    // Fences pass in order, so the first unsignalled one ends the scan.
    std::size_t done = 0;
    while (done < inFlight_.size() && device_.fenceSignalled(inFlight_[done].fence)) ++done;
    for (std::size_t i = 0; i < done; ++i) {
        device_.deleteFence(inFlight_[i].fence);
        recycle(inFlight_[i].buffers);
    }
    inFlight_.erase(inFlight_.begin(), inFlight_.begin() + static_cast<std::ptrdiff_t>(done));
}

std::size_t BufferPool::idleCount(std::size_t length) const
{
    std::lock_guard guard(lock_);
    auto it = available_.find(length);
    return it == available_.end() ? 0 : it->second.buffers.size();
}

std::size_t BufferPool::idleBytes() const
{
    std::lock_guard guard(lock_);
    return idleBytes_;
}

}  // namespace corvel::gl
