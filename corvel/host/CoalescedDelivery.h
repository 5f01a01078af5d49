// Moves blocks produced on a background thread to a consumer on one queue,
// typically the main queue: in arrival order, one consumer call per block (a
// block larger than the current piece size in pieces of that size), in
// slices of at most `timeSliceNs` so that the queue runs its other work in
// between; a slice may end inside a large block, whose rest comes first in
// the next. The piece size follows what the consumer's time per byte of this
// producer's recent pieces was, so that a piece takes about `pieceNs`: cheap
// output (plain text) goes in pieces of `pieceBytes`, costly output (large
// images) in pieces down to `minPieceBytes`, so that a slice or a shared turn
// can end between them instead of after tens of milliseconds.
// What waits is bounded by a ReadAheadBound: above its high-water mark of
// waiting bytes (a block being handed over in pieces counts until its last
// piece went) the producer is asked to pause, and it is resumed once the
// consumer brought them down to the low-water mark. The bound follows the
// rate at which the consumer takes this producer's bytes while some wait,
// so that however many producers share the consumer's queue, what one has
// waiting is taken within about ReadAheadBound::catchUpNs. The slices and
// the rate are measured on an injectable clock (the monotonic clock unless
// one is given).
//
// Deliveries to one queue may share a turn (shareTurn): together they run at
// most `turnNs` before one of them continues after a short delay instead of
// at once, so that however many producers there are the queue's timers and
// painting get their turn; a turn ends once the queue went `turnGapNs`
// without a delivery. The delivery that used up a turn lets one that waited
// for it go first, so a producer that always has work cannot keep another's
// few bytes (a key's echo) waiting until it is done.
//
// Memory the queue refuses (std::bad_alloc from `post`) loses nothing: an
// enqueue that cannot schedule its drain takes its entry back out and
// throws, so the producer may offer it again; a drain that cannot schedule
// the next one goes on delivering instead of pausing. A consumer's
// exception goes on to the queue once the drain has counted the piece (or
// marker) as delivered and scheduled the next drain for the rest.
#pragma once

#include "corvel/host/ReadAheadBound.h"
#include "corvel/platform/Dispatch.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace corvel {

class CoalescedDelivery : public std::enable_shared_from_this<CoalescedDelivery> {
public:
    using Block = std::function<void()>;
    // Runs a block asynchronously on the consumer's queue.
    using Post = std::function<void(Block)>;
    using Deliver = std::function<void(std::span<const uint8_t>)>;
    using Clock = std::function<Nanos()>;

    // Taken blocks are removed from the front of the list once this many
    // have been taken, so the list neither shifts on every take nor grows
    // while data keeps coming.
    static constexpr size_t flushThreshold = 32;
    // The longest run of deliveries before the queue gets its turn again.
    static constexpr Nanos timeSliceNs = 4'000'000;
    // Blocks are handed over in pieces of at most this many bytes, so that
    // costly output (images, say) cannot hold the queue for a whole block.
    static constexpr size_t pieceBytes = 16384;
    // A piece is sized to take the consumer about this long at the time per
    // byte it took for this producer's recent pieces, but it holds at least
    // `minPieceBytes` (one call's fixed cost stays small beside its bytes').
    // Pieces smaller than that are not measured: their time is mostly the
    // call's, not their bytes'.
    static constexpr Nanos pieceNs = 1'000'000;
    static constexpr size_t minPieceBytes = 512;
    // The longest run of all deliveries that share a turn.
    static constexpr Nanos turnNs = 5'000'000;
    // How long a delivery that finds the turn used up waits, and how long
    // the queue must go without deliveries for a new turn to begin.
    static constexpr Nanos turnDelayNs = 1'000'000;
    static constexpr Nanos turnGapNs = 500'000;
    // Runs a block on the consumer's queue after a delay.
    using PostAfter = std::function<void(Nanos, Block)>;

    // `resume` is called on the consumer's queue when a paused producer may go on.
    static std::shared_ptr<CoalescedDelivery> create(Post post, Deliver deliver, ReadAheadBound bound,
                                                     Block resume, Clock clock = monotonicNanos);

    // Producer side, any thread. Either queued with a drain scheduled, or
    // std::bad_alloc with nothing queued.
    void enqueue(std::vector<uint8_t> chunk);
    // Runs `marker` on the consumer's queue once every block enqueued before
    // it was delivered; all or nothing as enqueue().
    void enqueueMarker(Block marker);
    bool producerShouldPause() const;
    // Shares `turn` with the other deliveries to the same queue; call once,
    // before the first block.
    void shareTurn(std::shared_ptr<DispatchQueue::DeliveryTurn> turn, PostAfter postAfter);

    // Bytes enqueued and not yet delivered.
    size_t pendingBytes() const;
    // Waiting bytes above which the producer is asked to pause, as now.
    size_t highWater() const;
    // Drops everything still waiting (the consumer is gone).
    void discard();

    ~CoalescedDelivery();

private:
    struct Entry {
        std::vector<uint8_t> bytes;
        Block marker;  // set for a marker entry, which carries no bytes
    };

    CoalescedDelivery(Post post, Deliver deliver, ReadAheadBound bound, Block resume, Clock clock);
    void push(Entry entry);
    // Counts `bytes` as delivered at `now`; true when the producer may go on.
    bool delivered(size_t bytes, Nanos now);
    // The size of the next piece, from the recent pieces' time per byte.
    size_t nextPieceBytes() const;
    // Counts a piece of `bytes` that took the consumer `ns`.
    void measurePiece(size_t bytes, Nanos ns);
    void postDrain();
    void postDrainLater();
    // Posts the next drain (after the turn delay when `later`); false when
    // the queue had no memory for it.
    bool scheduleNext(bool later);
    // The consumer threw on `bytes` (0: a marker): they count as delivered
    // and a drain is scheduled for what waits.
    void consumerFailed(size_t bytes);
    void drain();
    // Whether the shared turn is used up at `now`, which ends it.
    bool turnUsedUp(Nanos now);
    // Counts this delivery among those waiting for the next turn, once.
    void waitForTurn();
    void stopWaiting();

    const Post post_;
    const Deliver deliver_;
    const Block resume_;
    const Clock clock_;
    std::shared_ptr<DispatchQueue::DeliveryTurn> turn_;  // consumer's queue only
    PostAfter postAfter_;
    bool waitingForTurn_ = false;  // counted in turn_->waiting
    // The block being handed over in pieces, and how much of it went.
    std::optional<std::vector<uint8_t>> inPieces_;
    size_t pieceOffset_ = 0;
    bool yielded_ = false;         // let a waiting delivery go first since it last ran
    // The consumer's time over the bytes of the recent measured pieces, the
    // older ones weighing less so that the bytes count about `pieceBytes`;
    // no bytes before the first measured piece (which then gets `pieceBytes`).
    // Consumer's queue only.
    double recentNs_ = 0;
    double recentBytes_ = 0;

    // Held through each enqueue, so that one that takes its entry back out
    // finds it last in the list.
    std::mutex pushMutex_;
    mutable std::mutex lock_;
    std::vector<Entry> entries_;
    size_t index_ = 0;        // next entry to deliver
    bool scheduled_ = false;  // a drain is queued or running
    size_t pendingBytes_ = 0;
    bool paused_ = false;
    ReadAheadBound bound_;
    // Since when bytes waited without a break (or the last measurement),
    // and how many were delivered since; meaningful while pendingBytes_ > 0.
    Nanos busySince_ = 0;
    size_t busyBytes_ = 0;
};

}  // namespace corvel
