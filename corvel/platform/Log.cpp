#include "corvel/platform/Log.h"

#include "corvel/platform/Utf8.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>

namespace corvel::log {

namespace {
std::mutex& sinkMutex()
{
    static std::mutex m;
    return m;
}
Sink& currentSink()
{
    static Sink sink;
    return sink;
}

void appendHexEscape(std::string& out, uint8_t byte)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}
}  // namespace

std::string escapedLine(std::string_view line)
{
    const std::span<const uint8_t> bytes = utf8::bytesOf(line);
    std::string out;
    out.reserve(line.size());
    for (size_t i = 0; i < bytes.size();) {
        const uint8_t byte = bytes[i];
        if (byte < 0x80) {
            switch (byte) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    appendHexEscape(out, byte);
                } else {
                    out += static_cast<char>(byte);
                }
            }
            ++i;
            continue;
        }
        // A C1 control is well-formed UTF-8 but acts as a control all the
        // same (U+009B is a CSI); an ill-formed sequence is escaped byte by
        // byte, its maximal subpart at a time.
        const utf8::Decoded decoded = utf8::decodeNext(bytes, i);
        if (decoded.valid && decoded.scalar > 0x9F) {
            out.append(line.substr(i, decoded.length));
        } else {
            for (size_t k = 0; k < decoded.length; ++k) appendHexEscape(out, bytes[i + k]);
        }
        i += decoded.length;
    }
    return out;
}

void write(std::string_view text)
{
    // Escaped before the lock: the sink's lock is held only to hand it over.
    const std::string line = escapedLine(text);
    std::lock_guard<std::mutex> lock(sinkMutex());
    if (auto& sink = currentSink()) {
        sink(line);
        return;
    }
    // Flushed line by line whatever standard output is (a file or a pipe is
    // fully buffered): a line is needed most when the process then crashes
    // or is killed, which would lose what the buffer still held.
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

Sink setSink(Sink sink)
{
    std::lock_guard<std::mutex> lock(sinkMutex());
    Sink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

struct Capture::State {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

Capture::Capture() : state_(std::make_shared<State>())
{
    auto state = state_;
    previous_ = setSink([state](std::string_view line) {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->lines.emplace_back(line);
    });
}

Capture::~Capture() { setSink(std::move(previous_)); }

std::vector<std::string> Capture::lines() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->lines;
}

bool Capture::contains(std::string_view fragment) const { return count(fragment) > 0; }

size_t Capture::count(std::string_view fragment) const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    size_t n = 0;
    for (const auto& line : state_->lines)
        if (line.find(fragment) != std::string::npos) ++n;
    return n;
}

void Capture::clear()
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->lines.clear();
}

}  // namespace corvel::log
