#include "corvel/host/CoalescedDelivery.h"

#include <algorithm>

namespace corvel {

std::shared_ptr<CoalescedDelivery> CoalescedDelivery::create(Post post, Deliver deliver, ReadAheadBound bound,
                                                             Block resume, Clock clock)
{
    return std::shared_ptr<CoalescedDelivery>(new CoalescedDelivery(
        std::move(post), std::move(deliver), bound, std::move(resume), std::move(clock)));
}

CoalescedDelivery::CoalescedDelivery(Post post, Deliver deliver, ReadAheadBound bound, Block resume, Clock clock)
    : post_(std::move(post)),
      deliver_(std::move(deliver)),
      resume_(std::move(resume)),
      clock_(std::move(clock)),
      bound_(bound)
{
}

void CoalescedDelivery::enqueue(std::vector<uint8_t> chunk)
{
    push(Entry{std::move(chunk), nullptr});
}

void CoalescedDelivery::enqueueMarker(Block marker)
{
    push(Entry{{}, std::move(marker)});
}

void CoalescedDelivery::push(Entry entry)
{
    bool schedule = false;
    const Nanos now = entry.bytes.empty() ? 0 : clock_();
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (pendingBytes_ == 0 && !entry.bytes.empty()) {
            busySince_ = now;
            busyBytes_ = 0;
        }
        pendingBytes_ += entry.bytes.size();
        if (pendingBytes_ > bound_.highWater()) paused_ = true;
        entries_.push_back(std::move(entry));
        if (!scheduled_) {
            scheduled_ = true;
            schedule = true;
        }
    }
    if (schedule) postDrain();
}

bool CoalescedDelivery::producerShouldPause() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return paused_;
}

size_t CoalescedDelivery::pendingBytes() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return pendingBytes_;
}

size_t CoalescedDelivery::highWater() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return bound_.highWater();
}

bool CoalescedDelivery::delivered(size_t bytes, Nanos now)
{
    std::lock_guard<std::mutex> guard(lock_);
    // Less only when the consumer discarded everything during the delivery.
    bytes = std::min(bytes, pendingBytes_);
    pendingBytes_ -= bytes;
    busyBytes_ += bytes;
    // A measurement ends with the wait or after a sample's time of it.
    if (pendingBytes_ == 0 || now - busySince_ >= ReadAheadBound::sampleNs) {
        bound_.taken(busyBytes_, now - busySince_);
        busySince_ = now;
        busyBytes_ = 0;
    }
    if (paused_ && pendingBytes_ <= bound_.lowWater()) {
        paused_ = false;
        return true;
    }
    return false;
}

void CoalescedDelivery::discard()
{
    std::vector<Entry> dropped;
    inPieces_.reset();
    {
        std::lock_guard<std::mutex> guard(lock_);
        dropped.swap(entries_);
        index_ = 0;
        pendingBytes_ = 0;
        paused_ = false;
    }
    // `dropped` (and any marker it holds) is destroyed outside the lock.
}

CoalescedDelivery::~CoalescedDelivery()
{
    stopWaiting();
}

void CoalescedDelivery::waitForTurn()
{
    if (waitingForTurn_) return;
    waitingForTurn_ = true;
    turn_->waiting.fetch_add(1);
}

void CoalescedDelivery::stopWaiting()
{
    if (!waitingForTurn_) return;
    waitingForTurn_ = false;
    turn_->waiting.fetch_sub(1);
}

void CoalescedDelivery::shareTurn(std::shared_ptr<DispatchQueue::DeliveryTurn> turn, PostAfter postAfter)
{
    turn_ = std::move(turn);
    postAfter_ = std::move(postAfter);
}

void CoalescedDelivery::postDrainLater()
{
    std::weak_ptr<CoalescedDelivery> weak = weak_from_this();
    postAfter_(turnDelayNs, [weak] {
        if (auto self = weak.lock()) self->drain();
    });
}

bool CoalescedDelivery::turnUsedUp(Nanos now)
{
    if (!turn_) return false;
    // A turn used up stays so until its pause is over.
    if (now < turn_->start) return true;
    if (now - turn_->start < turnNs) return false;
    // The next delivery after the pause begins a new turn.
    turn_->start = now + turnDelayNs;
    turn_->lastEnd = now;
    return true;
}

size_t CoalescedDelivery::nextPieceBytes() const
{
    if (recentNs_ <= 0) return pieceBytes;  // nothing measured, or no time passed
    const double bytes = double(pieceNs) * recentBytes_ / recentNs_;
    if (bytes >= double(pieceBytes)) return pieceBytes;
    return std::max(minPieceBytes, static_cast<size_t>(bytes));
}

void CoalescedDelivery::measurePiece(size_t bytes, Nanos ns)
{
    if (bytes < minPieceBytes) return;
    // The window holds about `pieceBytes`: enough pieces that output whose
    // cost comes in lumps (an image's end, say) is measured at its average.
    const double window = double(pieceBytes);
    const double piece = double(bytes);
    if (recentBytes_ + piece > window) {
        const double keep = piece >= window ? 0.0 : (window - piece) / recentBytes_;
        recentNs_ *= keep;
        recentBytes_ *= keep;
    }
    recentNs_ += double(std::max<Nanos>(ns, 0));
    recentBytes_ += piece;
}

void CoalescedDelivery::postDrain()
{
    std::weak_ptr<CoalescedDelivery> weak = weak_from_this();
    post_([weak] {
        if (auto self = weak.lock()) self->drain();
    });
}

void CoalescedDelivery::drain()
{
    const Nanos start = clock_();
    if (turn_) {
        // The queue went a while without deliveries: a new turn begins.
        if (start - turn_->lastEnd > turnGapNs) turn_->start = start;
        if (turnUsedUp(start)) {
            waitForTurn();
            postDrainLater();  // stays scheduled
            return;
        }
        // The turn is open: the one that used up the last lets one that
        // waited go first, once.
        if (turn_->holder == this && turn_->waiting.load() > 0 && !waitingForTurn_ && !yielded_) {
            yielded_ = true;
            postDrainLater();
            return;
        }
        yielded_ = false;
        stopWaiting();
    }
    Nanos pieceStart = start;
    for (;;) {
        if (!inPieces_) {
            Entry entry;
            {
                std::lock_guard<std::mutex> guard(lock_);
                if (index_ >= entries_.size()) {
                    entries_.clear();  // keeps the capacity for the next burst
                    index_ = 0;
                    scheduled_ = false;
                    return;
                }
                entry = std::move(entries_[index_++]);
                if (index_ >= flushThreshold) {
                    entries_.erase(entries_.begin(), entries_.begin() + static_cast<ptrdiff_t>(index_));
                    index_ = 0;
                }
            }
            if (entry.marker) {
                entry.marker();
            } else {
                inPieces_ = std::move(entry.bytes);
                pieceOffset_ = 0;
            }
        }
        size_t deliveredBytes = 0;
        if (inPieces_) {
            // A large block goes in pieces, the slice checked after each.
            std::vector<uint8_t> block = std::move(*inPieces_);
            inPieces_.reset();
            const std::span<const uint8_t> rest = std::span<const uint8_t>(block).subspan(pieceOffset_);
            const std::span<const uint8_t> piece = rest.first(std::min(rest.size(), nextPieceBytes()));
            deliver_(piece);
            deliveredBytes = piece.size();
            if (pieceOffset_ + piece.size() < block.size()) {
                pieceOffset_ += piece.size();
                inPieces_ = std::move(block);
            }
        }
        const Nanos end = clock_();
        measurePiece(deliveredBytes, end - pieceStart);
        pieceStart = end;
        if (deliveredBytes > 0 && delivered(deliveredBytes, end) && resume_) resume_();
        if (turn_) turn_->lastEnd = end;
        if (turnUsedUp(end)) {
            turn_->holder = this;
            postDrainLater();  // stays scheduled; timers and painting run first
            return;
        }
        if (end - start >= timeSliceNs) {
            postDrain();  // stays scheduled; the queue runs what waits first
            return;
        }
    }
}

}  // namespace corvel
