// Cuts a byte stream into lines ended by a line feed (0x0A). Bytes arrive in
// pieces of any size; every complete line is handed out once, without its
// line feed, in the order received. Bytes after the last line feed wait for
// the next piece. Each byte is looked at once, so framing is linear in the
// size of the stream however it is cut. Not thread-safe: one reader owns it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tilebay {

class LineFramer {
public:
    using LineHandler = std::function<void(std::string_view line)>;

    // Adds `bytes` and calls `onLine` for each line they complete.
    void append(std::string_view bytes, const LineHandler& onLine);

    // The bytes of the unfinished last line.
    std::string_view pending() const { return std::string_view(buffer_).substr(start_); }

private:
    std::string buffer_;
    size_t start_ = 0;    // first byte of the unfinished line
    size_t scanned_ = 0;  // bytes before this hold no line feed after start_
};

}  // namespace tilebay
