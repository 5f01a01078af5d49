// What the lines of a terminal keep to draw, kept within bounds: every image
// a host inserts goes in as one picture of the ledger of line images; a
// picture that the new one hides entirely, drawn in the same cells, goes;
// and while the images of both buffers (the history included) hold more
// bytes than the limit, the oldest pictures go, the new one last of all.
// A picture of a Kitty placement goes with its record, as the placement
// limit takes one. An insertion the host abandons with an exception leaves
// neither an open picture nor strips behind. Runs on the terminal's thread.
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalInternals.h"

#include "corvel/kitty/KittyGraphicsState.h"

#include <algorithm>

namespace corvel {

namespace {

// Whether `later`, drawn after `earlier` on the same line, leaves nothing of
// it to see. The view draws a line's Kitty images by layer (z-index) and
// image id, the later one over the earlier among equals, then the images of
// other protocols over every Kitty image; a Kitty image's pixel offsets move
// it inside its cell.
bool hides(const TerminalImage& later, const TerminalImage& earlier)
{
    if (later.col() != earlier.col() || !later.opaqueArea) return false;
    const KittyPlacementImage* top = asKittyImage(later);
    const KittyPlacementImage* under = asKittyImage(earlier);
    if (top && !under) return false;
    if (top && under) {
        const auto order = [](const KittyPlacementImage& image) {
            return std::pair(image.kittyZIndex(), image.kittyImageId().value_or(0));
        };
        if (order(*top) < order(*under)) return false;
        if (top->kittyPixelOffsetX() != under->kittyPixelOffsetX() ||
            top->kittyPixelOffsetY() != under->kittyPixelOffsetY())
            return false;
    } else if (under && (under->kittyPixelOffsetX() != 0 || under->kittyPixelOffsetY() != 0)) {
        return false;
    }
    return later.opaqueArea->contains(earlier.painted());
}

bool holds(const BufferLine* line, const TerminalImage* image)
{
    if (!line || !line->images) return false;
    return std::any_of(line->images->begin(), line->images->end(),
                       [&](const std::shared_ptr<TerminalImage>& held) { return held.get() == image; });
}

}  // namespace

void Terminal::insertLinePicture(const std::function<void()>& insert)
{
    // An insertion inside another adds its strips to the outer picture.
    if (lineImages_.isOpen()) {
        insert();
        return;
    }
    lineImages_.openPicture();
    try {
        insert();
    } catch (...) {
        // The host gave up part way (no room for its pixels): the picture is
        // closed, so that later ones are counted and dropped as ever, and
        // what it attached leaves the lines, as if the image had been
        // refused. The caller answers for the failure.
        if (const std::optional<uint64_t> serial = lineImages_.closePicture()) dropLinePicture(*serial);
        throw;
    }
    const std::optional<uint64_t> serial = lineImages_.closePicture();
    if (!serial) return;
    dropHiddenLinePicture(*serial);
    enforceLineImageLimit(*serial);
}

void Terminal::enforceLineImageLimit(uint64_t keep)
{
    // A picture whose strips something else still holds (a frozen copy of
    // the screen) gives nothing back at once: counting what each picture
    // taken off the lines held keeps that from emptying the lines.
    int64_t excess = lineImages_.bytes() - std::max<int64_t>(options_.lineImageLimitBytes, 0);
    while (excess > 0) {
        const std::optional<uint64_t> oldest = lineImages_.oldest();
        if (!oldest || *oldest == keep) return;
        excess -= dropLinePicture(*oldest);
    }
}

int64_t Terminal::dropLinePicture(uint64_t serial)
{
    const LineImageLedger::Picture* picture = lineImages_.picture(serial);
    if (!picture) return 0;
    const std::vector<std::shared_ptr<TerminalImage>> strips = picture->liveStrips();
    const int64_t bytes = std::max<int64_t>(picture->bytes, 1);
    const bool alternate = picture->alternate;
    const int64_t row = picture->row;
    lineImages_.forget(serial);
    if (strips.empty()) return bytes;
    // The GPU renderer redraws images and placeholders when this moves.
    ++kittyGraphicsState.mutationCount;

    if (const KittyPlacementImage* kitty = asKittyImage(*strips.front())) {
        if (const auto key = kittyImageKey(*kitty)) {
            const KittyPlacementRecord* record = settledKittyRecord(*key);
            if (record && !record->isVirtual && record->isAlternateBuffer == alternate) {
                const auto made = kittyIndex().lineImages(*key);
                if (std::find(made.begin(), made.end(), strips.front()) != made.end()) {
                    removeKittyPlacement(key->imageId, key->placementId);
                    return bytes;
                }
            }
        }
    }
    Buffer& target = alternate ? *altBuffer_ : *normalBuffer_;
    if (!target.hasAnyImages()) return bytes;
    if (snapshotSource_ == &target) preserveSnapshotHistory();
    // The strips are where they went unless lines moved apart since (a
    // scroll region, a resize): then every line is looked at.
    const int64_t first = row - target.linesTop;
    const KittyLineRemoval removal =
        removeLineImagesAmong(target, first, first + static_cast<int64_t>(strips.size()), strips);
    redrawKittyRemoval(target, removal);
    if (removal.count < strips.size())
        redrawKittyRemoval(target, removeLineImagesAmong(target, 0, target.lines().count(), strips));
    return bytes;
}

void Terminal::dropHiddenLinePicture(uint64_t serial)
{
    const std::optional<uint64_t> earlier = lineImages_.takePlace(serial);
    if (!earlier) return;
    const LineImageLedger::Picture* later = lineImages_.picture(serial);
    const LineImageLedger::Picture* before = lineImages_.picture(*earlier);
    if (!later || !before) return;
    const std::vector<std::shared_ptr<TerminalImage>> top = later->liveStrips();
    const std::vector<std::shared_ptr<TerminalImage>> under = before->liveStrips();
    // Every strip of both still there, and each strip of the earlier one
    // hidden by the later one's on the same line.
    if (top.size() != later->stripCount() || under.size() != before->stripCount() || under.size() > top.size())
        return;
    Buffer& target = later->alternate ? *altBuffer_ : *normalBuffer_;
    const int64_t first = later->row - target.linesTop;
    for (size_t i = 0; i < under.size(); ++i) {
        if (!hides(*top[i], *under[i])) return;
        const BufferLine* line = target.peekLine(first + static_cast<int64_t>(i));
        if (!holds(line, top[i].get()) || !holds(line, under[i].get())) return;
    }
    // A placement that others are placed from stays.
    if (const KittyPlacementImage* kitty = asKittyImage(*under.front())) {
        if (const auto key = kittyImageKey(*kitty);
            key && !kittyIndex().children(*key, kittyGraphicsState.placementsByKey).empty())
            return;
    }
    dropLinePicture(*earlier);
}

}  // namespace corvel
