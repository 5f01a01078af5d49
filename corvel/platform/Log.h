// One sink for every line the library prints. By default lines go to standard
// output; tests install a capture to read them back.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvel::log {

using Sink = std::function<void(std::string_view line)>;

// Writes one line (a newline is added); on standard output the line is
// flushed before this returns. Safe to call from any thread.
void write(std::string_view line);

// Installs a sink and returns the previous one; an empty sink restores standard output.
Sink setSink(Sink sink);

// Collects every line written while it lives (and restores the previous sink after).
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view fragment) const;
    size_t count(std::string_view fragment) const;
    void clear();

private:
    struct State;
    std::shared_ptr<State> state_;
    Sink previous_;
};

}  // namespace corvel::log
