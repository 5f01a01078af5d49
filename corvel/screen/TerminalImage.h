// Images anchored on a screen row. Lines, the line ring and the buffer hold
// these without looking inside them; the view supplies the conforming type.
#pragma once

#include <cstdint>
#include <optional>

namespace corvel {

class KittyPlacementImage;

class TerminalImage {
public:
    virtual ~TerminalImage() = default;

    virtual int64_t pixelWidth() const = 0;
    virtual int64_t pixelHeight() const = 0;
    // The column of the image's left edge on its line.
    virtual int64_t col() const = 0;
    virtual void setCol(int64_t col) = 0;

    // This image as a KittyPlacementImage, null when it is none: what a
    // dynamic_cast would answer, for walks over many line images.
    virtual const KittyPlacementImage* asKittyPlacementImage() const { return nullptr; }
    virtual KittyPlacementImage* asKittyPlacementImage() { return nullptr; }
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
