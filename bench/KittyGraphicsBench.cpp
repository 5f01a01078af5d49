// What Kitty graphics transmissions cost through the emulator: a 3840×2160
// RGBA image sent as 4096-byte chunks of base64, plain and zlib-compressed,
// from the first byte to the stored image; checking and decoding a 4K PNG;
// refusing a zlib bomb. "peakMB" is the growth of the process's peak resident
// memory during one transmission (Linux), "rawMB" the image's raw size.
#include <benchmark/benchmark.h>

#include "corvel/kitty/KittyGraphicsState.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/kitty/KittyGraphicsDecoding.h"
#include "corvel/kitty/KittyGraphicsPng.h"
#include "corvel/platform/Base64.h"

#include <malloc.h>
#include <png.h>
#include <zlib.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace corvel;

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;

class NullHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

// A photo-like test image: smooth gradients with a little noise, opaque but
// for a translucent band.
std::vector<uint8_t> makePixels()
{
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1103515245 + 12345;
            uint8_t* p = &pixels[(static_cast<size_t>(y) * kWidth + x) * 4];
            p[0] = static_cast<uint8_t>(x * 255 / kWidth + (noise >> 29));
            p[1] = static_cast<uint8_t>(y * 255 / kHeight);
            p[2] = static_cast<uint8_t>((x + y) >> 5);
            p[3] = (y / 100) % 5 == 0 ? 128 : 255;
        }
    return pixels;
}

std::vector<uint8_t> zlibOf(const std::vector<uint8_t>& bytes, int level)
{
    uLongf length = compressBound(bytes.size());
    std::vector<uint8_t> out(length);
    compress2(out.data(), &length, bytes.data(), bytes.size(), level);
    out.resize(length);
    return out;
}

// The APC strings of one transmission: the keys on the first chunk, m=1 on
// every chunk but the last.
std::string chunkedCommand(const std::string& keys, const std::string& base64Text)
{
    constexpr size_t kChunk = 4096;
    std::string out;
    for (size_t at = 0; at < base64Text.size(); at += kChunk) {
        const bool last = at + kChunk >= base64Text.size();
        out += "\x1b_G";
        if (at == 0) out += keys + ",";
        out += last ? "m=0;" : "m=1;";
        out.append(base64Text, at, kChunk);
        out += "\x1b\\";
    }
    return out;
}

size_t statusField(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::stoull(line.substr(std::string(field).size())) * 1024;
    return 0;
}

// Runs `work` once with the peak count restarted; the peak's growth in MB.
template <class F>
double peakGrowthMB(F&& work)
{
    // Free heap memory goes back to the system first, so reusing it counts.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const size_t before = statusField("VmRSS:");
    work();
    const size_t peak = statusField("VmHWM:");
    return peak > before ? static_cast<double>(peak - before) / (1 << 20) : 0.0;
}

void transmit(benchmark::State& state, bool compressed)
{
    const std::vector<uint8_t> pixels = makePixels();
    const std::string keys = std::string("a=t,f=32,i=1,q=2,s=") + std::to_string(kWidth) +
                             ",v=" + std::to_string(kHeight) + (compressed ? ",o=z" : "");
    const std::string command = chunkedCommand(keys, base64::encode(compressed ? zlibOf(pixels, 1) : pixels));
    auto host = std::make_shared<NullHost>();
    Terminal terminal(host);
    const auto send = [&] {
        terminal.feed(command);
        if (!terminal.kittyGraphicsState.imagesById.contains(1)) state.SkipWithError("not stored");
        terminal.kittyGraphicsState.imagesById.clear();
        terminal.kittyGraphicsState.totalImageBytes = 0;
    };
    const double peak = peakGrowthMB(send);
    for (auto _ : state) send();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pixels.size()));
    state.counters["peakMB"] = peak;
    state.counters["rawMB"] = static_cast<double>(pixels.size()) / (1 << 20);
    state.counters["sentMB"] = static_cast<double>(command.size()) / (1 << 20);
}

void BM_KittyTransmit4kPlain(benchmark::State& state)
{
    transmit(state, false);
}
BENCHMARK(BM_KittyTransmit4kPlain)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_KittyTransmit4kZlib(benchmark::State& state)
{
    transmit(state, true);
}
BENCHMARK(BM_KittyTransmit4kZlib)->Unit(benchmark::kMillisecond)->UseRealTime();

std::vector<uint8_t> pngOf(const std::vector<uint8_t>& pixels)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr);
    out.resize(size);
    return out;
}

void BM_KittyPng4kValidate(benchmark::State& state)
{
    const std::vector<uint8_t> png = pngOf(makePixels());
    for (auto _ : state) benchmark::DoNotOptimize(validateKittyPngDimensions(png));
    state.counters["pngMB"] = static_cast<double>(png.size()) / (1 << 20);
}
BENCHMARK(BM_KittyPng4kValidate)->Unit(benchmark::kMicrosecond);

void BM_KittyPng4kDecode(benchmark::State& state)
{
    const std::vector<uint8_t> png = pngOf(makePixels());
    for (auto _ : state) {
        auto decoded = decodePngToRgba(png);
        if (!decoded) state.SkipWithError("did not decode");
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_KittyPng4kDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

// About 1 MB of zlib that inflates to 1 GiB of zeros, sent as PNG data.
void BM_KittyBombRefused(benchmark::State& state)
{
    const std::vector<uint8_t> zeros(size_t{64} << 20);
    z_stream stream{};
    deflateInit(&stream, Z_BEST_COMPRESSION);
    std::vector<uint8_t> bomb(size_t{2} << 20);
    stream.next_out = bomb.data();
    stream.avail_out = static_cast<uInt>(bomb.size());
    for (int i = 0; i < 16; ++i) {
        stream.next_in = const_cast<Bytef*>(zeros.data());
        stream.avail_in = static_cast<uInt>(zeros.size());
        deflate(&stream, i == 15 ? Z_FINISH : Z_NO_FLUSH);
    }
    bomb.resize(stream.total_out);
    deflateEnd(&stream);
    const std::string command = chunkedCommand("a=t,f=100,o=z,i=1", base64::encode(bomb));
    auto host = std::make_shared<NullHost>();
    Terminal terminal(host);
    const auto send = [&] {
        terminal.feed(command);
        if (!terminal.kittyGraphicsState.imagesById.empty()) state.SkipWithError("stored");
    };
    const double peak = peakGrowthMB(send);
    for (auto _ : state) send();
    state.counters["peakMB"] = peak;
    state.counters["bombMB"] = static_cast<double>(bomb.size()) / (1 << 20);
}
BENCHMARK(BM_KittyBombRefused)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
