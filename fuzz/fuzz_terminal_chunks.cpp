// Feeds the same raw bytes to two terminals, one in a single piece and one
// cut into chunks whose sizes the input chooses: both must end with the same
// screens (text, widths, attributes, links, cursor), the same replies and
// the same calls on their hosts.
#include "corvel/parser/EscapeSequenceParser.h"
#include "TerminalFuzzSupport.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzzsupport::MainQueue mainQueue;
    if (size < 4) return 0;
    corvel::TerminalOptions options;
    options.cols = 2 + data[0] % 20;
    options.rows = 1 + data[1] % 8;
    options.scrollback = data[2] % 10;
    const uint8_t cutSeed = data[3];
    data += 4;
    size -= 4;
    {
        auto wholeHost = std::make_shared<fuzzsupport::Host>();
        corvel::Terminal whole(wholeHost, options);
        whole.parser().setPayloadLimit(size_t{1} << 16);
        whole.feed(std::span<const uint8_t>(data, size));

        auto piecesHost = std::make_shared<fuzzsupport::Host>();
        corvel::Terminal pieces(piecesHost, options);
        pieces.parser().setPayloadLimit(size_t{1} << 16);
        uint32_t state = cutSeed | 1u;
        for (size_t at = 0; at < size;) {
            state = state * 1103515245u + 12345u;
            const size_t step = std::min<size_t>(size - at, 1 + (state >> 16) % 7);
            pieces.feed(std::span<const uint8_t>(data + at, step));
            at += step;
        }

        fuzzsupport::check(fuzzsupport::picture(whole, whole.normalBuffer()) ==
                           fuzzsupport::picture(pieces, pieces.normalBuffer()));
        fuzzsupport::check(fuzzsupport::picture(whole, whole.altBuffer()) ==
                           fuzzsupport::picture(pieces, pieces.altBuffer()));
        fuzzsupport::check(whole.isCurrentBufferAlternate() == pieces.isCurrentBufferAlternate());
        fuzzsupport::check(wholeHost->sent == piecesHost->sent);
        fuzzsupport::check(wholeHost->events == piecesHost->events);
    }
    mainQueue.drain();
    return 0;
}
