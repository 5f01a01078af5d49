// Speed of the sixel decoder on its own (collect, measure, paint; the sink
// does nothing): a 1000 x 1000 picture of about 1 MB as img2sixel writes it,
// 320 x 240 frames (items per second are frames per second), and a repeat
// count far past the side limit.
//
// The pictures are ImageMagick plasma images encoded by img2sixel, made once
// in a temporary folder; where either program is missing a synthetic stream
// of the same shape (256 registers, one run per colour and band) stands in,
// and the label says so.
#include "corvel/screen/Color.h"
#include "corvel/kitty/SixelDcsHandler.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

using corvel::SixelDcsHandler;

struct Stream {
    std::string bytes;
    std::string label;
};

std::string runToString(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[65536];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        if (::pclose(pipe) != 0) out.clear();
    }
    return out;
}

// A stream shaped like an encoder's: 256 registers defined up front, then
// for every band one run per register present, separated by '$'.
std::string synthetic(int width, int height)
{
    std::mt19937 rng(7);
    std::string out;
    for (int r = 0; r < 256; ++r) out += "#" + std::to_string(r) + ";2;" + std::to_string(rng() % 101) + ";" +
                                         std::to_string(rng() % 101) + ";" + std::to_string(rng() % 101);
    for (int band = 0; band < (height + 5) / 6; ++band) {
        for (int layer = 0; layer < 16; ++layer) {
            out += "#" + std::to_string(rng() % 256);
            for (int x = 0; x < width;) {
                const int count = 1 + static_cast<int>(rng() % 12);
                out += "!" + std::to_string(count) + static_cast<char>(0x3F + rng() % 64);
                x += count;
            }
            out += "$";
        }
        out += "-";
    }
    return out;
}

// The payload of the DCS string (what follows the 'q', up to the terminator).
Stream picture(int width, int height, const char* blur)
{
    if (access("/usr/bin/convert-im6.q16", X_OK) == 0 && access("/usr/bin/img2sixel", X_OK) == 0) {
        char dir[] = "/tmp/sixel-bench-XXXXXX";
        if (::mkdtemp(dir)) {
            const std::string png = std::string(dir) + "/picture.png";
            const std::string size = std::to_string(width) + "x" + std::to_string(height);
            const std::string make = "/usr/bin/convert-im6.q16 -size " + size + " -seed 7 plasma:fractal -blur " +
                                     blur + " '" + png + "'";
            std::string sixel;
            if (std::system(make.c_str()) == 0) sixel = runToString("/usr/bin/img2sixel '" + png + "'");
            std::system(("rm -rf '" + std::string(dir) + "'").c_str());
            const size_t q = sixel.find('q');
            const size_t end = sixel.rfind("\x1b\\");
            if (q != std::string::npos && end != std::string::npos && end > q)
                return {sixel.substr(q + 1, end - q - 1), "img2sixel " + size};
        }
    }
    return {synthetic(width, height), "synthetic " + std::to_string(width) + "x" + std::to_string(height)};
}

void decode(benchmark::State& state, const Stream& stream)
{
    const auto colors = corvel::Color::generateXtermPalette(corvel::Color::terminalAppColors);
    int width = 0;
    int height = 0;
    SixelDcsHandler handler(colors, [&](std::vector<uint8_t>& pixels, int w, int h) {
        benchmark::DoNotOptimize(pixels.data());
        width = w;
        height = h;
    });
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(stream.bytes.data()), stream.bytes.size());
    for (auto _ : state) {
        handler.hook({}, {}, 'q');
        handler.put(bytes);
        handler.unhook();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetLabel(stream.label + " -> " + std::to_string(width) + "x" + std::to_string(height) + ", " +
                   std::to_string(bytes.size()) + " bytes");
}

void BM_SixelMegabytePicture(benchmark::State& state)
{
    static const Stream stream = picture(1000, 1000, "0x1");
    decode(state, stream);
}
BENCHMARK(BM_SixelMegabytePicture)->Unit(benchmark::kMillisecond);

void BM_SixelFrames320x240(benchmark::State& state)
{
    static const Stream stream = picture(320, 240, "0x1");
    decode(state, stream);
}
BENCHMARK(BM_SixelFrames320x240)->Unit(benchmark::kMillisecond);

void BM_SixelHugeRepeat(benchmark::State& state)
{
    static const Stream stream{"#0!2000000000~", "#0!2000000000~"};
    decode(state, stream);
}
BENCHMARK(BM_SixelHugeRepeat)->Unit(benchmark::kMicrosecond);

}  // namespace
