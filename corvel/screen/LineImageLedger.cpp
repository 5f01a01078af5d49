// The ledger of line images: charging, pictures, their order and places.
#include "corvel/screen/LineImageLedger.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace corvel {

namespace {

// A line image's record, its place in the line's list and the pixel
// buffer's own header, roughly.
constexpr int64_t kImageOverheadBytes = 256;

}  // namespace

LineImageLedger::LineImageLedger() : tally_(std::make_shared<LineImageTally>()) {}

int64_t LineImageLedger::bytesOf(const TerminalImage& image)
{
    // Strip sides are bounded by the insertion (a screen's width and one
    // cell's height), so the product cannot overflow.
    const int64_t width = std::max<int64_t>(image.pixelWidth(), 0);
    const int64_t height = std::max<int64_t>(image.pixelHeight(), 0);
    return width * height * 4 + kImageOverheadBytes;
}

size_t LineImageLedger::PlaceHash::operator()(const Place& place) const
{
    const size_t h = std::hash<int64_t>{}(place.row) * 31 + std::hash<int64_t>{}(place.col);
    return h * 2 + (place.alternate ? 1 : 0);
}

uint64_t LineImageLedger::newPicture(bool alternate, int64_t row, int64_t col)
{
    // Live pictures are never more than live images: past twice as many
    // entries (and a floor) the forgotten ones are swept, which keeps the
    // sweeps' cost a constant share of the charges.
    if (pictures_.size() > 2 * static_cast<size_t>(std::max<int64_t>(imageCount(), 0)) + 64 ||
        order_.size() > 2 * pictures_.size() + 64)
        sweep();
    const uint64_t serial = nextSerial_++;
    Picture& made = pictures_[serial];
    made.alternate = alternate;
    made.row = row;
    made.col = col;
    order_.push_back(serial);
    return serial;
}

void LineImageLedger::charge(const std::shared_ptr<TerminalImage>& image, bool alternate, int64_t row)
{
    if (!image || image->isCharged()) return;
    const int64_t bytes = bytesOf(*image);
    image->charge(tally_, bytes);
    uint64_t serial = 0;
    if (open_) {
        if (!openHasStrips_) {
            Picture& first = pictures_[*open_];
            first.alternate = alternate;
            first.row = row;
            first.col = image->col();
            openHasStrips_ = true;
        }
        serial = *open_;
    } else {
        serial = newPicture(alternate, row, image->col());
    }
    Picture& picture = pictures_[serial];
    picture.strips.push_back(image);
    picture.bytes += bytes;
}

void LineImageLedger::openPicture()
{
    if (open_) return;
    open_ = newPicture(false, 0, 0);
    openHasStrips_ = false;
}

std::optional<uint64_t> LineImageLedger::closePicture()
{
    const std::optional<uint64_t> closed = std::exchange(open_, std::nullopt);
    if (!closed) return std::nullopt;
    if (!openHasStrips_) {
        forget(*closed);
        return std::nullopt;
    }
    return closed;
}

const LineImageLedger::Picture* LineImageLedger::picture(uint64_t serial) const
{
    const auto found = pictures_.find(serial);
    return found == pictures_.end() ? nullptr : &found->second;
}

bool LineImageLedger::hasStrips(const Picture& picture)
{
    return std::any_of(picture.strips.begin(), picture.strips.end(),
                       [](const std::weak_ptr<TerminalImage>& strip) { return !strip.expired(); });
}

std::optional<uint64_t> LineImageLedger::oldest()
{
    while (!order_.empty()) {
        const uint64_t serial = order_.front();
        const auto found = pictures_.find(serial);
        if (found != pictures_.end() && (serial == open_ || hasStrips(found->second))) return serial;
        if (found != pictures_.end()) pictures_.erase(found);
        order_.pop_front();
    }
    return std::nullopt;
}

void LineImageLedger::forget(uint64_t serial)
{
    pictures_.erase(serial);
    if (!order_.empty() && order_.front() == serial) order_.pop_front();
}

std::optional<uint64_t> LineImageLedger::takePlace(uint64_t serial)
{
    const auto found = pictures_.find(serial);
    if (found == pictures_.end()) return std::nullopt;
    const Place place{found->second.alternate, found->second.row, found->second.col};
    uint64_t& holder = places_[place];
    const uint64_t before = std::exchange(holder, serial);
    if (before == 0 || before == serial) return std::nullopt;
    const auto earlier = pictures_.find(before);
    if (earlier == pictures_.end() || !hasStrips(earlier->second)) return std::nullopt;
    return before;
}

void LineImageLedger::sweep()
{
    std::erase_if(pictures_, [&](const auto& entry) { return entry.first != open_ && !hasStrips(entry.second); });
    std::erase_if(order_, [&](uint64_t serial) { return !pictures_.contains(serial); });
    std::erase_if(places_, [&](const auto& entry) { return !pictures_.contains(entry.second); });
}

}  // namespace corvel
