// An image strip (or any image) anchored on a buffer line, holding its pixels
// as a QImage in premultiplied RGBA. Lines keep these through shared pointers
// without looking inside; the view draws them. A plain record: the Kitty
// fields stay at their defaults for images of the other protocols.
#pragma once

#include "corvel/screen/TerminalImage.h"

#include <QImage>

namespace corvel::qt {

class QtTerminalImage final : public KittyPlacementImage {
public:
    QtTerminalImage(QImage image, int64_t pixelWidth, int64_t pixelHeight, int64_t col)
        : image_(std::move(image)), pixelWidth_(pixelWidth), pixelHeight_(pixelHeight), col_(col)
    {
    }

    const QImage& image() const { return image_; }

    int64_t pixelWidth() const override { return pixelWidth_; }
    int64_t pixelHeight() const override { return pixelHeight_; }
    int64_t col() const override { return col_; }
    void setCol(int64_t col) override { col_ = col; }

    bool kittyIsKitty() const override { return isKitty_; }
    void setKittyIsKitty(bool value) override { isKitty_ = value; }
    std::optional<uint32_t> kittyImageId() const override { return imageId_; }
    void setKittyImageId(std::optional<uint32_t> value) override { imageId_ = value; }
    std::optional<uint32_t> kittyImageNumber() const override { return imageNumber_; }
    void setKittyImageNumber(std::optional<uint32_t> value) override { imageNumber_ = value; }
    std::optional<uint32_t> kittyPlacementId() const override { return placementId_; }
    void setKittyPlacementId(std::optional<uint32_t> value) override { placementId_ = value; }
    int64_t kittyZIndex() const override { return zIndex_; }
    void setKittyZIndex(int64_t value) override { zIndex_ = value; }
    int64_t kittyCol() const override { return kittyCol_; }
    void setKittyCol(int64_t value) override { kittyCol_ = value; }
    int64_t kittyRow() const override { return kittyRow_; }
    void setKittyRow(int64_t value) override { kittyRow_ = value; }
    int64_t kittyCols() const override { return kittyCols_; }
    void setKittyCols(int64_t value) override { kittyCols_ = value; }
    int64_t kittyRows() const override { return kittyRows_; }
    void setKittyRows(int64_t value) override { kittyRows_ = value; }
    int64_t kittyStripIndex() const override { return stripIndex_; }
    void setKittyStripIndex(int64_t value) override { stripIndex_ = value; }
    int64_t kittyPixelOffsetX() const override { return pixelOffsetX_; }
    void setKittyPixelOffsetX(int64_t value) override { pixelOffsetX_ = value; }
    int64_t kittyPixelOffsetY() const override { return pixelOffsetY_; }
    void setKittyPixelOffsetY(int64_t value) override { pixelOffsetY_ = value; }

private:
    QImage image_;
    int64_t pixelWidth_ = 0;
    int64_t pixelHeight_ = 0;
    int64_t col_ = 0;
    bool isKitty_ = false;
    std::optional<uint32_t> imageId_;
    std::optional<uint32_t> imageNumber_;
    std::optional<uint32_t> placementId_;
    int64_t zIndex_ = 0;
    int64_t kittyCol_ = 0;
    int64_t kittyRow_ = 0;
    int64_t kittyCols_ = 0;
    int64_t kittyRows_ = 0;
    int64_t stripIndex_ = 0;
    int64_t pixelOffsetX_ = 0;
    int64_t pixelOffsetY_ = 0;
};

}  // namespace corvel::qt
