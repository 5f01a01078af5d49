// Drawing costs of the terminal view without its widget: box-drawing and
// block-element cells, line building of a 200 x 60 screen, full repaints and
// one changed row, for ASCII, SGR-dense and CJK/emoji screens at scale 1 and 2.
// The core headers come before any Qt header: Qt defines `emit` as a macro.
#include "corvel/terminal/Terminal.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <random>
#include <string>

#include "corvel/qt/LineBuilder.h"
#include "corvel/qt/BoxDrawingRenderer.h"
#include "corvel/qt/RowPainter.h"
#include "tests/qt/FakeRunStyles.h"

using namespace corvel;
using namespace corvel::qt;

namespace {

constexpr int kCols = 200;
constexpr int kRows = 60;

class Host : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
};

enum class Content { ascii, sgr, cjk };

std::string screenText(Content content)
{
    std::mt19937 rng(7);
    std::string out;
    const char* cjk[] = {"\u4E2D", "\u6587", "\uD55C", "\uAE00", "\U0001F600", "\U0001F44D", "\u3042"};
    for (int row = 0; row < kRows; ++row) {
        out += "\e[" + std::to_string(row + 1) + ";1H";
        for (int col = 0; col < kCols;) {
            const char ch = static_cast<char>('!' + rng() % 94);
            switch (content) {
            case Content::ascii:
                out += ch;
                ++col;
                break;
            case Content::sgr:
                out += "\e[" + std::to_string(31 + rng() % 7) + ";" + std::to_string(41 + rng() % 7) +
                       (rng() % 4 == 0 ? ";1" : "") + (rng() % 5 == 0 ? ";4" : "") + "m";
                out += ch;
                ++col;
                break;
            case Content::cjk:
                if (rng() % 2 == 0 && col + 2 <= kCols) {
                    out += cjk[rng() % 7];
                    col += 2;
                } else {
                    out += ch;
                    ++col;
                }
                break;
            }
        }
    }
    return out;
}

std::array<QFont, 4> fonts()
{
    std::array<QFont, 4> faces;
    for (int i = 0; i < 4; ++i) {
        QFont f(QStringLiteral("DejaVu Sans Mono"));
        f.setPixelSize(13);
        f.setBold(i == 1 || i == 3);
        f.setItalic(i == 2 || i == 3);
        faces[i] = f;
    }
    return faces;
}

struct Screen {
    std::shared_ptr<Host> host = std::make_shared<Host>();
    std::unique_ptr<Terminal> terminal;
    test::FakeRunStyles styles;
    std::unique_ptr<LineBuilder> builder;

    explicit Screen(Content content)
    {
        TerminalOptions options;
        options.cols = kCols;
        options.rows = kRows;
        terminal = std::make_unique<Terminal>(host, options);
        terminal->feed(screenText(content));
        builder = std::make_unique<LineBuilder>(*terminal, styles);
    }
    const BufferLine& line(int row) { return terminal->displayBuffer().lines()[terminal->displayBuffer().yDisp() + row]; }
};

void BM_LineBuilding(benchmark::State& state)
{
    Screen screen(static_cast<Content>(state.range(0)));
    ViewLineInfo info;
    for (auto _ : state) {
        for (int row = 0; row < kRows; ++row) {
            screen.builder->build(row, screen.line(row), kCols, info);
            benchmark::DoNotOptimize(info.cells.data());
        }
    }
    state.SetLabel(state.range(0) == 0 ? "ascii" : state.range(0) == 1 ? "sgr" : "cjk+emoji");
    state.counters["per_row"] = benchmark::Counter(kRows, benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
}
BENCHMARK(BM_LineBuilding)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

struct Canvas {
    qreal scale;
    int cw, ch;
    QImage image;
    GlyphRunCache glyphs{fonts()};
    RowTextMetrics metrics = RowTextMetrics::fromFonts(glyphs);

    explicit Canvas(qreal s) : scale(s)
    {
        const QRawFont& raw = glyphs.rawFont(FontFace::normal);
        cw = static_cast<int>(std::ceil(raw.advancesForGlyphIndexes(raw.glyphIndexesForString("W"))[0].x() * s));
        ch = static_cast<int>(std::ceil(std::ceil(raw.ascent() + raw.descent() + raw.leading()) * s));
        image = QImage(cw * kCols, ch * kRows, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(s);
        image.fill(Qt::white);
    }
    RowGeometry row(int r) const
    {
        return {r * ch / scale, cw / scale, ch / scale, kCols, cw * kCols / scale, scale};
    }
};

void BM_FullRepaint(benchmark::State& state)
{
    Screen screen(static_cast<Content>(state.range(0)));
    Canvas canvas(state.range(1) / 10.0);
    ViewLineInfo info;
    auto paint = [&] {
        QPainter painter(&canvas.image);
        for (int row = 0; row < kRows; ++row) {
            screen.builder->build(row, screen.line(row), kCols, info);
            RowPainter::drawRow(painter, info, BufferLine::RenderLineMode::single, canvas.row(row), canvas.glyphs,
                                canvas.metrics, {});
        }
    };
    paint();  // fills the glyph cache, as the first paint of a view does
    canvas.glyphs.resetCounters();
    for (auto _ : state) paint();
    const double lookups = double(canvas.glyphs.hits() + canvas.glyphs.misses());
    state.counters["glyph_hit_rate"] = lookups > 0 ? canvas.glyphs.hits() / lookups : 1.0;
    state.counters["per_row"] = benchmark::Counter(kRows, benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
    state.SetLabel(std::string(state.range(0) == 0 ? "ascii" : state.range(0) == 1 ? "sgr" : "cjk+emoji") +
                   " scale " + std::to_string(state.range(1) / 10.0).substr(0, 3));
}
BENCHMARK(BM_FullRepaint)
    ->Args({0, 10})->Args({1, 10})->Args({2, 10})
    ->Args({0, 20})->Args({1, 20})->Args({2, 20})
    ->Unit(benchmark::kMillisecond);

void BM_OneChangedRow(benchmark::State& state)
{
    Screen screen(Content::sgr);
    Canvas canvas(state.range(0) / 10.0);
    ViewLineInfo info;
    QPainter painter(&canvas.image);
    for (auto _ : state) {
        screen.builder->build(30, screen.line(30), kCols, info);
        RowPainter::drawRow(painter, info, BufferLine::RenderLineMode::single, canvas.row(30), canvas.glyphs,
                            canvas.metrics, {});
    }
}
BENCHMARK(BM_OneChangedRow)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);

// 10,000 box-drawing and block-element cells (100 x 100), the mix a
// multiplexer's borders and a block-graphics image produce.
void BM_BoxAndBlockCells(benchmark::State& state)
{
    const qreal scale = state.range(0) / 10.0;
    const int cw = static_cast<int>(8 * scale);
    const int ch = static_cast<int>(17 * scale);
    QImage image(cw * 100, ch * 100, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    const char32_t box[] = {0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524, 0x252C, 0x2534, 0x253C,
                            0x2550, 0x2551, 0x256C, 0x2501, 0x2503};
    const char32_t block[] = {0x2588, 0x2580, 0x2584, 0x258C, 0x2590, 0x2591, 0x2592, 0x2593, 0x2596, 0x259F};
    std::vector<std::vector<BoxDrawingRenderItem>> boxRows(100);
    std::vector<std::vector<BlockElementRenderItem>> blockRows(100);
    for (int r = 0; r < 100; ++r) {
        for (int c = 0; c < 100; ++c) {
            if ((r + c) % 2 == 0) {
                boxRows[r].push_back({c, 1, box[(r * 7 + c) % 16], QColor(Qt::black)});
            } else {
                const char32_t cp = block[(r * 3 + c) % 10];
                blockRows[r].push_back({c, 1, cp, *BlockElementMapping::rects(cp), QColor(Qt::black)});
            }
        }
    }
    CustomGlyphTileCache tiles;  // a view keeps its tiles from paint to paint
    for (auto _ : state) {
        QPainter painter(&image);
        for (int r = 0; r < 100; ++r) {
            const RowGeometry row{r * ch / scale, cw / scale, ch / scale, 100, cw * 100 / scale, scale};
            RowPainter::drawBoxDrawings(painter, boxRows[r], row, BoxDrawingRenderer::baseThicknessPx(scale, 1.0),
                                        &tiles);
            RowPainter::drawBlockElements(painter, blockRows[r], row, false, &tiles);
        }
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_BoxAndBlockCells)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
