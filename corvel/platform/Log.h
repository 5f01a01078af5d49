// One sink for every line the library prints. By default lines go to standard
// output; tests install a capture to read them back. A line can carry text
// from outside (names read from files, a program's output), so it is escaped
// before any sink sees it: control characters and ill-formed UTF-8 never
// reach the terminal that shows the log. Safe to use from any thread; the
// sink is a process-wide value that setSink and Capture replace.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvel::log {

using Sink = std::function<void(std::string_view line)>;

// `line` as it is logged: C0 controls, DEL, C1 controls (U+0080 to U+009F)
// and every byte of an ill-formed UTF-8 sequence become escapes (\n, \r and
// \t, else \xNN with upper-case hex digits, one per byte), and a backslash
// is doubled so that an escape is never ambiguous. Printable ASCII and
// well-formed UTF-8 stay as they are.
std::string escapedLine(std::string_view line);

// Writes one line, escaped as above (a newline is added); on standard output
// the line is flushed before this returns. Safe to call from any thread.
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
