// SM / RM (ANSI modes) and DECSET / DECRST (DEC private modes). SGR is in
// TerminalSgr.cpp.
#include "corvel/terminal/Terminal.h"

#include "corvel/terminal/ListForm.h"

#include <string>

namespace corvel {

namespace {

bool isDecPrivate(Terminal::Collect collect)
{
    return collect.size() == 1 && collect[0] == '?';
}

Attribute invertedDefaultAttribute()
{
    Attribute inverted;
    inverted.fg = Attribute::Color::defaultInvertedColor();
    inverted.bg = Attribute::Color::defaultInvertedColor();
    return inverted;
}

}  // namespace

void Terminal::cmdSetMode(Params pars, Collect collect)
{
    for (int64_t par : pars) setMode(par, collect);
}

void Terminal::cmdResetMode(Params pars, Collect collect)
{
    for (int64_t par : pars) resetMode(par, collect);
}

void Terminal::setMode(int64_t par, Collect collect)
{
    if (collect.empty()) {
        switch (par) {
        case 2: break;  // KAM
        case 4:
            insertMode = true;
            normalBuffer_->insertMode = true;
            altBuffer_->insertMode = true;
            break;
        case 20: lineFeedMode = true; break;
        default:
            if (!silentLog) log("Unhandled verbatim setMode with " + std::to_string(par) + " and " + listForm(collect));
            break;
        }
        return;
    }
    if (!isDecPrivate(collect)) {
        if (!silentLog) log("Unhandled setMode (SM) with " + std::to_string(par) + " and " + listForm(collect));
        return;
    }

    // Switching screens, in both directions, ends by redrawing the whole
    // screen, showing a hidden cursor and telling the host. A hyperlink still
    // open names rows of the screen it was opened on; it is dropped when the
    // screen changed, so that closing it cannot mark the other screen's rows.
    const Buffer* const before = buffer_;
    auto switchTail = [this, before] {
        if (buffer_ != before) hyperLinkTracking.reset();
        updateRange(0);
        updateRange(rows_ - 1);
        showCursor();
        withDelegate([&](TerminalDelegate& d) { d.bufferActivated(*this); });
    };
    const Collect none;
    switch (par) {
    case 1: applicationCursor = true; break;
    case 2:
        for (uint8_t g = 0; g < 4; ++g) setgCharset(g, nullptr);
        break;
    case 3:
        if (!allow80To132) break;
        resize(132, rows_);
        resetToInitialState();
        withDelegate([&](TerminalDelegate& d) { d.sizeChanged(*this); });
        break;
    case 4: smoothScroll = true; break;
    case 5: curAttr = invertedDefaultAttribute(); break;
    case 6: originMode = true; break;
    case 7:
        wraparound = true;
        normalBuffer_->wraparound = true;
        altBuffer_->wraparound = true;
        break;
    case 9: setMouseMode(MouseMode::x10); break;
    case 12: cursorBlink = true; break;
    case 25: showCursor(); break;
    case 40: allow80To132 = true; break;
    case 45:
        if (wraparound) reverseWraparound = true;
        break;
    case 47:
    case 1047:
        activateAltBuffer();
        switchTail();
        break;
    case 63: break;
    case 66: applicationKeypad = true; break;
    case 69:
        marginMode = true;
        normalBuffer_->marginMode = true;
        altBuffer_->marginMode = true;
        break;
    case 95: break;
    case 1000: setMouseMode(MouseMode::vt200); break;
    case 1002: setMouseMode(MouseMode::buttonEventTracking); break;
    case 1003: setMouseMode(MouseMode::anyEvent); break;
    case 1004: sendFocus = true; break;
    case 1005: mouseProtocol = MouseProtocolEncoding::utf8; break;
    case 1006: mouseProtocol = MouseProtocolEncoding::sgr; break;
    case 1015: mouseProtocol = MouseProtocolEncoding::urxvt; break;
    case 1016: mouseProtocol = MouseProtocolEncoding::sgrPixel; break;
    case 1034: break;
    case 1048: cmdSaveCursor({}, none); break;
    case 1049:
        cmdSaveCursor({}, none);
        activateAltBuffer();
        switchTail();
        break;
    case 2004: bracketedPasteMode = true; break;
    case 2026: beginSynchronizedOutput(); break;
    default:
        if (!silentLog) log("Unhandled DEC Private Mode Set (DECSET) with " + std::to_string(par));
        break;
    }
}

void Terminal::resetMode(int64_t par, Collect collect)
{
    if (collect.empty()) {
        switch (par) {
        case 4:
            insertMode = false;
            normalBuffer_->insertMode = false;
            altBuffer_->insertMode = false;
            break;
        case 20: lineFeedMode = false; break;
        default: break;
        }
        return;
    }
    if (!isDecPrivate(collect)) return;

    const Buffer* const before = buffer_;
    auto switchTail = [this, before] {
        if (buffer_ != before) hyperLinkTracking.reset();
        updateRange(0);
        updateRange(rows_ - 1);
        showCursor();
        withDelegate([&](TerminalDelegate& d) { d.bufferActivated(*this); });
    };
    auto mouseEncodingOff = [this] {
        mouseProtocol = MouseProtocolEncoding::x10;
        setMouseMode(MouseMode::off);
    };
    auto logged = [this](int64_t mode) {
        if (!silentLog) log("Unhandled DEC Private Mode Reset (DECRST) with " + std::to_string(mode));
    };
    const Collect none;
    switch (par) {
    case 1: applicationCursor = false; break;
    case 2: logged(par); break;
    case 3:
        if (!allow80To132) break;
        resize(80, rows_);
        withDelegate([&](TerminalDelegate& d) { d.sizeChanged(*this); });
        resetToInitialState();
        break;
    case 4: smoothScroll = false; break;
    case 5: curAttr = Attribute{}; break;
    case 6: originMode = false; break;
    case 7:
        wraparound = false;
        normalBuffer_->wraparound = false;
        altBuffer_->wraparound = false;
        break;
    case 9: setMouseMode(MouseMode::off); break;
    case 12: cursorBlink = false; break;
    case 25: hideCursor(); break;
    case 40: allow80To132 = false; break;
    case 41: break;
    case 45: reverseWraparound = false; break;
    case 47:
        activateNormalBuffer(false);
        switchTail();
        break;
    case 63: logged(par); break;
    case 66: applicationKeypad = false; break;
    case 69:
        marginMode = false;
        normalBuffer_->marginMode = false;
        altBuffer_->marginMode = false;
        // Margins set while the mode was on would otherwise keep limiting
        // line feeds, index and wrapping on both screens.
        fitMarginsToWidth();
        break;
    case 95: break;
    case 1000:
    case 1002:
    case 1003: setMouseMode(MouseMode::off); break;
    case 1004: sendFocus = false; break;
    case 1005:
    case 1006:
    case 1015:
    case 1016: mouseEncodingOff(); break;
    case 1034: break;
    case 1047:
        activateNormalBuffer(true);
        switchTail();
        break;
    case 1048: cmdRestoreCursor({}, none); break;
    case 1049:
        activateNormalBuffer(true);
        cmdRestoreCursor({}, none);
        switchTail();
        break;
    case 2004: bracketedPasteMode = false; break;
    case 2026: endSynchronizedOutput(); break;
    default: logged(par); break;
    }
}

}  // namespace corvel
