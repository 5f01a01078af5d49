// OSC commands: titles, palette colours, current directory and document,
// hyperlinks, progress, default colours, the clipboard, notifications and
// inline-image payloads.
//
// Every malformed payload is ignored without a reply or a log line; what an
// OSC 4 did before it ran into a malformed pair stays done. An inline image
// the allocator has no room for is ignored the same way.
#include "corvel/terminal/Terminal.h"

#include "corvel/platform/Base64.h"
#include "corvel/platform/Utf8.h"

#include <algorithm>
#include <any>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

namespace {

std::string_view textOf(std::span<const uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool isAscii(std::span<const uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b < 0x80; });
}

// Splits on ';'; empty pieces are kept unless `dropEmpty`.
std::vector<std::string_view> splitOnSemicolon(std::string_view text, bool dropEmpty)
{
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(';', start);
        const std::string_view piece = text.substr(start, end == std::string_view::npos ? end : end - start);
        if (!piece.empty() || !dropEmpty) pieces.push_back(piece);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return pieces;
}

// A decimal integer with an optional sign and nothing else; absent for
// anything else, also for a value that does not fit.
std::optional<int64_t> parseDecimal(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        if (value > (std::numeric_limits<int64_t>::max() - (c - '0')) / 10) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

// The width or height of an inline image: "auto" (or nothing), N%, Npx or a
// number of cells; a number that does not parse means automatic.
ImageSizeRequest parseImageSize(const std::optional<std::string_view>& value)
{
    if (!value || *value == "auto") return ImageSizeRequest::automatic();
    std::string_view text = *value;
    auto number = [](std::string_view digits) -> std::optional<int> {
        const auto parsed = parseDecimal(digits);
        if (!parsed || *parsed < std::numeric_limits<int>::min() || *parsed > std::numeric_limits<int>::max()) {
            return std::nullopt;
        }
        return static_cast<int>(*parsed);
    };
    if (text.ends_with('%')) {
        const auto n = number(text.substr(0, text.size() - 1));
        return n ? ImageSizeRequest::percent(*n) : ImageSizeRequest::automatic();
    }
    if (text.ends_with("px")) {
        const auto n = number(text.substr(0, text.size() - 2));
        return n ? ImageSizeRequest::pixels(*n) : ImageSizeRequest::automatic();
    }
    const auto n = number(text);
    return n ? ImageSizeRequest::cells(*n) : ImageSizeRequest::automatic();
}

}  // namespace

// ---- OSC 4: palette entries ----

// A title that is not valid UTF-8 becomes empty.
static std::string titleText(std::span<const uint8_t> data)
{
    if (!utf8::isValid(data)) return {};
    return std::string(data.begin(), data.end());
}

void Terminal::oscSetTitle(std::span<const uint8_t> data)
{
    setTitle(titleText(data));
}

void Terminal::oscSetIconTitle(std::span<const uint8_t> data)
{
    setIconTitle(titleText(data));
}

void Terminal::oscClipboard(std::span<const uint8_t> data)
{
    // Only the clipboard selection is written ("c", or an empty field, which
    // names the default selection), and only with valid Base64.
    size_t start = 0;
    if (data.size() >= 2 && data[0] == 'c' && data[1] == ';') {
        start = 2;
    } else if (!data.empty() && data[0] == ';') {
        start = 1;
    }
    if (start == 0) return;
    const auto decoded = base64::decode(data.subspan(start));
    if (decoded) withDelegate([&](TerminalDelegate& d) { d.clipboardCopy(*this, *decoded); });
}

void Terminal::oscResetCursorColor()
{
    withDelegate([&](TerminalDelegate& d) { d.setCursorColor(*this, std::nullopt); });
}

void Terminal::oscChangeOrQueryColorIndex(std::span<const uint8_t> data)
{
    const std::string_view text = textOf(data);
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t semicolon = text.find(';', pos);
        if (semicolon == std::string_view::npos) return;  // an index without a colour
        const auto index = parseDecimal(text.substr(pos, semicolon - pos));
        if (!index || *index < 0 || *index > 255) return;
        const size_t specStart = semicolon + 1;
        if (specStart < text.size() && text[specStart] == '?') {
            sendResponse(cc.osc(), "4;" + std::to_string(*index) + ";" + ansiColors[*index].formatAsXcolor(),
                         cc.st());
            pos = specStart + 1;
            if (pos < text.size() && text[pos] == ';') ++pos;
            continue;
        }
        size_t specEnd = text.find(';', specStart);
        if (specEnd == std::string_view::npos) specEnd = text.size();
        if (const auto color = Color::parseColor(text.substr(specStart, specEnd - specStart))) {
            ansiColors[*index] = *color;
            withDelegate([&](TerminalDelegate& d) { d.colorChanged(*this, static_cast<int>(*index)); });
        }
        pos = specEnd + 1;
    }
}

// ---- OSC 10, 11, 12: default colours and the cursor colour ----

void Terminal::oscSetColors(std::span<const uint8_t> data, int startAt)
{
    const auto pieces = splitOnSemicolon(textOf(data), true);
    for (size_t k = 0; k < pieces.size(); ++k) {
        const size_t target = static_cast<size_t>(startAt) + k;
        if (target > 2) break;
        const std::string_view piece = pieces[k];
        if (piece[0] == '?') {
            std::pair<Color, Color> shown{foregroundColor_, backgroundColor_};
            withDelegate([&](TerminalDelegate& d) { shown = d.getColors(*this); });
            const Color& reported = target == 0   ? shown.first
                                    : target == 1 ? shown.second
                                                  : cursorColor_.value_or(shown.first);
            sendResponse(cc.osc(), std::to_string(10 + target) + ";" + reported.formatAsXcolor(), cc.st());
            continue;
        }
        const auto color = Color::parseColor(piece);
        if (!color) continue;
        // The store tells the host once through the property's own
        // notification; the host is then told once more directly.
        if (target == 0) {
            setForegroundColor(*color);
            withDelegate([&](TerminalDelegate& d) { d.setForegroundColor(*this, *color); });
        } else if (target == 1) {
            setBackgroundColor(*color);
            withDelegate([&](TerminalDelegate& d) { d.setBackgroundColor(*this, *color); });
        } else {
            setCursorColor(*color);
            withDelegate([&](TerminalDelegate& d) { d.setCursorColor(*this, *color); });
        }
    }
}

// ---- OSC 104: palette reset ----

void Terminal::oscResetColor(std::span<const uint8_t> data)
{
    if (data.empty()) {
        resetAllColors();
        return;
    }
    if (!isAscii(data)) return;
    for (const std::string_view piece : splitOnSemicolon(textOf(data), true)) {
        // A piece that is not a number resets entry 0.
        const int64_t index = parseDecimal(piece).value_or(0);
        if (index < 0 || index > 255) continue;
        ansiColors[index] = defaultAnsiColors[index];
        withDelegate([&](TerminalDelegate& d) { d.colorChanged(*this, static_cast<int>(index)); });
    }
}

// ---- OSC 7 and 6: current directory and document ----

void Terminal::oscSetCurrentDirectory(std::span<const uint8_t> data)
{
    withDelegate([&](TerminalDelegate& d) {
        if (!d.isProcessTrusted(*this) || !utf8::isValid(data)) return;
        // Stored as sent (usually a file: URL); the host interprets it.
        hostCurrentDirectory = std::string(textOf(data));
        d.hostCurrentDirectoryUpdated(*this);
    });
}

void Terminal::oscSetCurrentDocument(std::span<const uint8_t> data)
{
    withDelegate([&](TerminalDelegate& d) {
        if (!d.isProcessTrusted(*this) || !utf8::isValid(data)) return;
        hostCurrentDocument = std::string(textOf(data));
        d.hostCurrentDocumentUpdated(*this);
    });
}

// ---- OSC 8: hyperlinks ----

void Terminal::oscHyperlink(std::span<const uint8_t> data)
{
    const std::string_view text = textOf(data);
    if (text != ";") {
        // A URI past the limit opens no link, and ends the one that was open.
        const size_t semicolon = text.find(';');
        if (semicolon != std::string_view::npos && text.size() - semicolon - 1 > maxHyperlinkUriBytes) {
            hyperLinkTracking.reset();
            return;
        }
        hyperLinkTracking = HyperLinkTracking{0, 0, isAscii(data) ? std::string(text) : std::string(), std::nullopt};
        restartOpenHyperlink();
        return;
    }
    if (!hyperLinkTracking) return;
    markOpenHyperlink(false);
    hyperLinkTracking.reset();
}

void Terminal::restartOpenHyperlink()
{
    if (!hyperLinkTracking) return;
    // The link covers the cells written while it is open. In the pending-wrap
    // state the first of them goes to the next row, so the start column is
    // left one past the edge and marks nothing on this row; without autowrap
    // the next cell overwrites the last column.
    const Buffer& b = *buffer_;
    int startCol = std::clamp(b.x(), 0, cols_);
    if (startCol == cols_ && !wraparound) startCol = cols_ - 1;
    hyperLinkTracking->startCol = startCol;
    hyperLinkTracking->startRow = b.linesTop + b.yBase() + b.y();
}

void Terminal::markOpenHyperlink(bool throughRowEnd)
{
    if (!hyperLinkTracking) return;
    HyperLinkTracking& link = *hyperLinkTracking;
    Buffer& b = *buffer_;
    const int64_t cursorRow = b.linesTop + b.yBase() + b.y();
    if (cursorRow < link.startRow) return;

    // The last cell written while the link was open is the one left of the
    // cursor (the last column while a wrap is pending); a cursor at the left
    // edge means the link ended on an earlier row.
    const int middleEnd = marginMode ? b.marginRight() : cols_ - 1;
    const int endCol = throughRowEnd ? middleEnd : std::min(b.x(), cols_) - 1;
    auto columnsOf = [&](int64_t row) {
        const int first = row == link.startRow ? link.startCol : 0;
        const int last = row == cursorRow ? endCol : middleEnd;
        return std::make_pair(first, std::min(last, cols_ - 1));
    };

    // Rows that scrolled out of the history since the link was opened are gone.
    const int64_t firstRow = std::max(link.startRow, b.linesTop);
    bool anyCell = false;
    for (int64_t row = firstRow; row <= cursorRow && !anyCell; ++row) {
        const auto [first, last] = columnsOf(row);
        anyCell = first <= last;
    }
    // A link that covers no cell takes no payload id.
    if (!anyCell) return;
    if (!link.atom) {
        // Ids are collected each time as many were taken as the last
        // collection kept, and once more before giving up on a full table.
        if (payloadIdsTaken_ >= std::max(payloadIdsKept_, 256)) collectPayloadIds();
        link.atom = TinyAtom::lookup(std::any(link.payload), this);
        if (!link.atom) {
            collectPayloadIds();
            link.atom = TinyAtom::lookup(std::any(link.payload), this);
        }
        if (!link.atom) return;  // every id is in use; the link is lost
        ++payloadIdsTaken_;
    }
    const TinyAtom atom = *link.atom;
    for (int64_t row = firstRow; row <= cursorRow; ++row) {
        const auto [first, last] = columnsOf(row);
        if (first > last) continue;
        BufferLine& line = b.lines()[row - b.linesTop];
        for (int col = first; col <= last; ++col) line.modify(col, [&](CharData& cell) { cell.payload = atom; });
    }
}

std::optional<std::string> Terminal::parseHyperlinkPayload(std::string_view text)
{
    const size_t semicolon = text.find(';');
    if (semicolon == std::string_view::npos) return std::nullopt;
    return std::string(text.substr(semicolon + 1));
}

// ---- OSC 9 ; 4: progress ----

std::optional<ProgressReport> Terminal::parseProgressReport(std::span<const uint8_t> data)
{
    if (!isAscii(data)) return std::nullopt;
    const auto pieces = splitOnSemicolon(textOf(data), false);
    if (pieces.size() < 2 || pieces[0] != "4") return std::nullopt;
    if (pieces[1].size() != 1) return std::nullopt;
    const auto state = progressReportStateFromRaw(pieces[1][0] - '0');
    if (!state) return std::nullopt;

    int64_t progress = *state == ProgressReportState::set ? 0 : -1;  // -1: none
    if (pieces.size() > 2 && !pieces[2].empty()) {
        const auto value = parseDecimal(pieces[2]);
        if (!value) return std::nullopt;
        progress = std::clamp<int64_t>(*value, 0, 100);
    }
    ProgressReport report;
    report.state = *state;
    if (progress >= 0 && *state != ProgressReportState::remove) report.progress = static_cast<uint8_t>(progress);
    return report;
}

// ---- OSC 777: notifications ----

bool Terminal::oscProgressReport(std::span<const uint8_t> data)
{
    const auto report = parseProgressReport(data);
    if (!report) return false;
    withDelegate([&](TerminalDelegate& d) { d.progressReport(*this, *report); });
    return true;
}

void Terminal::oscNotification(std::span<const uint8_t> data)
{
    if (!utf8::isValid(data)) return;
    const std::string_view text = textOf(data);
    const size_t first = text.find(';');
    if (first == std::string_view::npos || text.substr(0, first) != "notify") return;
    const size_t second = text.find(';', first + 1);
    if (second == std::string_view::npos) return;
    const std::string title(text.substr(first + 1, second - first - 1));
    const std::string body(text.substr(second + 1));
    withDelegate([&](TerminalDelegate& d) { d.notify(*this, title, body); });
}

// ---- OSC 1337: inline images and other content for the host ----

void Terminal::osciTerm2(std::span<const uint8_t> data)
{
    const std::string_view text = textOf(data);
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) return;
    auto toHost = [&] { withDelegate([&](TerminalDelegate& d) { d.iTermContent(*this, data); }); };
    if (text.substr(0, equals) != "File") {
        toHost();
        return;
    }

    const size_t colon = text.find(':', equals + 1);
    if (colon == std::string_view::npos) return;
    const std::string_view arguments = text.substr(equals + 1, colon - equals - 1);
    if (!utf8::isValid(arguments)) {
        toHost();
        return;
    }
    std::optional<std::string_view> inlineValue, width, height, preserveAspectRatio;
    bool anyPair = false;
    for (const std::string_view piece : splitOnSemicolon(arguments, false)) {
        const size_t split = piece.find('=');
        if (split == std::string_view::npos) break;
        anyPair = true;
        const std::string_view name = piece.substr(0, split);
        const std::string_view value = piece.substr(split + 1);
        if (name == "inline") inlineValue = value;
        if (name == "width") width = value;
        if (name == "height") height = value;
        if (name == "preserveAspectRatio") preserveAspectRatio = value;
    }
    if (!anyPair || inlineValue != "1") {
        toHost();
        return;
    }

    const ImageSizeRequest w = parseImageSize(width);
    const ImageSizeRequest h = parseImageSize(height);
    const bool keepAspect = !preserveAspectRatio || *preserveAspectRatio == "1";
    // An image without room (its decoded bytes, the host's pixels) is
    // dropped like one that does not decode; the bytes after it are parsed.
    try {
        const auto image = base64::decode(data.subspan(colon + 1));
        if (!image) return;
        insertLinePicture(
            [&] { withDelegate([&](TerminalDelegate& d) { d.createImage(*this, *image, w, h, keepAspect); }); });
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace corvel
