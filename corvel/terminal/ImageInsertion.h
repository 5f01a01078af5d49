// Placing an inline image at the cursor: its size in points from what the
// program asked for, one strip one text row high per line it covers, each
// attached to its line with a line feed after it, and the cursor left in the
// start column one line below the last strip. The pixels are not touched
// here: a strip factory given by the host (the view's makes QImage strips)
// turns each strip description into a TerminalImage. Runs on the terminal's
// thread inside a host image callback; keeps nothing between calls.
//
// Sizes are bounded so a program cannot ask for unbounded work: the width is
// at most the view's frame width, the strips at most the screen's rows plus
// its scrollback. A source without a positive finite size inserts nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "corvel/screen/ImageSizeRequest.h"
#include "corvel/screen/TerminalImage.h"

namespace corvel {

class Terminal;

// What the host knows about its surface, in points.
struct ImageInsertionGeometry {
    double cellWidth = 1;
    double cellHeight = 1;
    double frameWidth = 0;
    double frameHeight = 0;
    double scale = 1;  // device pixels per point
};

// What to insert: the source's size in its own pixels and the size asked for.
struct ImageInsertionRequest {
    double sourceWidth = 0;
    double sourceHeight = 0;
    ImageSizeRequest width;
    ImageSizeRequest height;
    bool preserveAspectRatio = true;
    // Every source pixel is opaque, so every strip is where its target
    // reaches (a strip factory may also tell so of the strip it made, by
    // its opaque area).
    bool sourceOpaque = false;
};

// A rectangle in pixels with y down.
struct ImageRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const ImageRect&) const = default;
};

// One strip to make: a transparent bitmap of `width` x `height` pixels into
// whose `target` rectangle the `source` rectangle of the source image is
// drawn. The last strip of an image whose height is not a whole number of
// rows shows the rest of the source in its upper part.
struct ImageStrip {
    int index = 0;
    int width = 0;
    int height = 0;
    ImageRect source;
    ImageRect target;
    int64_t col = 0;  // the buffer column of its left edge
};

// Makes the image of one strip; nothing skips the strip (no line feed for it).
using ImageStripFactory = std::function<std::shared_ptr<TerminalImage>(const ImageStrip&)>;

// The outcome, for the caller and for tests.
struct ImageInsertionResult {
    double width = 0;   // target width in points
    double height = 0;  // target height in points
    int cols = 0;       // cells covered across, the last partial one included
    int rows = 0;       // strips made, the last partial row included
    int64_t startCol = 0;
    int64_t startRow = 0;  // ring index of the first strip's line
    int attached = 0;      // strips the factory made and the lines took
    bool scrolled = false;
};

namespace ImageInsertion {

// The target size in points for a request, bounded as described above; zero
// when the request cannot be met (no source size, nothing asked).
std::pair<double, double> targetSize(const ImageInsertionRequest& request, const ImageInsertionGeometry& geometry,
                                     int64_t maxRows);

// The pixels of a strip its target reaches, to the nearest whole pixel: a
// pixel at an edge that does not fall on whole pixels counts when the target
// covers at least half of it (with `wholeOnly`, only pixels it covers
// whole). Empty without a target. The insertion gives each strip this as
// its painted area, and as its opaque area too when the source is opaque all
// over; so a later picture of the same size is seen to hide an earlier one
// at any scale, and where both cover an edge pixel in part what shows there
// is the later one's alone once the earlier one goes.
ImagePixelArea stripPixels(const ImageStrip& strip, bool wholeOnly = false);

// Inserts the image at the cursor of the terminal's current buffer.
ImageInsertionResult insert(Terminal& terminal, const ImageInsertionRequest& request,
                            const ImageInsertionGeometry& geometry, const ImageStripFactory& makeStrip);

}  // namespace ImageInsertion

}  // namespace corvel
