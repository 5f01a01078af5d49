// The callbacks through which a terminal tells its host what the program in
// it asked for, and asks the host for what only the host knows.
//
// The terminal holds its delegate weakly (std::weak_ptr) and skips every call
// once the host is gone. Calls are synchronous, on the thread that feeds the
// terminal; a host may read the terminal from a callback but must not feed it.
// Every operation but `send` has a default, so a host overrides only what it
// needs.
#pragma once

#include "corvel/screen/Color.h"
#include "corvel/terminal/CursorStyle.h"
#include "corvel/screen/ImageSizeRequest.h"
#include "corvel/terminal/ProgressReport.h"
#include "corvel/terminal/WindowManipulationCommand.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace corvel {

class Terminal;

class TerminalDelegate {
public:
    // Width and height of one cell in pixels.
    struct CellSize {
        int width = 0;
        int height = 0;
        bool operator==(const CellSize&) const = default;
    };

    virtual ~TerminalDelegate();

    virtual void showCursor(Terminal& source);
    virtual void hideCursor(Terminal& source);
    virtual void setTerminalTitle(Terminal& source, const std::string& title);
    virtual void setTerminalIconTitle(Terminal& source, const std::string& title);
    // Reply bytes for the program, or none to let the terminal answer itself.
    virtual std::optional<std::vector<uint8_t>> windowCommand(Terminal& source,
                                                              const WindowManipulationCommand& command);
    virtual void sizeChanged(Terminal& source);
    // Bytes for the program in the terminal that the user's actions make:
    // mouse and focus reports.
    virtual void send(Terminal& source, std::span<const uint8_t> data) = 0;
    // The terminal's answer to a request of the program. A host may drop it
    // while the program leaves too much unread. Default: send().
    virtual void sendReply(Terminal& source, std::span<const uint8_t> data);
    virtual void scrolled(Terminal& source, int yDisp);
    virtual void linefeed(Terminal& source);
    virtual void bufferActivated(Terminal& source);
    virtual void synchronizedOutputChanged(Terminal& source, bool active);
    virtual void bell(Terminal& source);
    virtual void selectionChanged(Terminal& source);
    // Asked before a current directory or document from the program is accepted.
    virtual bool isProcessTrusted(Terminal& source);
    virtual std::optional<CellSize> cellSizeInPixels(Terminal& source);
    virtual void mouseModeChanged(Terminal& source);
    virtual void cursorStyleChanged(Terminal& source, CursorStyle newStyle);
    virtual void hostCurrentDirectoryUpdated(Terminal& source);
    virtual void hostCurrentDocumentUpdated(Terminal& source);
    // A palette entry changed, or the whole palette when `idx` is absent.
    virtual void colorChanged(Terminal& source, std::optional<int> idx);
    // The three colour setters default to storing the colour in the terminal's
    // own property; the terminal's re-entry guards make that safe.
    virtual void setForegroundColor(Terminal& source, const Color& color);
    virtual void setBackgroundColor(Terminal& source, const Color& color);
    virtual void setCursorColor(Terminal& source, const std::optional<Color>& color);
    // The colours shown: (foreground, background).
    virtual std::pair<Color, Color> getColors(Terminal& source);
    // The payload of an OSC 1337 sequence.
    virtual void iTermContent(Terminal& source, std::span<const uint8_t> content);
    virtual void clipboardCopy(Terminal& source, std::span<const uint8_t> content);
    virtual void notify(Terminal& source, const std::string& title, const std::string& body);
    virtual void progressReport(Terminal& source, const ProgressReport& report);
    // RGBA pixels, rows from the top; the host may use the bytes in place.
    virtual void createImageFromBitmap(Terminal& source, std::vector<uint8_t>& bytes, int width, int height);
    // An encoded image with the size the program asked for.
    virtual void createImage(Terminal& source, std::span<const uint8_t> data, ImageSizeRequest width,
                             ImageSizeRequest height, bool preserveAspectRatio);
};

}  // namespace corvel
