// Window manipulation requests (XTWINOPS, CSI Ps ; Ps ; Ps t): each becomes
// one WindowManipulationCommand offered to the host. The size reports have
// the terminal's own answers when the host gives none; the title reports and
// the title stacks are the terminal's alone.
#include "corvel/terminal/ListForm.h"
#include "corvel/terminal/Terminal.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace corvel {

namespace {

using Kind = WindowManipulationCommand::Kind;

bool matches(std::span<const int64_t> pars, std::initializer_list<int64_t> expected)
{
    return std::equal(pars.begin(), pars.end(), expected.begin(), expected.end());
}

int asInt(int64_t value)
{
    constexpr int64_t lowest = std::numeric_limits<int>::min();
    constexpr int64_t highest = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(value, lowest, highest));
}

// A push onto a full stack drops the oldest entry, so a program that pushes
// without popping cannot grow the terminal's memory.
void push(std::vector<std::string>& stack, const std::string& title)
{
    if (stack.size() >= Terminal::maxTitleStackDepth) {
        const auto excess = static_cast<std::ptrdiff_t>(stack.size() - Terminal::maxTitleStackDepth + 1);
        stack.erase(stack.begin(), stack.begin() + excess);
    }
    stack.push_back(title);
}

std::optional<std::string> pop(std::vector<std::string>& stack)
{
    if (stack.empty()) return std::nullopt;
    std::string title = std::move(stack.back());
    stack.pop_back();
    return title;
}

// The plain requests the host may act on; their replies are ignored.
std::optional<WindowManipulationCommand> hostRequest(std::span<const int64_t> pars)
{
    using C = WindowManipulationCommand;
    if (pars.size() == 1) {
        switch (pars[0]) {
        case 1: return C::plain(Kind::deiconifyWindow);
        case 2: return C::plain(Kind::iconifyWindow);
        case 5: return C::plain(Kind::bringToFront);
        case 6: return C::plain(Kind::sendToBack);
        case 7: return C::plain(Kind::refreshWindow);
        default: return std::nullopt;
        }
    }
    if (pars.size() == 2) {
        const int64_t p = pars[1];
        if (pars[0] == 9 && p >= 0 && p <= 3) {
            constexpr Kind kinds[] = {Kind::restoreMaximizedWindow, Kind::maximizeWindow,
                                      Kind::maximizeWindowVertically, Kind::maximizeWindowHorizontally};
            return C::plain(kinds[p]);
        }
        if (pars[0] == 10 && p >= 0 && p <= 2) {
            constexpr Kind kinds[] = {Kind::undoFullScreen, Kind::switchToFullScreen, Kind::toggleFullScreen};
            return C::plain(kinds[p]);
        }
        return std::nullopt;
    }
    if (pars.size() == 3) {
        switch (pars[0]) {
        case 3: return C::moveWindowTo(asInt(pars[1]), asInt(pars[2]));
        case 4: return C::resizeWindowTo(asInt(pars[2]), asInt(pars[1]));
        case 8: return C::resizeTerminal(asInt(pars[2]), asInt(pars[1]));
        default: return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

// CSI t is a window operation; CSI > Ps t sets title modes.
void Terminal::csiWindowOpsOrTitleModes(Params pars, Collect collect)
{
    if (collect.empty()) {
        cmdWindowOptions(pars);
    } else if (collect.size() == 1 && collect[0] == '>') {
        setTitleModes(pars, true);
    } else if (!silentLog) {
        log("Unhandled csiT " + listForm(collect));
    }
}

// The four title modes of CSI > Ps T (clear) and CSI > Ps t (set).
void Terminal::setTitleModes(Params pars, bool value)
{
    for (int64_t mode : pars) {
        switch (mode) {
        case 0: xtermTitleSetHex = value; break;
        case 1: xtermTitleQueryHex = value; break;
        case 2: xtermTitleSetUtf = value; break;
        case 3: xtermTitleQueryUtf = value; break;
        default: break;
        }
    }
}

void Terminal::cmdWindowOptions(Params pars)
{
    auto delegate = tdel_.lock();
    if (!delegate) return;
    TerminalDelegate& host = *delegate;

    if (auto command = hostRequest(pars)) {
        host.windowCommand(*this, *command);
        return;
    }

    // Size reports: the host's bytes when it gives any (an empty reply
    // included), else the terminal's own answer from the host's cell size or
    // 10 x 16 pixel cells.
    auto hostAnswered = [&](Kind kind) {
        auto bytes = host.windowCommand(*this, WindowManipulationCommand::plain(kind));
        if (bytes) sendResponse(*bytes);
        return bytes.has_value();
    };
    auto cellSize = [&] { return host.cellSizeInPixels(*this).value_or(TerminalDelegate::CellSize{10, 16}); };
    auto reply = [&](int code, int64_t first, int64_t second) {
        sendResponse(cc.csi(), std::to_string(code) + ";" + std::to_string(first) + ";" + std::to_string(second) + "t");
    };
    auto pixelReport = [&](Kind kind, int code) {
        if (hostAnswered(kind)) return;
        const auto cell = cellSize();
        reply(code, int64_t{rows_} * cell.height, int64_t{cols_} * cell.width);
    };
    auto characterReport = [&](Kind kind, int code) {
        if (!hostAnswered(kind)) reply(code, rows_, cols_);
    };

    if (matches(pars, {14})) {
        pixelReport(Kind::reportTextAreaPixelDimension, 4);
    } else if (matches(pars, {14, 2})) {
        pixelReport(Kind::reportTerminalWindowPixelDimension, 4);
    } else if (matches(pars, {15})) {
        pixelReport(Kind::reportSizeOfScreenInPixels, 5);
    } else if (matches(pars, {16})) {
        if (!hostAnswered(Kind::reportCellSizeInPixels)) {
            const auto cell = cellSize();
            reply(6, cell.height, cell.width);
        }
    } else if (matches(pars, {18})) {
        characterReport(Kind::reportTextAreaCharacters, 8);
    } else if (matches(pars, {19})) {
        characterReport(Kind::reportScreenSizeCharacters, 9);
    } else if (matches(pars, {20})) {
        // The titles themselves are never sent back to the program.
        sendResponse(cc.osc(), "L", cc.st());
    } else if (matches(pars, {21})) {
        sendResponse(cc.osc(), "l", cc.st());
    } else if (matches(pars, {22, 0}) || matches(pars, {22, 0, 0})) {
        push(terminalTitleStack, terminalTitle);
        push(terminalIconStack, iconTitle);
    } else if (matches(pars, {22, 1})) {
        push(terminalIconStack, iconTitle);
    } else if (matches(pars, {22, 2})) {
        push(terminalTitleStack, terminalTitle);
    } else if (matches(pars, {23, 0}) || matches(pars, {23, 0, 0})) {
        if (auto title = pop(terminalTitleStack)) setTitle(*title);
        if (auto icon = pop(terminalIconStack)) setIconTitle(*icon);
    } else if (matches(pars, {23, 1})) {
        if (auto icon = pop(terminalIconStack)) setIconTitle(*icon);
    } else if (matches(pars, {23, 2})) {
        if (auto title = pop(terminalTitleStack)) setTitle(*title);
    } else {
        log("Unhandled Window command: " + listForm(pars));
    }
}

}  // namespace corvel
