// The host that terminal tests attach: a TerminalDelegate that records every
// reply and every callback a test may look at, and answers what the test set.
// Single-threaded, like the terminal it is attached to; tests own it through a
// shared_ptr and the terminal holds it weakly.
//
// `events` holds the notable callbacks as short texts in the order they came;
// scrolling, cursor styles and window commands, which come often, have lists
// of their own so that they do not crowd `events`.
#pragma once

#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalDelegate.h"

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace corvel::testing {

class TestHost : public TerminalDelegate {
public:
    // One entry per `send` or `sendReply`: each reply whole.
    std::vector<std::string> sent;
    // How many of them came through `sendReply` (answers a host may drop).
    size_t answers = 0;
    std::vector<std::string> events;
    std::vector<int> scrolls;
    std::vector<CursorStyle> styles;
    std::vector<WindowManipulationCommand> offered;

    // Answers: whether the program is trusted, the reply to a window command
    // (none lets the terminal answer), the cell size and the colours shown
    // (none: the terminal's own).
    bool trusted = true;
    std::optional<std::vector<uint8_t>> windowAnswer;
    std::optional<CellSize> cell;
    std::optional<std::pair<Color, Color>> shown;

    // Every reply so far, joined.
    std::string sentBytes() const
    {
        std::string all;
        for (const std::string& reply : sent) all += reply;
        return all;
    }

    void send(Terminal&, std::span<const uint8_t> data) override { sent.emplace_back(data.begin(), data.end()); }
    void sendReply(Terminal& source, std::span<const uint8_t> data) override
    {
        ++answers;
        send(source, data);
    }
    void showCursor(Terminal&) override { events.push_back("showCursor"); }
    void hideCursor(Terminal&) override { events.push_back("hideCursor"); }
    void setTerminalTitle(Terminal&, const std::string& title) override { events.push_back("title " + title); }
    void setTerminalIconTitle(Terminal&, const std::string& title) override { events.push_back("iconTitle " + title); }
    void sizeChanged(Terminal&) override { events.push_back("sizeChanged"); }
    void bufferActivated(Terminal&) override { events.push_back("bufferActivated"); }
    void synchronizedOutputChanged(Terminal&, bool active) override
    {
        events.push_back(active ? "synchronizedOutput on" : "synchronizedOutput off");
    }
    void bell(Terminal&) override { events.push_back("bell"); }
    void mouseModeChanged(Terminal&) override { events.push_back("mouseModeChanged"); }
    void clipboardCopy(Terminal&, std::span<const uint8_t> content) override
    {
        events.push_back("clipboard " + std::string(content.begin(), content.end()));
    }
    bool isProcessTrusted(Terminal&) override { return trusted; }
    void hostCurrentDirectoryUpdated(Terminal& source) override
    {
        events.push_back("directory " + source.hostCurrentDirectory.value_or("(none)"));
    }
    void hostCurrentDocumentUpdated(Terminal& source) override
    {
        events.push_back("document " + source.hostCurrentDocument.value_or("(none)"));
    }
    void colorChanged(Terminal&, std::optional<int> idx) override
    {
        events.push_back("colorChanged " + (idx ? std::to_string(*idx) : std::string("all")));
    }
    // The colour setters record the call and then store, as the default does.
    void setForegroundColor(Terminal& source, const Color& color) override
    {
        events.push_back("setForegroundColor " + color.formatAsXcolor());
        TerminalDelegate::setForegroundColor(source, color);
    }
    void setBackgroundColor(Terminal& source, const Color& color) override
    {
        events.push_back("setBackgroundColor " + color.formatAsXcolor());
        TerminalDelegate::setBackgroundColor(source, color);
    }
    void setCursorColor(Terminal& source, const std::optional<Color>& color) override
    {
        events.push_back("setCursorColor " + (color ? color->formatAsXcolor() : std::string("none")));
        TerminalDelegate::setCursorColor(source, color);
    }
    std::pair<Color, Color> getColors(Terminal& source) override
    {
        return shown ? *shown : TerminalDelegate::getColors(source);
    }
    void notify(Terminal&, const std::string& title, const std::string& body) override
    {
        events.push_back("notify " + title + "|" + body);
    }
    void progressReport(Terminal&, const ProgressReport& report) override
    {
        static const char* const states[] = {"remove", "set", "error", "indeterminate", "pause"};
        events.push_back(std::string("progress ") + states[static_cast<int>(report.state)] + " " +
                         (report.progress ? std::to_string(*report.progress) : std::string("none")));
    }
    void iTermContent(Terminal&, std::span<const uint8_t> content) override
    {
        events.push_back("iTermContent " + std::string(content.begin(), content.end()));
    }
    void createImage(Terminal&, std::span<const uint8_t> data, ImageSizeRequest width, ImageSizeRequest height,
                     bool preserveAspectRatio) override
    {
        events.push_back("createImage " + std::string(data.begin(), data.end()) + " " + sizeText(width) + " " +
                         sizeText(height) + (preserveAspectRatio ? " keep-aspect" : " stretch"));
    }
    void scrolled(Terminal&, int yDisp) override { scrolls.push_back(yDisp); }
    void cursorStyleChanged(Terminal&, CursorStyle style) override { styles.push_back(style); }
    std::optional<std::vector<uint8_t>> windowCommand(Terminal&, const WindowManipulationCommand& command) override
    {
        offered.push_back(command);
        return windowAnswer;
    }
    std::optional<CellSize> cellSizeInPixels(Terminal&) override { return cell; }

private:
    static std::string sizeText(ImageSizeRequest size)
    {
        switch (size.kind) {
        case ImageSizeRequest::Kind::cells: return "cells(" + std::to_string(size.value) + ")";
        case ImageSizeRequest::Kind::pixels: return "pixels(" + std::to_string(size.value) + ")";
        case ImageSizeRequest::Kind::percent: return "percent(" + std::to_string(size.value) + ")";
        case ImageSizeRequest::Kind::automatic: break;
        }
        return "auto";
    }
};

// Options for a terminal of this size and scrollback, the rest at defaults.
inline TerminalOptions sized(int cols, int rows, int scrollback = 500)
{
    TerminalOptions options;
    options.cols = cols;
    options.rows = rows;
    options.scrollback = scrollback;
    return options;
}

}  // namespace corvel::testing
