// The link under one cell for the handlers of one pointer event: the hover
// underline, the link report and the click each ask for it, and each kind
// of link (the OSC 8 link, then a URL or path in the text) is looked up at
// most once however many of them ask. Lives for one event, on the GUI thread;
// it borrows the terminal and reads the buffer the view shows.
#pragma once

#include "corvel/terminal/Terminal.h"

#include <optional>

namespace corvel {

class CellLinkLookup {
public:
    CellLinkLookup(Terminal& terminal, Position at);

    // The OSC 8 link under the cell, or with `withText` and no OSC 8 link,
    // the link found in the text there.
    const std::optional<LinkMatch>& match(bool withText);
    // The cell as asked, before clamping.
    Position cell() const { return cell_; }

private:
    Terminal& terminal_;
    Buffer& buffer_;
    Position cell_;
    std::optional<Position> position_;  // clamped into the buffer; none for an empty one
    bool explicitLooked_ = false;
    bool implicitLooked_ = false;
    std::optional<LinkMatch> explicit_;
    std::optional<LinkMatch> implicit_;
};

}  // namespace corvel
