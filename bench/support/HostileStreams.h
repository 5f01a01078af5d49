// Byte streams of a hostile (or merely buggy) program, for the benchmarks that
// check one terminal cannot stall its neighbours or grow without bound:
//   chainedPlacements  one 1x1 Kitty image shown as placement 1, then
//                      placements 2 ... n each relative to the one before
//                      (all on placement 1's cell), about 55 bytes each;
//   plainPlacements    n 1x1 Kitty images, each transmitted and shown at once
//                      under its own id with placement id 1, about 60 bytes each;
//   cursorReports      cursor position requests (CSI 6 n), `bytes` of them;
//   settingRequests    DECRQSS requests for the margins, `bytes` of them;
//   manyImages         n 1x1 Kitty images transmitted and never shown;
//   stackedPlacements  one opaque 1x1 image shown n times at the top left,
//                      77x40 cells each, the cursor left in place (about 40
//                      bytes each): every placement hides the one before;
//   stackedSixels      one opaque 2000x600 sixel drawn n times at the top
//                      left (about 920 bytes each).
// None of them reads what the terminal answers. Header-only.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

// One opaque red pixel, RGBA, in base64.
inline const char* onePixel()
{
    return "/wAA/w==";
}

inline std::string chainedPlacements(int n)
{
    std::string out = "\x1b_Ga=T,q=2,f=32,s=1,v=1,i=1,p=1,c=2,r=1;" + std::string(onePixel()) + "\x1b\\";
    for (int k = 2; k <= n; ++k)
        out += "\x1b_Ga=p,q=2,i=1,p=" + std::to_string(k) + ",P=1,Q=" + std::to_string(k - 1) +
               ",H=0,V=0,c=2,r=1\x1b\\";
    return out;
}

inline std::string plainPlacements(int n)
{
    std::string out;
    for (int k = 1; k <= n; ++k)
        out += "\x1b_Ga=T,q=2,f=32,s=1,v=1,c=1,r=1,i=" + std::to_string(k) + ",p=1;" + onePixel() + "\x1b\\";
    return out;
}

inline std::string repeated(const std::string& unit, size_t bytes)
{
    std::string out;
    out.reserve(bytes + unit.size());
    while (out.size() < bytes) out += unit;
    return out;
}

inline std::string cursorReports(size_t bytes)
{
    return repeated("\x1b[6n", bytes);
}

inline std::string settingRequests(size_t bytes)
{
    return repeated("\x1bP$qr\x1b\\", bytes);
}

inline std::string manyImages(int n)
{
    std::string out;
    for (int k = 1; k <= n; ++k)
        out += "\x1b_Ga=t,q=2,f=32,s=1,v=1,i=" + std::to_string(k) + ";" + onePixel() + "\x1b\\";
    return out;
}

inline std::string stackedPlacements(int n)
{
    std::string out = "\x1b_Ga=t,q=2,f=32,s=1,v=1,i=1;AAD//w==\x1b\\";
    for (int k = 1; k <= n; ++k)
        out += "\x1b[H\x1b_Ga=p,q=2,i=1,p=" + std::to_string(k) + ",c=77,r=40,C=1\x1b\\";
    return out;
}

inline std::string stackedSixels(int n)
{
    std::string one = "\x1bPq#0;2;0;100;0";
    for (int band = 0; band < 100; ++band) one += "#0!2000~-";
    one += "\x1b\\";
    std::string out;
    for (int k = 0; k < n; ++k) out += "\x1b[H" + one;
    return out;
}

}  // namespace bench
