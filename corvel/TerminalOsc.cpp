// OSC commands other than the titles and the clipboard: palette colours,
// current directory and document, hyperlinks, progress, default colours,
// notifications and inline-image payloads.
#include "corvel/Terminal.h"

namespace corvel {

// Not implemented yet: these commands are accepted and change nothing.
void Terminal::oscChangeOrQueryColorIndex(std::span<const uint8_t>) {}
void Terminal::oscSetCurrentDocument(std::span<const uint8_t>) {}
void Terminal::oscSetCurrentDirectory(std::span<const uint8_t>) {}
void Terminal::oscHyperlink(std::span<const uint8_t>) {}
// No progress report is recognised yet, so OSC 9 goes to the fallback.
std::optional<ProgressReport> Terminal::parseProgressReport(std::span<const uint8_t>) { return std::nullopt; }
void Terminal::oscSetColors(std::span<const uint8_t>, int) {}
void Terminal::oscResetColor(std::span<const uint8_t>) {}
void Terminal::oscNotification(std::span<const uint8_t>) {}
void Terminal::osciTerm2(std::span<const uint8_t>) {}

}  // namespace corvel
