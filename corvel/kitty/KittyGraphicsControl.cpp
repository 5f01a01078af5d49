// Parsing of the Kitty graphics control block: comma-separated key=value
// items, single-letter case-sensitive keys, the last item of a key winning.
#include "corvel/kitty/KittyGraphicsControl.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace corvel {

namespace {

// A decimal number with an optional sign; absent when anything else is in
// the text or the value leaves the signed 64-bit range.
std::optional<int64_t> parseInteger(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Accumulated as a negative number, whose range is one larger.
    int64_t value = 0;
    constexpr int64_t lowest = std::numeric_limits<int64_t>::min();
    for (char ch : text) {
        if (ch < '0' || ch > '9') return std::nullopt;
        const int digit = ch - '0';
        if (value < (lowest + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative) return value;
    if (value == lowest) return std::nullopt;
    return -value;
}

// A decimal id with an optional '+': 0, a sign '-' or a value above 32 bits
// gives none.
std::optional<uint32_t> parseId(std::string_view text)
{
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(ch - '0');
        if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    }
    if (value == 0) return std::nullopt;
    return static_cast<uint32_t>(value);
}

void setInteger(int64_t& field, std::string_view value, int64_t fallback)
{
    field = parseInteger(value).value_or(fallback);
}

void applyItem(KittyGraphicsControl& control, char key, std::string_view value)
{
    const KittyGraphicsControl defaults;
    const std::optional<char> letter = value.empty() ? std::nullopt : std::optional<char>(value.front());
    switch (key) {
    case 'a': control.action = letter.value_or(defaults.action); break;
    case 'q': setInteger(control.suppressResponses, value, defaults.suppressResponses); break;
    case 'f': setInteger(control.format, value, defaults.format); break;
    case 't': control.transmission = letter.value_or(defaults.transmission); break;
    case 's': setInteger(control.width, value, 0); break;
    case 'v': setInteger(control.height, value, 0); break;
    case 'x': setInteger(control.cropX, value, 0); break;
    case 'y': setInteger(control.cropY, value, 0); break;
    case 'w': setInteger(control.cropWidth, value, 0); break;
    case 'h': setInteger(control.cropHeight, value, 0); break;
    case 'S': setInteger(control.dataSize, value, 0); break;
    case 'O': setInteger(control.dataOffset, value, 0); break;
    case 'i': control.imageId = parseId(value); break;
    case 'I': control.imageNumber = parseId(value); break;
    case 'p': control.placementId = parseId(value); break;
    case 'P': control.parentImageId = parseId(value); break;
    case 'Q': control.parentPlacementId = parseId(value); break;
    case 'H': setInteger(control.offsetH, value, 0); break;
    case 'V': setInteger(control.offsetV, value, 0); break;
    case 'X': setInteger(control.pixelOffsetX, value, 0); break;
    case 'Y': setInteger(control.pixelOffsetY, value, 0); break;
    case 'U': setInteger(control.unicodePlaceholder, value, 0); break;
    case 'z': setInteger(control.zIndex, value, 0); break;
    case 'm': setInteger(control.more, value, 0); break;
    case 'o': control.compression = letter; break;
    case 'c': setInteger(control.columns, value, 0); break;
    case 'r': setInteger(control.rows, value, 0); break;
    case 'C': setInteger(control.cursorPolicy, value, 0); break;
    case 'd':
        control.deleteMode = value.empty() ? std::nullopt : std::optional<std::string>(std::string(value));
        break;
    default: break;
    }
}

}  // namespace

KittyGraphicsCommand parseKittyGraphicsControl(std::span<const uint8_t> bytes)
{
    KittyGraphicsCommand command;
    const auto semicolon = std::find(bytes.begin(), bytes.end(), uint8_t{';'});
    const size_t blockLength = static_cast<size_t>(semicolon - bytes.begin());
    if (semicolon != bytes.end()) command.payload = bytes.subspan(blockLength + 1);
    const std::string_view block(reinterpret_cast<const char*>(bytes.data()), blockLength);

    size_t start = 0;
    while (start <= block.size()) {
        size_t end = block.find(',', start);
        if (end == std::string_view::npos) end = block.size();
        const std::string_view item = block.substr(start, end - start);
        start = end + 1;
        const size_t equals = item.find('=');
        if (equals == std::string_view::npos) continue;
        if (std::any_of(item.begin(), item.end(), [](char ch) { return static_cast<uint8_t>(ch) > 0x7F; }))
            continue;
        const std::string_view key = item.substr(0, equals);
        if (key.size() != 1) continue;
        applyItem(command.control, key.front(), item.substr(equals + 1));
    }
    // Only direct transmissions come in chunks.
    if (command.control.transmission != 'd') command.control.more = 0;
    return command;
}

}  // namespace corvel
