// The lookups of CellLinkLookup, each made on first demand and kept.
#include "corvel/qt/CellLinkLookup.h"

namespace corvel {

CellLinkLookup::CellLinkLookup(Terminal& terminal, Position at)
    : terminal_(terminal), buffer_(terminal.displayBuffer()), cell_(at),
      position_(terminal.resolveLinkLocation(LinkLookupLocation::buffer(at), buffer_))
{
}

const std::optional<LinkMatch>& CellLinkLookup::match(bool withText)
{
    if (!position_) return explicit_;
    if (!explicitLooked_) {
        explicit_ = terminal_.explicitLinkMatch(*position_, buffer_);
        explicitLooked_ = true;
    }
    if (explicit_ || !withText) return explicit_;
    if (!implicitLooked_) {
        implicit_ = terminal_.implicitLinkMatch(*position_, buffer_);
        implicitLooked_ = true;
    }
    return implicit_;
}

}  // namespace corvel
