#include "corvel/terminal/EscapeSequences.h"

#include <utility>

namespace corvel::EscapeSequences {

namespace {

std::vector<uint8_t>& startMarker()
{
    static std::vector<uint8_t> bytes{0x1B, '[', '2', '0', '0', '~'};
    return bytes;
}

std::vector<uint8_t>& endMarker()
{
    static std::vector<uint8_t> bytes{0x1B, '[', '2', '0', '1', '~'};
    return bytes;
}

}  // namespace

const std::vector<uint8_t>& bracketedPasteStart() { return startMarker(); }
const std::vector<uint8_t>& bracketedPasteEnd() { return endMarker(); }
void setBracketedPasteStart(std::vector<uint8_t> bytes) { startMarker() = std::move(bytes); }
void setBracketedPasteEnd(std::vector<uint8_t> bytes) { endMarker() = std::move(bytes); }

}  // namespace corvel::EscapeSequences
