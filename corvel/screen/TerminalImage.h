// Images anchored on a screen row. Lines, the line ring and the buffer hold
// these without looking inside them; the view supplies the conforming type.
// An image attached to a line is charged to its terminal's ledger of line
// images (LineImageLedger) once, and gives its bytes back when destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace corvel {

class KittyPlacementImage;

// The bytes and number of the images charged to one ledger that still exist.
// Shared by the ledger and its images, so an image outliving its terminal
// still has somewhere to give its bytes back.
struct LineImageTally {
    std::atomic<int64_t> bytes{0};
    std::atomic<int64_t> images{0};
};

// A rectangle of an image's pixels: left and top included, right and bottom
// not.
struct ImagePixelArea {
    int64_t left = 0;
    int64_t top = 0;
    int64_t right = 0;
    int64_t bottom = 0;

    bool isEmpty() const { return right <= left || bottom <= top; }
    bool contains(const ImagePixelArea& other) const
    {
        return other.isEmpty() ||
               (left <= other.left && top <= other.top && right >= other.right && bottom >= other.bottom);
    }
};

class TerminalImage {
public:
    TerminalImage() = default;
    TerminalImage(const TerminalImage&) = delete;
    TerminalImage& operator=(const TerminalImage&) = delete;
    virtual ~TerminalImage();

    virtual int64_t pixelWidth() const = 0;
    virtual int64_t pixelHeight() const = 0;
    // The column of the image's left edge on its line.
    virtual int64_t col() const = 0;
    virtual void setCol(int64_t col) = 0;

    // This image as a KittyPlacementImage, null when it is none: what a
    // dynamic_cast would answer, for walks over many line images.
    virtual const KittyPlacementImage* asKittyPlacementImage() const { return nullptr; }
    virtual KittyPlacementImage* asKittyPlacementImage() { return nullptr; }

    // What the image's pixels show, for telling when a later image hides
    // this one: the pixels that may be seen (none given: all of them) and
    // the pixels that are all opaque (none given: no pixel is known to be).
    std::optional<ImagePixelArea> paintedArea;
    std::optional<ImagePixelArea> opaqueArea;
    ImagePixelArea painted() const { return paintedArea.value_or(ImagePixelArea{0, 0, pixelWidth(), pixelHeight()}); }

    // Whether a ledger counts this image; charged once, for `bytes`.
    bool isCharged() const { return tally_ != nullptr; }
    void charge(std::shared_ptr<LineImageTally> tally, int64_t bytes);
    int64_t chargedBytes() const { return chargedBytes_; }

private:
    std::shared_ptr<LineImageTally> tally_;
    int64_t chargedBytes_ = 0;
};

// An image that belongs to a placement of the Kitty graphics protocol (or,
// with `kittyIsKitty` false, to another inline-image protocol). A line image
// belongs to the placement keyed by (`kittyImageId`, `kittyPlacementId`); an
// image lacking either id belongs to no placement.
class KittyPlacementImage : public TerminalImage {
public:
    const KittyPlacementImage* asKittyPlacementImage() const final { return this; }
    KittyPlacementImage* asKittyPlacementImage() final { return this; }

    virtual bool kittyIsKitty() const = 0;
    virtual void setKittyIsKitty(bool value) = 0;
    virtual std::optional<uint32_t> kittyImageId() const = 0;
    virtual void setKittyImageId(std::optional<uint32_t> value) = 0;
    virtual std::optional<uint32_t> kittyImageNumber() const = 0;
    virtual void setKittyImageNumber(std::optional<uint32_t> value) = 0;
    virtual std::optional<uint32_t> kittyPlacementId() const = 0;
    virtual void setKittyPlacementId(std::optional<uint32_t> value) = 0;
    virtual int64_t kittyZIndex() const = 0;
    virtual void setKittyZIndex(int64_t value) = 0;
    // Left column and top line index of the whole placement.
    virtual int64_t kittyCol() const = 0;
    virtual void setKittyCol(int64_t value) = 0;
    virtual int64_t kittyRow() const = 0;
    virtual void setKittyRow(int64_t value) = 0;
    // Size of the whole placement in cells.
    virtual int64_t kittyCols() const = 0;
    virtual void setKittyCols(int64_t value) = 0;
    virtual int64_t kittyRows() const = 0;
    virtual void setKittyRows(int64_t value) = 0;
    virtual int64_t kittyPixelOffsetX() const = 0;
    virtual void setKittyPixelOffsetX(int64_t value) = 0;
    virtual int64_t kittyPixelOffsetY() const = 0;
    virtual void setKittyPixelOffsetY(int64_t value) = 0;
    // Which line of its placement this image is, 0 for the top one. The
    // line index it sits on minus this is the placement's top line, which
    // stays right when a full ring renumbers its lines and `kittyRow` lags.
    virtual int64_t kittyStripIndex() const = 0;
    virtual void setKittyStripIndex(int64_t value) = 0;
};

}  // namespace corvel
