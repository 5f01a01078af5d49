// Benchmarks of the GPU renderer's foundation: renderer construction on the
// OpenGL driver, glyphs rasterized and put into a fresh atlas, all Hangul
// syllables paged through a 2048 atlas, atlas growth, and the buffer pool in
// steady aggregated output. Run on an X server (xvfb-run) for the OpenGL
// figures; without one the OpenGL benchmarks are skipped and the atlas ones
// use the recording device.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QRawFont>

#include <memory>
#include <random>

#include "corvel/gl/BufferPool.h"
#include "corvel/gl/GlDevice.h"
#include "corvel/gl/GlyphAtlas.h"
#include "corvel/gl/GlyphRasterizer.h"
#include "corvel/gl/GpuRecords.h"
#include "corvel/gl/MetalTerminalRenderer.h"
#include "corvel/gl/OpenGlSetup.h"
#include "corvel/gl/RecordingGpuDevice.h"

using namespace corvel::gl;

namespace {

// The OpenGL device when there is one, else the recording device.
std::unique_ptr<GpuDevice> anyDevice()
{
    if (auto gl = GlDevice::create()) return gl;
    return std::make_unique<RecordingGpuDevice>();
}

void BM_RendererConstruction(benchmark::State& state)
{
    if (!GlDevice::create()) {
        state.SkipWithError("no OpenGL 3.3 core context");
        return;
    }
    for (auto _ : state) {
        MetalTerminalRenderer renderer(nullptr, nullptr);
        benchmark::DoNotOptimize(renderer.sampler());
    }
}
BENCHMARK(BM_RendererConstruction)->Unit(benchmark::kMillisecond);

// Rasterizes and inserts one glyph; false when the atlas refused it.
bool insert(GlyphAtlas& atlas, const QRawFont& font, quint32 glyph)
{
    auto bitmap = GlyphRasterizer::rasterize(font, glyph);
    if (!bitmap) return true;
    auto region = atlas.ensureRegion(bitmap->width, bitmap->height);
    if (!region) return false;
    atlas.write(*region, bitmap->pixels, bitmap->width, bitmap->height);
    return true;
}

void BM_AsciiGlyphsColdInsert(benchmark::State& state)
{
    // 1,000 distinct glyphs: the printable ASCII characters at eleven sizes.
    std::vector<std::pair<QRawFont, quint32>> glyphs;
    for (int size = 20; glyphs.size() < 1000; ++size) {
        QRawFont font(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"), size);
        for (char32_t c = 0x21; c < 0x7F && glyphs.size() < 1000; ++c)
            glyphs.emplace_back(font, font.glyphIndexesForString(QString(QChar(c))).first());
    }
    auto device = anyDevice();
    for (auto _ : state) {
        auto atlas = GlyphAtlas::create(*device, 1024, 2048, GlyphAtlasFormat::grayscale);
        for (auto& [font, glyph] : glyphs) insert(*atlas, font, glyph);
        benchmark::DoNotOptimize(atlas->nextY());
    }
    state.counters["us_per_glyph"] =
        benchmark::Counter(1000.0 * state.iterations() / 1e6, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AsciiGlyphsColdInsert)->Unit(benchmark::kMillisecond);

void BM_HangulPagedThrough2048(benchmark::State& state)
{
    // NanumGothic at 16 points at scale 2.
    QRawFont font(QStringLiteral("/usr/share/fonts/truetype/nanum/NanumGothic.ttf"), 2 * 16 * 96.0 / 72.0);
    std::vector<quint32> glyphs;
    for (char32_t c = 0xAC00; c <= 0xD7A3; ++c)
        glyphs.push_back(font.glyphIndexesForString(QString::fromUcs4(&c, 1)).first());
    auto device = anyDevice();
    int resets = 0;
    for (auto _ : state) {
        auto atlas = GlyphAtlas::create(*device, 1024, 2048, GlyphAtlasFormat::grayscale);
        resets = 0;
        for (quint32 glyph : glyphs) {
            insert(*atlas, font, glyph);
            resets += atlas->didReset();
        }
    }
    state.counters["glyphs"] = double(glyphs.size());
    state.counters["resets"] = resets;
    state.counters["us_per_glyph"] = benchmark::Counter(double(glyphs.size()) * state.iterations() / 1e6,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HangulPagedThrough2048)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AtlasGrowth1024To2048(benchmark::State& state)
{
    auto device = anyDevice();
    for (auto _ : state) {
        state.PauseTiming();
        auto atlas = GlyphAtlas::create(*device, 1024, 2048, state.range(0) ? GlyphAtlasFormat::bgra
                                                                                               : GlyphAtlasFormat::grayscale);
        atlas->ensureRegion(1024, 1024);
        state.ResumeTiming();
        atlas->ensureRegion(10, 10);  // grows to 2048
        benchmark::DoNotOptimize(atlas->size());
        state.PauseTiming();
        atlas.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AtlasGrowth1024To2048)->Arg(0)->Arg(1)->ArgName("bgra")->Unit(benchmark::kMillisecond);

// A 160 x 48 screen of changing output: every frame a few thousand glyph
// cells, backgrounds and some underlines, their counts varying a little.
void BM_PoolSteadyAggregatedOutput(benchmark::State& state)
{
    auto device = anyDevice();
    BufferPool pool(*device);
    std::mt19937 random(7);
    std::vector<TextCell> glyphs;
    std::vector<ColorCell> backgrounds, decorations;
    const auto frame = [&] {
        pool.pollCompletions();
        pool.beginFrame();
        glyphs.resize(5000 + random() % 200);
        backgrounds.resize(300 + random() % 60);
        decorations.resize(20 + random() % 20);
        pool.makeBuffer(std::span<const TextCell>(glyphs));
        pool.makeBuffer(std::span<const ColorCell>(backgrounds));
        pool.makeBuffer(std::span<const ColorCell>(decorations));
        pool.commit();
        if (auto* recording = dynamic_cast<RecordingGpuDevice*>(device.get())) recording->signalAllFences();
    };
    for (int i = 0; i < 2000; ++i) frame();  // warm up
    const auto before = pool.allocations();
    std::size_t frames = 0;
    for (auto _ : state) {
        frame();
        ++frames;
    }
    state.counters["allocations_per_frame"] = double(pool.allocations() - before) / double(frames);
    state.counters["idle_bytes"] = double(pool.idleBytes());
}
BENCHMARK(BM_PoolSteadyAggregatedOutput)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    prepareOpenGlApplication();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
