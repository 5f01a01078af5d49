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
    // Pictures mostly go oldest first (the history's lines leave in order):
    // the oldest ones without strips are let go a few at a time. The rest
    // are swept once the tables hold twice what is live (live pictures are
    // never more than live images) and a floor, which keeps the sweeps'
    // cost a constant share of the charges.
    for (int i = 0; i < 2 && !order_.empty(); ++i) {
        const auto found = pictures_.find(order_.front());
        if (found != pictures_.end() && hasStrips(found->second)) break;
        if (found != pictures_.end()) forget(found);
        order_.pop_front();
    }
    if (pictures_.size() > 2 * static_cast<size_t>(std::max<int64_t>(imageCount(), 0)) + 1024 ||
        order_.size() > 2 * pictures_.size() + 1024)
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
    if (isOpen_ && open_) {
        serial = *open_;
    } else {
        serial = newPicture(alternate, row, image->col());
        if (isOpen_) open_ = serial;
    }
    Picture& picture = pictures_[serial];
    if (!picture.hadFirst) {
        picture.first = image;
        picture.hadFirst = true;
    } else {
        picture.more.push_back(image);
    }
    picture.bytes += bytes;
}

void LineImageLedger::openPicture()
{
    isOpen_ = true;
    open_.reset();
}

std::optional<uint64_t> LineImageLedger::closePicture()
{
    isOpen_ = false;
    return std::exchange(open_, std::nullopt);
}

std::vector<std::shared_ptr<TerminalImage>> LineImageLedger::Picture::liveStrips() const
{
    std::vector<std::shared_ptr<TerminalImage>> strips;
    strips.reserve(1 + more.size());
    if (auto held = first.lock()) strips.push_back(std::move(held));
    for (const std::weak_ptr<TerminalImage>& strip : more)
        if (auto held = strip.lock()) strips.push_back(std::move(held));
    return strips;
}

const LineImageLedger::Picture* LineImageLedger::picture(uint64_t serial) const
{
    const auto found = pictures_.find(serial);
    return found == pictures_.end() ? nullptr : &found->second;
}

bool LineImageLedger::hasStrips(const Picture& picture)
{
    return !picture.first.expired() ||
           std::any_of(picture.more.begin(), picture.more.end(),
                       [](const std::weak_ptr<TerminalImage>& strip) { return !strip.expired(); });
}

std::optional<uint64_t> LineImageLedger::oldest()
{
    while (!order_.empty()) {
        const uint64_t serial = order_.front();
        const auto found = pictures_.find(serial);
        if (found != pictures_.end() && hasStrips(found->second)) return serial;
        if (found != pictures_.end()) forget(found);
        order_.pop_front();
    }
    return std::nullopt;
}

void LineImageLedger::forget(uint64_t serial)
{
    if (const auto found = pictures_.find(serial); found != pictures_.end()) forget(found);
    if (!order_.empty() && order_.front() == serial) order_.pop_front();
}

void LineImageLedger::forget(std::unordered_map<uint64_t, Picture>::iterator picture)
{
    const Picture& gone = picture->second;
    if (const auto place = places_.find({gone.alternate, gone.row, gone.col});
        place != places_.end() && place->second == picture->first)
        places_.erase(place);
    pictures_.erase(picture);
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
