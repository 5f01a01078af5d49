// Answers to the program's questions: device status, device attributes, mode
// and setting reports, and the Kitty keyboard flag stack. Every answer leaves
// through sendResponse, as one host `send`, introduced in the 7-bit or 8-bit
// form that `cc` chooses when it is built.
#include "corvel/Terminal.h"

#include <algorithm>
#include <string>

namespace corvel {

void Terminal::cmdDeviceStatus(Params pars, Collect collect)
{
    if (pars.empty()) return;
    const int64_t request = pars[0];
    const Buffer& b = *buffer_;
    const int64_t row = int64_t{b.y()} + 1 - (originMode ? b.scrollTop() : 0);
    const int64_t col = std::max<int64_t>(int64_t{b.x()} + 1 - (originMode && marginMode ? b.marginLeft() : 0), 1);

    if (collect.empty()) {
        if (request == 5) {
            sendResponse(cc.csi(), "0n");
        } else if (request == 6) {
            sendResponse(cc.csi(), std::to_string(std::max<int64_t>(row, 1)) + ";" + std::to_string(col) + "R");
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

// Not implemented yet: these requests get no answer.
void Terminal::cmdSendDeviceAttributes(Params, Collect) {}
void Terminal::cmdDecRqm(Params, bool) {}
bool Terminal::handleKittyKeyboardProtocol(Params, Collect) { return false; }

void Terminal::DECRQSS::hook(std::span<const uint8_t>, std::span<const int64_t>, uint8_t)
{
    data.clear();
}

void Terminal::DECRQSS::put(std::span<const uint8_t> bytes)
{
    data.insert(data.end(), bytes.begin(), bytes.end());
}

// Not implemented yet: the request gets no answer.
void Terminal::DECRQSS::unhook() {}

}  // namespace corvel
