// Where the parser and the host-callback defaults reach into the terminal:
// execute, CSI, ESC and OSC dispatch by final byte or number, the choice of
// DCS handler, and the host defaults
// that write the terminal's own colour properties.
//
// Each dispatcher returns whether the terminal took the sequence; when it did
// not (no row for it), the terminal turns the sequence into a log line.
#include "corvel/terminal/TerminalDispatch.h"
#include "corvel/terminal/ListForm.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalDelegate.h"
#include "corvel/platform/Base64.h"
#include "corvel/platform/Utf8.h"

#include <algorithm>
#include <string>

namespace corvel {

namespace {

int64_t firstParameter(std::span<const int64_t> pars)
{
    return pars.empty() ? 0 : pars[0];
}

// NEL and ESC E: to the left margin in origin mode with margins on (a
// negative margin leaves the column), else to column 0; then index.
void nextLine(Terminal& terminal)
{
    Buffer& buffer = terminal.buffer();
    if (terminal.originMode && terminal.marginMode) {
        buffer.setX(buffer.marginLeft());
    } else {
        buffer.setX(0);
    }
    terminal.cmdIndex();
}

// The four title modes of CSI > Ps T (clear) and CSI > Ps t (set).
void setTitleModes(Terminal& terminal, std::span<const int64_t> pars, bool value)
{
    for (int64_t mode : pars) {
        switch (mode) {
        case 0: terminal.xtermTitleSetHex = value; break;
        case 1: terminal.xtermTitleQueryHex = value; break;
        case 2: terminal.xtermTitleSetUtf = value; break;
        case 3: terminal.xtermTitleQueryUtf = value; break;
        default: break;
        }
    }
}

bool isSingle(std::span<const uint8_t> collect, uint8_t byte)
{
    return collect.size() == 1 && collect[0] == byte;
}

std::string titleText(std::span<const uint8_t> data)
{
    if (!utf8::isValid(data)) return {};
    return std::string(data.begin(), data.end());
}

}  // namespace

bool dispatchExecuteToTerminal(Terminal& terminal, uint8_t code)
{
    Buffer& buffer = terminal.buffer();
    switch (code) {
    case 0x07:
        terminal.withDelegate([&](TerminalDelegate& d) { d.bell(terminal); });
        break;
    case 0x08: terminal.cmdBackspace(); break;
    case 0x09: buffer.setX(buffer.nextTabStop(terminal.marginMode, -1)); break;
    case 0x0A:
    case 0x0B:
    case 0x0C: terminal.cmdLineFeedBasic(); break;
    case 0x0D: terminal.cmdCarriageReturn(); break;
    case 0x0E: terminal.setgLevel(1); break;
    case 0x0F: terminal.setgLevel(0); break;
    case 0x84: terminal.cmdIndex(); break;
    case 0x85: nextLine(terminal); break;
    case 0x88: buffer.tabSet(buffer.x()); break;
    default: return false;
    }
    return true;
}

bool dispatchCsiToTerminal(Terminal& terminal, uint8_t code, std::span<const int64_t> pars,
                           std::span<const uint8_t> collect)
{
    Buffer& buffer = terminal.buffer();
    switch (code) {
    case '@': terminal.cmdInsertChars(pars); break;
    case 'A': terminal.cmdCursorUp(pars); break;
    case 'B': terminal.cmdCursorDown(pars); break;
    case 'C': terminal.cursorForward(pars.empty() ? 1 : pars[0]); break;
    case 'D': terminal.cursorBackward(pars.empty() ? 1 : pars[0]); break;
    case 'E':
        terminal.cmdCursorDown(pars);
        buffer.setX(terminal.marginMode ? buffer.marginLeft() : 0);
        break;
    case 'F':
        terminal.cmdCursorUp(pars);
        buffer.setX(terminal.marginMode ? buffer.marginLeft() : 0);
        break;
    case 'G': terminal.cmdCursorCharAbsolute(pars); break;
    case '`': terminal.cmdCharPosAbsolute(pars); break;
    case 'H': terminal.cmdCursorPosition(pars); break;
    case 'f': terminal.cmdHVPosition(pars); break;
    case 'I': {
        const int64_t limit = terminal.cols() - 1;
        const int64_t p = firstParameter(pars);
        const int64_t count = p >= 2 ? std::min(p, limit) : std::min<int64_t>(limit, 1);
        for (int64_t i = 0; i < count; ++i) buffer.setX(buffer.nextTabStop(terminal.marginMode, -1));
        break;
    }
    case 'J': terminal.cmdEraseInDisplay(pars); break;
    case 'K': terminal.cmdEraseInLine(pars); break;
    case 'L': terminal.cmdInsertLines(pars); break;
    case 'M': terminal.cmdDeleteLines(pars); break;
    case 'P': terminal.cmdDeleteChars(pars); break;
    case 'X': terminal.cmdEraseChars(pars); break;
    case 'S': terminal.cmdScrollUp(pars); break;
    case 'T':
        if (collect.empty()) {
            terminal.cmdScrollDown(pars);
        } else if (isSingle(collect, '>')) {
            setTitleModes(terminal, pars, false);
        }
        break;
    case 'Z': {
        if (buffer.x() > terminal.cols()) break;
        const int64_t p = firstParameter(pars);
        const int64_t count = p > 1 ? std::min<int64_t>(p, buffer.cols()) : 1;
        for (int64_t i = 0; i < count; ++i) buffer.setX(buffer.previousTabStop(-1));
        break;
    }
    case 'a': terminal.cmdHPositionRelative(pars); break;
    case 'b': terminal.cmdRepeatPrecedingCharacter(pars); break;
    case 'c': terminal.cmdSendDeviceAttributes(pars, collect); break;
    case 'd': terminal.cmdLinePosAbsolute(pars); break;
    case 'e': terminal.cmdVPositionRelative(pars); break;
    case 'g': terminal.cmdTabClear(pars); break;
    case 'h': terminal.cmdSetMode(pars, collect); break;
    case 'l': terminal.cmdResetMode(pars, collect); break;
    case 'm': terminal.cmdCsiM(pars, collect); break;
    case 'n': terminal.cmdDeviceStatus(pars, collect); break;
    case 'p': terminal.csiPHandler(pars, collect); break;
    case 'q': terminal.cmdSetCursorStyle(pars, collect); break;
    case 'r': terminal.cmdSetScrollRegion(pars, collect); break;
    case 's':
        if (!collect.empty()) break;
        if (terminal.marginMode) {
            terminal.cmdSetMargins(pars, collect);
        } else {
            terminal.cmdSaveCursor(pars, collect);
        }
        break;
    case 't':
        if (collect.empty()) {
            terminal.cmdWindowOptions(pars);
        } else if (isSingle(collect, '>')) {
            setTitleModes(terminal, pars, true);
        } else if (!terminal.silentLog) {
            terminal.log("Unhandled csiT " + listForm(collect));
        }
        break;
    case 'u':
        if (!terminal.handleKittyKeyboardProtocol(pars, collect) && collect.empty()) {
            terminal.cmdRestoreCursor(pars, collect);
        }
        break;
    case 'v': terminal.csiCopyRectangularArea(pars, collect); break;
    case 'x': terminal.csiX(pars, collect); break;
    case 'z': terminal.csiZ(pars, collect); break;
    case '{': terminal.csiOpenBrace(pars, collect); break;
    case '}': terminal.csiCloseBrace(pars, collect); break;
    case 'y': terminal.cmdDECRQCRA(pars); break;
    case '~': terminal.cmdDeleteColumns(pars); break;
    default: return false;
    }
    return true;
}

bool dispatchEscToTerminal(Terminal& terminal, std::span<const uint8_t> collect, uint8_t code)
{
    Buffer& buffer = terminal.buffer();
    const std::span<const int64_t> noParameters;
    const std::span<const uint8_t> noCollect;
    if (collect.empty()) {
        switch (code) {
        case '6': terminal.columnIndex(true); break;
        case '7': terminal.cmdSaveCursor(noParameters, noCollect); break;
        case '8': terminal.cmdRestoreCursor(noParameters, noCollect); break;
        case '9': terminal.columnIndex(false); break;
        case '=': terminal.applicationKeypad = true; break;
        case '>': terminal.applicationKeypad = false; break;
        case 'D': terminal.cmdIndex(); break;
        case 'E': nextLine(terminal); break;
        case 'H': buffer.tabSet(buffer.x()); break;
        case 'M': terminal.reverseIndex(); break;
        case '\\': break;
        case 'c': terminal.cmdReset(); break;
        case 'n':
        case '}': terminal.setgLevel(2); break;
        case 'o':
        case '|': terminal.setgLevel(3); break;
        case '~': terminal.setgLevel(1); break;
        default: return false;
        }
        return true;
    }
    if (collect.size() != 1) return false;
    switch (collect[0]) {
    case '#':
        switch (code) {
        case '3': terminal.setLineRenderMode(BufferLine::RenderLineMode::doubledTop); break;
        case '4': terminal.setLineRenderMode(BufferLine::RenderLineMode::doubledDown); break;
        case '5': terminal.setLineRenderMode(BufferLine::RenderLineMode::single); break;
        case '6': terminal.setLineRenderMode(BufferLine::RenderLineMode::doubleWidth); break;
        case '8': terminal.cmdScreenAlignmentPattern(); break;
        default: return false;
        }
        return true;
    case '%':
        if (code != 'G' && code != '@') return false;
        terminal.setgLevel(0);
        terminal.setgCharset(0, nullptr);
        return true;
    case '(':
    case ')':
    case '*':
    case '+':
    case '-':
    case '.':
    case '/': {
        if (!CharSets::lookup(code)) return false;
        const uint8_t designation[2] = {collect[0], code};
        terminal.selectCharset(designation);
        return true;
    }
    case ' ':
        if (code == 'F') {
            terminal.cc.send8bit = false;
        } else if (code == 'G') {
            terminal.cc.send8bit = true;
        } else {
            return false;
        }
        return true;
    default: return false;
    }
}

bool dispatchOscToTerminal(Terminal& terminal, int64_t code, std::span<const uint8_t> data)
{
    switch (code) {
    case 0:
    case 2: terminal.setTitle(titleText(data)); break;
    case 1: terminal.setIconTitle(titleText(data)); break;
    case 4: terminal.oscChangeOrQueryColorIndex(data); break;
    case 6: terminal.oscSetCurrentDocument(data); break;
    case 7: terminal.oscSetCurrentDirectory(data); break;
    case 8: terminal.oscHyperlink(data); break;
    case 9: {
        const auto report = terminal.parseProgressReport(data);
        if (!report) return false;
        terminal.withDelegate([&](TerminalDelegate& d) { d.progressReport(terminal, *report); });
        break;
    }
    case 10: terminal.oscSetColors(data, 0); break;
    case 11: terminal.oscSetColors(data, 1); break;
    case 12: terminal.oscSetColors(data, 2); break;
    case 52: {
        // Only the clipboard selection is written ("c", or an empty field,
        // which names the default selection), and only with valid Base64.
        size_t start = 0;
        if (data.size() >= 2 && data[0] == 'c' && data[1] == ';') {
            start = 2;
        } else if (!data.empty() && data[0] == ';') {
            start = 1;
        }
        if (start > 0) {
            const auto decoded = base64::decode(data.subspan(start));
            if (decoded) terminal.withDelegate([&](TerminalDelegate& d) { d.clipboardCopy(terminal, *decoded); });
        }
        break;
    }
    case 104: terminal.oscResetColor(data); break;
    case 112: terminal.withDelegate([&](TerminalDelegate& d) { d.setCursorColor(terminal, std::nullopt); }); break;
    case 777: terminal.oscNotification(data); break;
    case 1337: terminal.osciTerm2(data); break;
    default: return false;
    }
    return true;
}

std::unique_ptr<DcsHandler> dcsHandlerFor(Terminal& terminal, std::span<const uint8_t> collect, uint8_t final)
{
    if (final != 'q') return nullptr;
    if (collect.empty()) return terminal.makeSixelDcsHandler();
    if (isSingle(collect, '$')) return std::make_unique<Terminal::DECRQSS>(terminal);
    return nullptr;
}

// Host defaults: the setters store the colour in the terminal's own
// property, whose re-entry guard keeps this from calling out again; getColors
// answers the terminal's colours.

void TerminalDelegate::setForegroundColor(Terminal& source, const Color& color)
{
    source.setForegroundColor(color);
}

void TerminalDelegate::setBackgroundColor(Terminal& source, const Color& color)
{
    source.setBackgroundColor(color);
}

void TerminalDelegate::setCursorColor(Terminal& source, const std::optional<Color>& color)
{
    source.setCursorColor(color);
}

std::pair<Color, Color> TerminalDelegate::getColors(Terminal& source)
{
    return {source.foregroundColor(), source.backgroundColor()};
}

}  // namespace corvel
