#include "corvel/platform/Log.h"

#include <cstdio>
#include <memory>
#include <mutex>

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
}  // namespace

void write(std::string_view line)
{
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
