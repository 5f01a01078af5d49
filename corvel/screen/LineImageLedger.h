// The account a terminal keeps of the images on its lines (both buffers, the
// history included): the bytes they hold, kept up to date as images come and
// go, and the pictures they make up, oldest first. A picture is what one
// image insertion attached: a strip on each of a run of lines. The terminal
// drops the oldest pictures when the bytes pass its limit, and a picture
// that a later one drawn in the same cells hides.
//
// A buffer charges an image when it is first attached to a line; the image
// then holds the shared tally and takes its bytes out of it when it is
// destroyed, on whichever thread lets it go last (the tally is atomic).
// Everything else runs on the terminal's thread. Pictures hold their strips
// weakly: the oldest ones whose strips are all gone are let go a few at each
// new picture, and the tables are swept when they hold twice as many
// pictures as there are live images (and a floor), so they stay within a
// constant factor of what the lines hold.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "corvel/screen/TerminalImage.h"

namespace corvel {

class LineImageLedger {
public:
    struct Picture {
        // The strips in the order they were attached, top first: the first
        // apart, as most pictures have one.
        std::weak_ptr<TerminalImage> first;
        std::vector<std::weak_ptr<TerminalImage>> more;
        size_t stripCount() const { return hadFirst ? 1 + more.size() : 0; }
        // The strips that still exist, in order.
        std::vector<std::shared_ptr<TerminalImage>> liveStrips() const;
        bool hadFirst = false;
        int64_t bytes = 0;
        bool alternate = false;  // attached to the alternate buffer
        int64_t row = 0;         // line of the first strip when attached, counted from the buffer's `linesTop`
        int64_t col = 0;         // column of the first strip
    };

    LineImageLedger();

    // Bytes and count of the images charged here that still exist.
    int64_t bytes() const { return tally_->bytes.load(std::memory_order_relaxed); }
    int64_t imageCount() const { return tally_->images.load(std::memory_order_relaxed); }

    // What an image is charged: its pixels at 4 bytes each and what keeping
    // it on a line costs beside them.
    static int64_t bytesOf(const TerminalImage& image);

    // Charges an image attached for the first time to the line `row` (counted
    // from `linesTop`) of a buffer; an image already charged is left alone.
    // Between openPicture and closePicture the image joins the open picture,
    // otherwise it makes a picture of its own.
    void charge(const std::shared_ptr<TerminalImage>& image, bool alternate, int64_t row);
    void openPicture();
    bool isOpen() const { return isOpen_; }
    // The picture charged since openPicture; none when nothing was attached.
    std::optional<uint64_t> closePicture();

    // The picture under `serial`; null once it was forgotten.
    const Picture* picture(uint64_t serial) const;
    // The picture attached longest ago that still has a strip.
    std::optional<uint64_t> oldest();
    void forget(uint64_t serial);
    // The live picture attached before `serial` whose first strip went on the
    // same line and column of the same buffer; `serial` is recorded there.
    std::optional<uint64_t> takePlace(uint64_t serial);

    static bool hasStrips(const Picture& picture);

private:
    struct Place {
        bool alternate = false;
        int64_t row = 0;
        int64_t col = 0;

        bool operator==(const Place&) const = default;
    };
    struct PlaceHash {
        size_t operator()(const Place& place) const;
    };

    uint64_t newPicture(bool alternate, int64_t row, int64_t col);
    // Erases a picture and the place it holds.
    void forget(std::unordered_map<uint64_t, Picture>::iterator picture);
    // Drops forgotten and stripless pictures from every table.
    void sweep();

    std::shared_ptr<LineImageTally> tally_;
    uint64_t nextSerial_ = 1;
    bool isOpen_ = false;
    std::optional<uint64_t> open_;  // the open picture, once a strip joined it
    std::unordered_map<uint64_t, Picture> pictures_;
    std::deque<uint64_t> order_;  // oldest first; may name forgotten pictures
    std::unordered_map<Place, uint64_t, PlaceHash> places_;
};

}  // namespace corvel
