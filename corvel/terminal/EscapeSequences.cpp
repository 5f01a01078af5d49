#include "corvel/terminal/EscapeSequences.h"

#include <string_view>
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

std::string withoutPasteEnd(std::string text)
{
    const std::vector<uint8_t>& marker = endMarker();
    if (marker.empty()) return text;
    const std::string_view needle(reinterpret_cast<const char*>(marker.data()), marker.size());
    size_t from = 0;
    while (true) {
        const size_t at = text.find(needle, from);
        if (at == std::string::npos) return text;
        text.erase(at, needle.size());
        // What stood before the cut may now begin a marker.
        from = at >= needle.size() ? at - needle.size() + 1 : 0;
    }
}

}  // namespace corvel::EscapeSequences
