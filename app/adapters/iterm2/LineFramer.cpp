#include "app/adapters/iterm2/LineFramer.h"

#include <cstring>

namespace tilebay {

void LineFramer::append(std::string_view bytes, const LineHandler& onLine)
{
    // Drop consumed lines before growing, so the buffer holds at most one
    // unfinished line plus the new piece.
    if (start_ > 0) {
        buffer_.erase(0, start_);
        scanned_ -= start_;
        start_ = 0;
    }
    buffer_.append(bytes.data(), bytes.size());
    for (;;) {
        const char* base = buffer_.data();
        const void* hit = std::memchr(base + scanned_, '\n', buffer_.size() - scanned_);
        if (!hit) {
            scanned_ = buffer_.size();
            return;
        }
        const size_t end = static_cast<size_t>(static_cast<const char*>(hit) - base);
        const size_t begin = start_;
        start_ = end + 1;
        scanned_ = start_;
        onLine(std::string_view(base + begin, end - begin));
    }
}

}  // namespace tilebay
