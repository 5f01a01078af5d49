// The width or height a program asked for with an inline image: a number of
// cells, of pixels, a percentage of the screen, or automatic.
#pragma once

namespace corvel {

struct ImageSizeRequest {
    enum class Kind : unsigned char { cells, pixels, percent, automatic };

    Kind kind = Kind::automatic;
    int value = 0;  // unused for `automatic`

    static ImageSizeRequest cells(int n) { return {Kind::cells, n}; }
    static ImageSizeRequest pixels(int n) { return {Kind::pixels, n}; }
    static ImageSizeRequest percent(int n) { return {Kind::percent, n}; }
    static ImageSizeRequest automatic() { return {Kind::automatic, 0}; }

    bool operator==(const ImageSizeRequest& other) const
    {
        return kind == other.kind && (kind == Kind::automatic || value == other.value);
    }
};

}  // namespace corvel
