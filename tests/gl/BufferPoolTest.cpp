// Buffer pool on the recording device: lengths, reuse after the fence, the
// per-length and total idle limits, and nothing left behind.
#include <gtest/gtest.h>

#include <cstring>

#include "corvel/gl/BufferPool.h"
#include "corvel/gl/GpuRecords.h"
#include "corvel/gl/RecordingGpuDevice.h"

namespace corvel::gl {
namespace {

std::vector<TextCell> textCells(int n)
{
    std::vector<TextCell> cells(n);
    for (int i = 0; i < n; ++i) cells[i].position = {float(i), float(2 * i)};
    return cells;
}

TEST(BufferPool, LengthsAreMultiplesOf256AndHoldTheRecords)
{
    RecordingGpuDevice device;
    BufferPool pool(device);
    const auto one = textCells(1);
    const auto six = textCells(6);
    auto a = pool.makeBuffer(std::span<const TextCell>(one));
    auto b = pool.makeBuffer(std::span<const TextCell>(six));
    const std::vector<ColorVertex> eight(8);
    auto c = pool.makeBuffer(std::span<const ColorVertex>(eight));
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->length, 256u);
    EXPECT_EQ(b->length, 512u);  // 288 bytes
    EXPECT_EQ(c->length, 256u);
    EXPECT_EQ(device.buffers.at(b->id).size(), 512u);
    EXPECT_EQ(std::memcmp(device.buffers.at(b->id).data(), six.data(), 288), 0);
    EXPECT_EQ(pool.frameBuffers().size(), 3u);

    const int made = device.buffersCreated;
    EXPECT_FALSE(pool.makeBuffer(std::span<const TextCell>()));
    EXPECT_EQ(device.buffersCreated, made);
    EXPECT_EQ(pool.frameBuffers().size(), 3u);
}

TEST(BufferPool, BuffersComeBackOnlyAfterTheirFenceAndAreReused)
{
    RecordingGpuDevice device;
    BufferPool pool(device);
    const auto cells = textCells(3);
    auto first = pool.makeBuffer(std::span<const TextCell>(cells));
    pool.commit();
    EXPECT_TRUE(pool.frameBuffers().empty());
    EXPECT_EQ(pool.framesInFlight(), 1u);

    pool.pollCompletions();
    EXPECT_EQ(pool.idleCount(256), 0u);  // the GPU may still read it
    pool.makeBuffer(std::span<const TextCell>(cells));
    EXPECT_EQ(pool.allocations(), 2u);
    pool.commit();

    device.signalAllFences();
    pool.pollCompletions();
    EXPECT_EQ(pool.framesInFlight(), 0u);
    EXPECT_EQ(pool.idleCount(256), 2u);
    EXPECT_TRUE(device.fences.empty());
    auto again = pool.makeBuffer(std::span<const TextCell>(cells));
    EXPECT_EQ(pool.allocations(), 2u);
    EXPECT_TRUE(again->id == first->id || pool.idleCount(256) == 1u);

    // Buffers of a frame that was never committed go back at the next one.
    pool.beginFrame();
    EXPECT_EQ(pool.idleCount(256), 2u);
    EXPECT_TRUE(pool.frameBuffers().empty());
}

TEST(BufferPool, IdleBuffersAreBoundedPerLengthAndInTotalDroppingLeastRecentlyUsedLengthsFirst)
{
    {
        RecordingGpuDevice device;
        BufferPool pool(device);
        std::vector<PoolBuffer> five;
        for (int i = 0; i < 5; ++i) five.push_back(*pool.dequeue(1024));
        pool.recycle(five);
        EXPECT_EQ(pool.idleCount(1024), 4u) << "at most four of one length";
        EXPECT_EQ(device.buffers.size(), 4u);
    }
    RecordingGpuDevice device;
    BufferPool pool(device, 256, 4, 2048);
    const auto take = [&](std::size_t length) { return *pool.dequeue(length); };
    auto a = take(512), b = take(768), c = take(1024);
    pool.recycle(std::vector{a});
    pool.recycle(std::vector{b});
    // 512 is used again, so 768 is now the least recently used length.
    pool.recycle(std::vector{take(512)});
    EXPECT_EQ(pool.idleCount(512), 1u);
    pool.recycle(std::vector{c});  // 512 + 768 + 1024 > 2048
    EXPECT_EQ(pool.idleCount(768), 0u);
    EXPECT_EQ(pool.idleCount(512), 1u);
    EXPECT_EQ(pool.idleCount(1024), 1u);
    EXPECT_EQ(pool.idleBytes(), 1536u);
    EXPECT_EQ(device.buffers.size(), 2u);

    // A buffer larger than the whole limit is not kept at all.
    pool.recycle(std::vector{take(4096)});
    EXPECT_EQ(pool.idleCount(4096), 0u);
    EXPECT_LE(pool.idleBytes(), 2048u);
}

TEST(BufferPool, AggregatedFramesOfChangingSizeKeepIdleMemoryBounded)
{
    RecordingGpuDevice device;
    BufferPool pool(device);
    std::vector<ColorCell> cells;
    std::size_t largestIdle = 0;
    for (int frame = 0; frame < 1200; ++frame) {
        pool.pollCompletions();
        pool.beginFrame();
        // Every frame a new length, as a screen of changing output gives.
        cells.resize(1000 + frame * 60);
        pool.makeBuffer(std::span<const ColorCell>(cells));
        pool.commit();
        device.signalAllFences();
        largestIdle = std::max(largestIdle, pool.idleBytes());
    }
    EXPECT_LE(largestIdle, BufferPool::defaultMaxIdleBytes);
    std::size_t held = 0;
    for (auto& [id, bytes] : device.buffers) held += bytes.size();
    EXPECT_LE(held, BufferPool::defaultMaxIdleBytes + (1000 + 1200 * 60) * sizeof(ColorCell) + 256);
}

TEST(BufferPool, DestroyingThePoolMidFrameLeavesNoBuffersOrFences)
{
    RecordingGpuDevice device;
    {
        BufferPool pool(device);
        const auto cells = textCells(10);
        pool.makeBuffer(std::span<const TextCell>(cells));
        pool.commit();  // in flight
        pool.recycle(std::vector{*pool.dequeue(256)});  // idle
        pool.makeBuffer(std::span<const TextCell>(cells));  // not committed
    }
    EXPECT_EQ(device.liveObjectCount(), 0u);
}

TEST(BufferPool, WithoutFencesBuffersAreNotReusedEarly)
{
    RecordingGpuDevice device;
    device.failFences = true;
    BufferPool pool(device);
    const auto cells = textCells(1);
    pool.makeBuffer(std::span<const TextCell>(cells));
    pool.commit();
    pool.pollCompletions();
    EXPECT_EQ(pool.idleCount(256), 0u);
    EXPECT_EQ(device.liveObjectCount(), 0u);
}

}  // namespace
}  // namespace corvel::gl
