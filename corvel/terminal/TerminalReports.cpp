// Answers to the program's questions: device status, device attributes, mode
// and setting reports, and the Kitty keyboard flag stack. Every answer leaves
// through sendResponse, as one host `send`, introduced in the 7-bit or 8-bit
// form that `cc` chooses when it is built.
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalInternals.h"

#include "corvel/terminal/ListForm.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace corvel {

namespace {

// DECRQM states.
constexpr int kNotRecognized = 0;
constexpr int kSet = 1;
constexpr int kReset = 2;
constexpr int kPermanentlyReset = 4;

constexpr int flag(bool value) { return value ? kSet : kReset; }

// The longest DECRQSS request is two characters; a longer payload is kept
// only this far, which is enough to fail every comparison and to log it.
constexpr size_t kMaxSettingRequest = 64;

// The DECSCUSR number of a cursor style.
int cursorStyleNumber(CursorStyle style)
{
    switch (style) {
    case CursorStyle::blinkBlock: return 1;
    case CursorStyle::steadyBlock: return 2;
    case CursorStyle::blinkUnderline: return 3;
    case CursorStyle::steadyUnderline: return 4;
    case CursorStyle::blinkBar: return 5;
    case CursorStyle::steadyBar: return 6;
    }
    return 1;
}

}  // namespace

void Terminal::cmdDeviceStatus(Params pars, Collect collect)
{
    if (pars.empty()) return;
    const int64_t request = pars[0];
    const Buffer& b = *buffer_;
    // While a wrap is pending the cursor rests one past the last column; the
    // report names the last column, the one the program last wrote. A cursor
    // above the scroll region in origin mode reports row 1: a reply cannot
    // carry a negative number.
    const int x = wrapPendingAtMargin() ? b.marginRight() : std::min(b.x(), cols_ - 1);
    const int64_t row = std::max<int64_t>(int64_t{b.y()} + 1 - (originMode ? b.scrollTop() : 0), 1);
    const int64_t col = std::max<int64_t>(int64_t{x} + 1 - (originMode && marginMode ? b.marginLeft() : 0), 1);

    if (collect.empty()) {
        if (request == 5) {
            sendResponse(cc.csi(), "0n");
        } else if (request == 6) {
            sendResponse(cc.csi(), std::to_string(row) + ";" + std::to_string(col) + "R");
        }
        return;
    }
    if (collect.size() != 1 || collect[0] != '?') return;
    switch (request) {
    case 6: sendResponse(cc.csi(), "?" + std::to_string(row) + ";" + std::to_string(col) + ";1R"); break;
    case 15: sendResponse(cc.csi(), "?10n"); break;
    case 25: sendResponse(cc.csi(), "?21n"); break;
    case 26: sendResponse(cc.csi(), "?27;1;0;0n"); break;
    case 55: sendResponse(cc.csi(), "?53n"); break;
    case 56: sendResponse(cc.csi(), "?57;1n"); break;
    case 62: sendResponse(cc.csi(), "0*{"); break;
    case 63: {
        const int64_t pid = pars.size() > 1 ? pars[1] : 0;
        sendResponse(cc.dcs(), std::to_string(pid) + "!~0000", cc.st());
        break;
    }
    case 75: sendResponse(cc.csi(), "?70n"); break;
    case 85: sendResponse(cc.csi(), "?83n"); break;
    default: break;
    }
}

void Terminal::cmdSendDeviceAttributes(Params pars, Collect collect)
{
    if (!pars.empty() && pars[0] > 0) {
        if (!silentLog) {
            log("SendDeviceAttributes got " + listForm(pars) + " and " +
                std::string(collect.begin(), collect.end()));
        }
        return;
    }
    if (collect.size() == 1 && collect[0] == '>') {
        sendResponse(cc.csi(), ">65;20;1c");
        return;
    }
    if (!collect.empty()) return;
    const std::string_view name = options_.termName;
    if (name.starts_with("xterm")) {
        sendResponse(cc.csi(), options_.enableSixelReported ? "?65;4;1;2;6;21;22;17;28c" : "?65;1;2;6;21;22;17;28c");
    } else if (name.starts_with("screen") || name.starts_with("rxvt-unicode")) {
        sendResponse(cc.csi(), "?1;2c");
    } else if (name.starts_with("linux")) {
        sendResponse(cc.csi(), "?6c");
    }
}

void Terminal::cmdDecRqm(Params pars, bool decMode)
{
    if (pars.empty()) {
        sendResponse(cc.csi(), ";0$y");
        return;
    }
    const int64_t mode = pars[0];
    int state = kNotRecognized;
    if (!decMode) {
        switch (mode) {
        case 1: state = kPermanentlyReset; break;
        case 2:
        case 3: state = kReset; break;
        case 4: state = flag(insertMode); break;
        case 5:
        case 7:
        case 10:
        case 11:
        case 13:
        case 14:
        case 15:
        case 16:
        case 17:
        case 18:
        case 19: state = kPermanentlyReset; break;
        case 12: state = kSet; break;
        case 20: state = flag(lineFeedMode); break;
        default: break;
        }
        sendResponse(cc.csi(), std::to_string(mode) + ";" + std::to_string(state) + "$y");
        return;
    }

    switch (mode) {
    case 1: state = flag(applicationCursor); break;
    case 2:
    case 8:
    case 18:
    case 19:
    case 95: state = kSet; break;
    case 3: state = flag(buffer_->cols() == 132); break;
    case 4: state = flag(smoothScroll); break;
    case 5: {
        Attribute inverted;
        inverted.fg = Attribute::Color::defaultInvertedColor();
        inverted.bg = Attribute::Color::defaultInvertedColor();
        state = flag(curAttr == inverted);
        break;
    }
    case 6: state = flag(originMode); break;
    case 7: state = flag(wraparound); break;
    case 9: state = flag(mouseMode_ == MouseMode::x10); break;
    case 10:
    case 42:
    case 44:
    case 46:
    case 67:
    case 80:
    case 1034: state = kPermanentlyReset; break;
    case 12: state = flag(cursorBlink); break;
    case 13:
    case 14:
    case 30:
    case 41:
    case 1001: state = kReset; break;
    case 25: state = flag(!cursorHidden); break;
    case 40: state = flag(allow80To132); break;
    case 45: state = flag(reverseWraparound); break;
    case 47: state = flag(isCurrentBufferAlternate()); break;
    case 66: state = flag(applicationKeypad); break;
    case 69: state = flag(marginMode); break;
    case 1000: state = flag(mouseMode_ == MouseMode::vt200); break;
    case 1002: state = flag(mouseMode_ == MouseMode::buttonEventTracking); break;
    case 1003: state = flag(mouseMode_ == MouseMode::anyEvent); break;
    case 1004: state = flag(sendFocus); break;
    case 1005: state = flag(mouseProtocol == MouseProtocolEncoding::utf8); break;
    case 1006: state = flag(mouseProtocol == MouseProtocolEncoding::sgr); break;
    case 1015: state = flag(mouseProtocol == MouseProtocolEncoding::urxvt); break;
    case 1016: state = flag(mouseProtocol == MouseProtocolEncoding::sgrPixel); break;
    case 2004: state = flag(bracketedPasteMode); break;
    case 2026: state = flag(synchronizedOutputActive_); break;
    default: break;
    }
    sendResponse(cc.csi(), "?" + std::to_string(mode) + ";" + std::to_string(state) + "$y");
}

bool Terminal::handleKittyKeyboardProtocol(Params pars, Collect collect)
{
    if (collect.size() != 1) return false;
    KeyboardModeState& mode = isCurrentBufferAlternate() ? keyboardModeAlt : keyboardModeNormal;
    const int64_t first = pars.empty() ? 0 : pars[0];
    switch (collect[0]) {
    case '>': {
        // The stack keeps the 16 most recent entries.
        if (mode.stack.size() >= 16) mode.stack.erase(mode.stack.begin(), mode.stack.end() - 15);
        mode.stack.push_back(mode.flags);
        mode.flags = KittyKeyboardFlags(first & KittyKeyboardFlags::knownMask);
        return true;
    }
    case '<': {
        const int64_t count = std::max<int64_t>(first, 1);
        if (static_cast<int64_t>(mode.stack.size()) >= count) {
            mode.flags = mode.stack[mode.stack.size() - static_cast<size_t>(count)];
            mode.stack.resize(mode.stack.size() - static_cast<size_t>(count));
        } else {
            mode.stack.clear();
            mode.flags = KittyKeyboardFlags();
        }
        return true;
    }
    case '=': {
        const KittyKeyboardFlags flags(first & KittyKeyboardFlags::knownMask);
        switch (pars.size() > 1 ? pars[1] : 1) {
        case 1: mode.flags = flags; break;
        case 2: mode.flags = mode.flags | flags; break;
        case 3: mode.flags.remove(flags); break;
        default: break;
        }
        return true;
    }
    case '?':
        sendResponse(cc.csi(), "?" + std::to_string(mode.flags.rawValue) + "u");
        return true;
    default: return false;
    }
}

// ---- DECRQSS: DCS $ q Pt ST ----

void Terminal::DECRQSS::hook(std::span<const uint8_t>, std::span<const int64_t>, uint8_t)
{
    data.clear();
}

void Terminal::DECRQSS::put(std::span<const uint8_t> bytes)
{
    // A request runaway output turned into megabytes is kept only as far as
    // it can matter.
    const size_t room = kMaxSettingRequest - std::min(data.size(), kMaxSettingRequest);
    const size_t taken = std::min(room, bytes.size());
    data.insert(data.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(taken));
}

void Terminal::DECRQSS::unhook()
{
    Terminal& t = *terminal_;
    const bool ascii = std::all_of(data.begin(), data.end(), [](uint8_t b) { return b < 0x80; });
    const std::string request(data.begin(), data.end());
    const Buffer& b = *t.buffer_;
    std::optional<std::string> body;
    if (ascii) {
        if (request == "\"q") {
            body = "\"q";
        } else if (request == "\"p") {
            body = "65;1\"p";
        } else if (request == "r") {
            body = std::to_string(b.scrollTop() + 1) + ";" + std::to_string(b.scrollBottom() + 1) + "r";
        } else if (request == "m") {
            body = t.curAttr.toSgr();
        } else if (request == "s") {
            body = std::to_string(b.marginLeft() + 1) + ";" + std::to_string(b.marginRight() + 1) + "s";
        } else if (request == " q") {
            body = std::to_string(cursorStyleNumber(t.options_.cursorStyle)) + " q";
        } else if (!t.silentLog) {
            t.log("Unknown DCS + " + request);
        }
    }
    if (body) {
        t.sendResponse(t.cc.dcs(), "1$r", *body, t.cc.st());
    } else {
        t.sendResponse(t.cc.dcs(), "0$r", t.cc.st());
    }
}

}  // namespace corvel
