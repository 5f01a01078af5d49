// Where the parser and the host-callback defaults reach into the terminal:
// execute, CSI, ESC and OSC dispatch by final byte or number, the choice of
// DCS handler, and the host defaults
// that write the terminal's own colour properties.
//
// Each dispatcher returns whether the terminal took the sequence; when it did
// not (no row for it), the terminal turns the sequence into a log line. The
// tables only choose: every behaviour is a named command of the terminal in
// its area file, and each row names its sequence's mnemonic.
#include "corvel/terminal/TerminalDispatch.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalInternals.h"
#include "corvel/terminal/TerminalDelegate.h"

namespace corvel {

namespace {

bool isSingle(std::span<const uint8_t> collect, uint8_t byte)
{
    return collect.size() == 1 && collect[0] == byte;
}

}  // namespace

bool dispatchExecuteToTerminal(Terminal& terminal, uint8_t code)
{
    switch (code) {
    case 0x07: terminal.cmdBell(); break;            // BEL
    case 0x08: terminal.cmdBackspace(); break;       // BS
    case 0x09: terminal.cmdHorizontalTab(); break;   // HT
    case 0x0A:                                       // LF
    case 0x0B:                                       // VT
    case 0x0C: terminal.cmdLineFeedBasic(); break;   // FF
    case 0x0D: terminal.cmdCarriageReturn(); break;  // CR
    case 0x0E: terminal.setgLevel(1); break;         // SO (LS1)
    case 0x0F: terminal.setgLevel(0); break;         // SI (LS0)
    case 0x84: terminal.cmdIndex(); break;           // IND
    case 0x85: terminal.cmdNextLine(); break;        // NEL
    case 0x88: terminal.cmdTabSet(); break;          // HTS
    default: return false;
    }
    return true;
}

bool dispatchCsiToTerminal(Terminal& terminal, uint8_t code, std::span<const int64_t> pars,
                           std::span<const uint8_t> collect)
{
    switch (code) {
    case '@': terminal.cmdInsertChars(pars); break;                        // ICH
    case 'A': terminal.cmdCursorUp(pars); break;                           // CUU
    case 'B': terminal.cmdCursorDown(pars); break;                         // CUD
    case 'C': terminal.cursorForward(pars.empty() ? 1 : pars[0]); break;   // CUF
    case 'D': terminal.cursorBackward(pars.empty() ? 1 : pars[0]); break;  // CUB
    case 'E': terminal.cmdCursorNextLine(pars); break;                     // CNL
    case 'F': terminal.cmdCursorPrecedingLine(pars); break;                // CPL
    case 'G': terminal.cmdCursorCharAbsolute(pars); break;                 // CHA
    case '`': terminal.cmdCharPosAbsolute(pars); break;                    // HPA
    case 'H': terminal.cmdCursorPosition(pars); break;                     // CUP
    case 'f': terminal.cmdHVPosition(pars); break;                         // HVP
    case 'I': terminal.cmdCursorForwardTab(pars); break;                   // CHT
    case 'J': terminal.cmdEraseInDisplay(pars); break;                     // ED
    case 'K': terminal.cmdEraseInLine(pars); break;                        // EL
    case 'L': terminal.cmdInsertLines(pars); break;                        // IL
    case 'M': terminal.cmdDeleteLines(pars); break;                        // DL
    case 'P': terminal.cmdDeleteChars(pars); break;                        // DCH
    case 'X': terminal.cmdEraseChars(pars); break;                         // ECH
    case 'S': terminal.cmdScrollUp(pars); break;                           // SU
    case 'T': terminal.csiScrollDownOrTitleModes(pars, collect); break;    // SD, XTRMTITLE
    case 'Z': terminal.cmdCursorBackwardTab(pars); break;                  // CBT
    case 'a': terminal.cmdHPositionRelative(pars); break;                  // HPR
    case 'b': terminal.cmdRepeatPrecedingCharacter(pars); break;           // REP
    case 'c': terminal.cmdSendDeviceAttributes(pars, collect); break;      // DA1, DA2
    case 'd': terminal.cmdLinePosAbsolute(pars); break;                    // VPA
    case 'e': terminal.cmdVPositionRelative(pars); break;                  // VPR
    case 'g': terminal.cmdTabClear(pars); break;                           // TBC
    case 'h': terminal.cmdSetMode(pars, collect); break;                   // SM, DECSET
    case 'l': terminal.cmdResetMode(pars, collect); break;                 // RM, DECRST
    case 'm': terminal.cmdCsiM(pars, collect); break;                      // SGR
    case 'n': terminal.cmdDeviceStatus(pars, collect); break;              // DSR, DECXCPR
    case 'p': terminal.csiPHandler(pars, collect); break;                  // DECSTR, DECSCL, DECRQM
    case 'q': terminal.cmdSetCursorStyle(pars, collect); break;            // DECSCUSR
    case 'r': terminal.cmdSetScrollRegion(pars, collect); break;           // DECSTBM
    case 's': terminal.csiSaveCursorOrMargins(pars, collect); break;       // DECSLRM, SCOSC
    case 't': terminal.csiWindowOpsOrTitleModes(pars, collect); break;     // XTWINOPS, XTSMTITLE
    case 'u': terminal.csiRestoreCursorOrKeyboard(pars, collect); break;   // SCORC, kitty keyboard
    case 'v': terminal.csiCopyRectangularArea(pars, collect); break;       // DECCRA
    case 'x': terminal.csiX(pars, collect); break;                         // DECFRA
    case 'z': terminal.csiZ(pars, collect); break;                         // DECERA, DECELR
    case '{': terminal.csiOpenBrace(pars, collect); break;                 // DECSERA
    case '}': terminal.csiCloseBrace(pars, collect); break;                // DECIC
    case 'y': terminal.cmdDECRQCRA(pars); break;                           // DECRQCRA
    case '~': terminal.cmdDeleteColumns(pars); break;                      // DECDC
    default: return false;
    }
    return true;
}

bool dispatchEscToTerminal(Terminal& terminal, std::span<const uint8_t> collect, uint8_t code)
{
    const std::span<const int64_t> noParameters;
    const std::span<const uint8_t> noCollect;
    if (collect.empty()) {
        switch (code) {
        case '6': terminal.columnIndex(true); break;                          // DECBI
        case '7': terminal.cmdSaveCursor(noParameters, noCollect); break;     // DECSC
        case '8': terminal.cmdRestoreCursor(noParameters, noCollect); break;  // DECRC
        case '9': terminal.columnIndex(false); break;                         // DECFI
        case '=': terminal.applicationKeypad = true; break;                   // DECKPAM
        case '>': terminal.applicationKeypad = false; break;                  // DECKPNM
        case 'D': terminal.cmdIndex(); break;                                 // IND
        case 'E': terminal.cmdNextLine(); break;                              // NEL
        case 'H': terminal.cmdTabSet(); break;                                // HTS
        case 'M': terminal.reverseIndex(); break;                             // RI
        case '\\': break;                                                     // ST
        case 'c': terminal.cmdReset(); break;                                 // RIS
        case 'n':                                                             // LS2
        case '}': terminal.setgLevel(2); break;                               // LS2R
        case 'o':                                                             // LS3
        case '|': terminal.setgLevel(3); break;                               // LS3R
        case '~': terminal.setgLevel(1); break;                               // LS1R
        default: return false;
        }
        return true;
    }
    if (collect.size() != 1) return false;
    switch (collect[0]) {
    case '#':
        switch (code) {
        case '3': terminal.setLineRenderMode(BufferLine::RenderLineMode::doubledTop); break;   // DECDHL top
        case '4': terminal.setLineRenderMode(BufferLine::RenderLineMode::doubledDown); break;  // DECDHL bottom
        case '5': terminal.setLineRenderMode(BufferLine::RenderLineMode::single); break;       // DECSWL
        case '6': terminal.setLineRenderMode(BufferLine::RenderLineMode::doubleWidth); break;  // DECDWL
        case '8': terminal.cmdScreenAlignmentPattern(); break;                                 // DECALN
        default: return false;
        }
        return true;
    case '%':
        // DOCS
        if (code != 'G' && code != '@') return false;
        terminal.cmdSelectCodingSystem();
        return true;
    case '(':
    case ')':
    case '*':
    case '+':
    case '-':
    case '.':
    case '/': {
        // SCS
        if (!CharSets::lookup(code)) return false;
        const uint8_t designation[2] = {collect[0], code};
        terminal.selectCharset(designation);
        return true;
    }
    case ' ':
        if (code == 'F') {
            terminal.cc.send8bit = false;  // S7C1T
        } else if (code == 'G') {
            terminal.cc.send8bit = true;  // S8C1T
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
    case 0:                                                    // icon and window title
    case 2: terminal.oscSetTitle(data); break;                 // window title
    case 1: terminal.oscSetIconTitle(data); break;             // icon title
    case 4: terminal.oscChangeOrQueryColorIndex(data); break;  // palette colour
    case 6: terminal.oscSetCurrentDocument(data); break;       // current document
    case 7: terminal.oscSetCurrentDirectory(data); break;      // current directory
    case 8: terminal.oscHyperlink(data); break;                // hyperlink
    case 9: return terminal.oscProgressReport(data);           // progress report
    case 10: terminal.oscSetColors(data, 0); break;            // foreground colour
    case 11: terminal.oscSetColors(data, 1); break;            // background colour
    case 12: terminal.oscSetColors(data, 2); break;            // cursor colour
    case 52: terminal.oscClipboard(data); break;               // clipboard
    case 104: terminal.oscResetColor(data); break;             // reset palette colour
    case 112: terminal.oscResetCursorColor(); break;           // reset cursor colour
    case 777: terminal.oscNotification(data); break;           // notification
    case 1337: terminal.osciTerm2(data); break;                // the 1337 extensions
    default: return false;
    }
    return true;
}

std::unique_ptr<DcsHandler> dcsHandlerFor(Terminal& terminal, std::span<const uint8_t> collect, uint8_t final)
{
    if (final != 'q') return nullptr;
    if (collect.empty()) return terminal.makeSixelDcsHandler();  // sixel
    if (isSingle(collect, '$')) return std::make_unique<Terminal::DECRQSS>(terminal);  // DECRQSS
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
