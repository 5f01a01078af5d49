// Feeds raw bytes to a whole terminal, so every sequence the emulator knows
// (OSC 8/52/1337, DECRQSS, APC, colon SGR, reports, modes 1049/2026 and the
// rest) is reached through the parser, with a resize half-way through that
// the input chooses. After each part the screen model must be consistent.
#include "corvel/parser/EscapeSequenceParser.h"
#include "TerminalFuzzSupport.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzzsupport::MainQueue mainQueue;
    if (size < 4) return 0;
    corvel::TerminalOptions options;
    options.cols = 2 + data[0] % 30;
    options.rows = 1 + data[1] % 12;
    options.scrollback = data[2] % 4 == 0 ? 0 : data[2] % 20;
    const int newCols = 2 + data[3] % 30;
    const int newRows = 1 + (data[3] >> 5) % 12;
    data += 4;
    size -= 4;
    {
        auto host = std::make_shared<fuzzsupport::Host>();
        corvel::Terminal terminal(host, options);
        // Strings past this are runaway output; fuzzing needs none that long.
        terminal.parser().setPayloadLimit(size_t{1} << 16);
        const size_t half = size / 2;
        terminal.feed(std::span<const uint8_t>(data, half));
        fuzzsupport::checkConsistent(terminal);
        terminal.resize(newCols, newRows);
        fuzzsupport::checkConsistent(terminal);
        terminal.feed(std::span<const uint8_t>(data + half, size - half));
        fuzzsupport::checkConsistent(terminal);
        terminal.garbageCollectPayload();
        fuzzsupport::checkConsistent(terminal);
    }
    mainQueue.drain();
    return 0;
}
