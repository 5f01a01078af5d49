// Helpers for the Kitty graphics tests: command strings, a host that records
// replies, and a terminal that sends commands.
#pragma once

#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalDelegate.h"
#include "corvel/platform/Base64.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvel::testing {

// One APC G command with the given keys and payload.
inline std::string kittyCommand(std::string_view keys, std::string_view payload = {})
{
    std::string text = "\x1b_G";
    text += keys;
    if (!payload.empty()) {
        text += ';';
        text += payload;
    }
    return text + "\x1b\\";
}

// One row of Unicode placeholder cells as a client writes it under an image
// placed with U=1: the image id as a 256-colour foreground, the first cell
// with its row and column diacritics, the others with the row diacritic only
// (their columns continue from the left), the colour reset after the row.
// Rows and columns up to 3.
inline std::string kittyPlaceholderRow(uint8_t imageId, int row, int cols)
{
    static constexpr const char* diacritics[] = {"\xcc\x85", "\xcc\x8d", "\xcc\x8e", "\xcc\x90"};
    const std::string placeholder = "\xf4\x8e\xbb\xae";  // U+10EEEE
    std::string text = "\x1b[38;5;" + std::to_string(imageId) + "m";
    for (int col = 0; col < cols; ++col) {
        text += placeholder + diacritics[row];
        if (col == 0) text += diacritics[0];
    }
    return text + "\x1b[39m";
}

class KittyRecordingHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t> data) override { replies.emplace_back(data.begin(), data.end()); }
    std::vector<std::string> replies;
};

// A terminal with a recording host (or one derived from it).
struct KittyTerminal {
    explicit KittyTerminal(TerminalOptions options = {},
                           std::shared_ptr<KittyRecordingHost> recordingHost = std::make_shared<KittyRecordingHost>())
        : host(std::move(recordingHost)), terminal(host, options)
    {
    }
    void command(std::string_view keys, std::string_view payload = {}) { terminal.feed(kittyCommand(keys, payload)); }
    // The last reply's body (between ESC _ and ESC \), or "" without replies.
    std::string lastReply() const
    {
        if (host->replies.empty()) return {};
        const std::string& reply = host->replies.back();
        return reply.size() >= 4 ? reply.substr(2, reply.size() - 4) : reply;
    }

    std::shared_ptr<KittyRecordingHost> host;
    Terminal terminal;
};

inline std::string base64Of(std::string_view text) { return base64::encode(text); }

}  // namespace corvel::testing
