// A stand-in inline image for tests of lines, buffers and scrolling: a fixed
// pixel size and the column it was last placed at, nothing to draw.
#pragma once

#include "corvel/screen/TerminalImage.h"

#include <cstdint>

namespace corvel::testing {

class TestImage : public TerminalImage {
public:
    explicit TestImage(int64_t width = 10, int64_t height = 20) : width_(width), height_(height) {}
    int64_t pixelWidth() const override { return width_; }
    int64_t pixelHeight() const override { return height_; }
    int64_t col() const override { return col_; }
    void setCol(int64_t c) override { col_ = c; }

private:
    int64_t width_;
    int64_t height_;
    int64_t col_ = 0;
};

}  // namespace corvel::testing
