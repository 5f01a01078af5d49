// Mouse reports: the button code of a pointer event and its encoding in the
// report format the program selected (modes 1005, 1006, 1015, 1016, or the
// original three-byte form). The host decides when a pointer event becomes a
// report; each report leaves as one host `send`.
#include "corvel/terminal/Terminal.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace corvel {

namespace {

constexpr int kMotionBit = 32;
constexpr int kWheelBit = 64;

// The largest value of the mode-1005 form: eleven bits in two UTF-8 bytes.
constexpr int kMaxUtfValue = 2047;

void appendDecimal(std::vector<uint8_t>& out, int64_t value)
{
    const std::string digits = std::to_string(value);
    out.insert(out.end(), digits.begin(), digits.end());
}

}  // namespace

int Terminal::encodeButton(int button, bool release, bool shift, bool meta, bool control) const
{
    int value = 0;
    if (release) {
        value = 3;
    } else {
        switch (button) {
        case 1: value = 1; break;
        case 2: value = 2; break;
        case 4: value = 64; break;
        case 5: value = 65; break;
        default: value = 0; break;
        }
    }
    if (sendsModifiers(mouseMode_)) {
        if (shift) value |= 4;
        if (meta) value |= 8;
        if (control) value |= 16;
    }
    return value;
}

void Terminal::encodeMouseUtf(std::vector<uint8_t>& data, int ch)
{
    // A negative value has no encoding; a wrapped byte would name another cell.
    if (ch < 0) return;
    if (ch == kMaxUtfValue) {
        // The past-the-end marker of this form.
        data.push_back(0);
    } else if (ch <= 126) {
        data.push_back(static_cast<uint8_t>(ch));
    } else {
        const int v = std::min(ch, kMaxUtfValue);
        data.push_back(static_cast<uint8_t>(0xC0 | (v >> 6)));
        data.push_back(static_cast<uint8_t>(0x80 | (v & 0x3F)));
    }
}

void Terminal::sendMotion(int buttonFlags, int x, int y, int pixelX, int pixelY)
{
    if (buttonFlags > std::numeric_limits<int>::max() - kMotionBit) return;
    sendEvent(buttonFlags + kMotionBit, x, y, pixelX, pixelY);
}

void Terminal::sendEvent(int buttonFlags, int x, int y, int pixelX, int pixelY)
{
    const int b = buttonFlags;
    const bool motion = (b & kMotionBit) != 0;
    // Code 3 without the motion bit is a release; with it, motion with no
    // button held.
    const bool release = (b & 3) == 3 && !motion;
    if (!motion && !release && (b & kWheelBit) == 0) lastMousePressButton_ = b & 3;

    // A value the encoding cannot carry drops the report: a wrapped byte or a
    // clamped coordinate would name another cell.
    if (b < 0 || x < 0 || y < 0) return;

    // Wide enough that the offsets below cannot overflow.
    const int64_t bb = b, xx = x, yy = y;
    std::vector<uint8_t> report;
    switch (mouseProtocol) {
    case MouseProtocolEncoding::x10:
        if (bb + 32 > 255 || xx + 33 > 255 || yy + 33 > 255) return;
        report = {'M', static_cast<uint8_t>(b + 32), static_cast<uint8_t>(x + 33), static_cast<uint8_t>(y + 33)};
        break;
    case MouseProtocolEncoding::utf8:
        if (bb + 32 > kMaxUtfValue || xx + 33 > kMaxUtfValue || yy + 33 > kMaxUtfValue) return;
        report.push_back('M');
        encodeMouseUtf(report, b + 32);
        encodeMouseUtf(report, x + 33);
        encodeMouseUtf(report, y + 33);
        break;
    case MouseProtocolEncoding::sgr:
    case MouseProtocolEncoding::sgrPixel: {
        const bool pixels = mouseProtocol == MouseProtocolEncoding::sgrPixel;
        if (pixels && (pixelX < 0 || pixelY < 0)) return;
        // The release names the button released: the one of the last press.
        const int code = release ? (b & ~3) | lastMousePressButton_ : b;
        report.push_back('<');
        appendDecimal(report, code);
        report.push_back(';');
        appendDecimal(report, pixels ? pixelX : xx + 1);
        report.push_back(';');
        appendDecimal(report, pixels ? pixelY : yy + 1);
        report.push_back(release ? 'm' : 'M');
        break;
    }
    case MouseProtocolEncoding::urxvt:
        appendDecimal(report, bb + 32);
        report.push_back(';');
        appendDecimal(report, xx + 1);
        report.push_back(';');
        appendDecimal(report, yy + 1);
        report.push_back('M');
        break;
    }
    sendUserReport(report);
}

}  // namespace corvel
