// Connects a find bar to its find target: typing searches forward on every
// change (an emptied field clears the search), Return and the arrows step,
// ticking an option searches again with it, and closing hides the bar and
// hands the focus back. Every term searched becomes the find pasteboard's.
//
// Owned by the terminal view, next to the bar it drives (the bar's callbacks
// refer to the controller, so the view destroys both together). GUI thread
// only.
#pragma once

#include "corvel/terminal/SearchOptions.h"

#include <optional>
#include <string>

namespace corvel {

class FindTarget;
class TerminalFindBarView;

class FindBarController {
public:
    FindBarController(TerminalFindBarView& bar, FindTarget& target);
    FindBarController(const FindBarController&) = delete;
    FindBarController& operator=(const FindBarController&) = delete;

    TerminalFindBarView& bar() const { return bar_; }
    const std::string& term() const { return findBarTerm_; }
    const SearchOptions& options() const { return findBarOptions_; }

    // Shows the bar and gives its field the focus. The field is filled with
    // `selectionText` when it is given and not empty, else with the find
    // pasteboard's term, and that text is searched at once.
    void showFindBar(const std::optional<std::string>& selectionText);
    void hideFindBar();
    // A step with the bar's term (the find pasteboard's while the bar is
    // hidden) and the bar's options; nothing without a term.
    void performFind(bool next);
    // The field's text changed.
    void handleSearchChanged(const std::string& text);

private:
    TerminalFindBarView& bar_;
    FindTarget& target_;
    std::string findBarTerm_;
    SearchOptions findBarOptions_;
};

}  // namespace corvel
