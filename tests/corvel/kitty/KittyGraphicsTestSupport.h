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

class KittyRecordingHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t> data) override { replies.emplace_back(data.begin(), data.end()); }
    std::vector<std::string> replies;
};

// A terminal with a recording host.
struct KittyTerminal {
    explicit KittyTerminal(TerminalOptions options = {})
        : host(std::make_shared<KittyRecordingHost>()), terminal(host, options)
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
