// The search of one terminal view over its displayed buffer. For now it only
// keeps the state that the view resets: output and size changes invalidate
// any cached match, and a reset forgets the last search. Main thread only;
// the view that owns it keeps the terminal alive for the service's life.
#pragma once

namespace corvel {

class Terminal;

class SearchService {
public:
    explicit SearchService(Terminal& terminal) : terminal_(terminal) {}
    SearchService(const SearchService&) = delete;
    SearchService& operator=(const SearchService&) = delete;

    Terminal& terminal() const { return terminal_; }
    // The buffer changed: cached matches no longer hold.
    void invalidate() { ++generation_; }
    // Forgets the last search.
    void reset() { ++generation_; }
    // Bumped by every invalidate() and reset().
    unsigned generation() const { return generation_; }

private:
    Terminal& terminal_;
    unsigned generation_ = 0;
};

}  // namespace corvel
