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
    std::lock_guard<std::mutex> producer(pushMutex_);
    const size_t bytes = entry.bytes.size();
    const Nanos now = bytes == 0 ? 0 : clock_();
    bool schedule = false;
    bool wasPaused;
    {
        std::lock_guard<std::mutex> guard(lock_);
        entries_.push_back(std::move(entry));  // first: a refusal here changes nothing
        if (pendingBytes_ == 0 && bytes > 0) {
            busySince_ = now;
            busyBytes_ = 0;
        }
        pendingBytes_ += bytes;
        wasPaused = paused_;
        if (pendingBytes_ > bound_.highWater()) paused_ = true;
        if (!scheduled_) {
            scheduled_ = true;
            schedule = true;
        }
    }
    if (!schedule) return;
    try {
        postDrain();
    } catch (...) {
        // Nothing would deliver the entry: it comes out again, and the list
        // is as this call found it. No drain ran meanwhile (none was
        // scheduled), no other producer pushed (`pushMutex_`), and only a
        // discard can have emptied the list.
        std::lock_guard<std::mutex> guard(lock_);
        if (!entries_.empty()) {
            entries_.pop_back();
            pendingBytes_ -= std::min(bytes, pendingBytes_);
            paused_ = wasPaused;
        }
        scheduled_ = false;
        throw;
    }
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

void CoalescedDelivery::consumerFailed(size_t bytes)
{
    if (bytes > 0 && delivered(bytes, clock_()) && resume_) resume_();
    if (scheduleNext(false)) return;
    // Not even that: the next enqueue schedules the drain.
    std::lock_guard<std::mutex> guard(lock_);
    scheduled_ = false;
}

bool CoalescedDelivery::scheduleNext(bool later)
{
    try {
        if (later) {
            postDrainLater();
        } else {
            postDrain();
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
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
        // Each wait below needs the queue to take a block; refused the
        // memory for it, the drain goes on now rather than leave its list
        // with nothing to deliver it.
        if (turnUsedUp(start)) {
            waitForTurn();
            if (scheduleNext(true)) return;  // stays scheduled
        }
        // The turn is open: the one that used up the last lets one that
        // waited go first, once.
        if (turn_->holder == this && turn_->waiting.load() > 0 && !waitingForTurn_ && !yielded_) {
            yielded_ = true;
            if (scheduleNext(true)) return;
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
                try {
                    entry.marker();
                } catch (...) {
                    consumerFailed(0);
                    throw;
                }
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
            const auto keepRest = [&] {
                if (pieceOffset_ + piece.size() < block.size()) {
                    pieceOffset_ += piece.size();
                    inPieces_ = std::move(block);
                }
            };
            try {
                deliver_(piece);
            } catch (...) {
                // Not offered again: the rest of the block follows it.
                keepRest();
                consumerFailed(piece.size());
                throw;
            }
            deliveredBytes = piece.size();
            keepRest();
        }
        const Nanos end = clock_();
        measurePiece(deliveredBytes, end - pieceStart);
        pieceStart = end;
        if (deliveredBytes > 0 && delivered(deliveredBytes, end) && resume_) resume_();
        if (turn_) turn_->lastEnd = end;
        if (turnUsedUp(end)) {
            turn_->holder = this;
            // Stays scheduled; timers and painting run first.
            if (scheduleNext(true)) return;
        }
        if (end - start >= timeSliceNs) {
            // Stays scheduled; the queue runs what waits first.
            if (scheduleNext(false)) return;
        }
    }
}

}  // namespace corvel
