// Drawing costs of a whole TerminalView: a full repaint of a 200 x 60 view
// holding ASCII, SGR-dense or CJK/emoji text at scale 1 and 2 (with the
// per-row cost and the glyph cache's hit rate), one changed row found through
// the terminal's dirty range, 10,000 box-drawing and block-element cells, and
// a screen of true-colour half blocks.
// Scale 2 paints into an image of device pixel ratio 2, as a HiDPI window does.
#include "bench/support/BenchFont.h"
#include "corvel/qt/TerminalView.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <random>
#include <string>

using namespace corvel;

namespace {

constexpr int kCols = 200;
constexpr int kRows = 60;

enum class Content { ascii, sgr, cjk };

const char* label(Content content)
{
    return content == Content::ascii ? "ascii" : content == Content::sgr ? "sgr" : "cjk+emoji";
}

std::string screenText(Content content, int cols, int rows)
{
    std::mt19937 rng(7);
    std::string out;
    const char* wide[] = {"\u4E2D", "\u6587", "\uD55C", "\uAE00", "\U0001F600", "\U0001F44D", "\u3042"};
    for (int row = 0; row < rows; ++row) {
        out += "\x1b[" + std::to_string(row + 1) + ";1H";
        for (int col = 0; col < cols;) {
            const char ch = static_cast<char>('!' + rng() % 94);
            if (content == Content::sgr) {
                out += "\x1b[" + std::to_string(31 + rng() % 7) + ";" + std::to_string(41 + rng() % 7) +
                       (rng() % 4 == 0 ? ";1" : "") + (rng() % 5 == 0 ? ";4" : "") + "m";
            }
            if (content == Content::cjk && rng() % 2 == 0 && col + 2 <= cols) {
                out += wide[rng() % 7];
                col += 2;
            } else {
                out += ch;
                ++col;
            }
        }
    }
    return out;
}

std::unique_ptr<TerminalView> makeView(int cols, int rows)
{
    auto view = std::make_unique<TerminalView>(QRect(0, 0, 800, 600), bench::benchFont(13));
    view->resizeTerminal(cols, rows);
    view->resize(view->getOptimalFrameSize().size().toSize());
    view->getTerminal().feed("\x1b[?25l");
    return view;
}

QImage canvas(const TerminalView& view, qreal scale)
{
    QImage image(QSize(qCeil(view.width() * scale), qCeil(view.height() * scale)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::black);
    return image;
}

void BM_ViewFullRepaint(benchmark::State& state)
{
    const auto content = static_cast<Content>(state.range(0));
    const qreal scale = state.range(1) / 10.0;
    auto view = makeView(kCols, kRows);
    view->getTerminal().feed(screenText(content, kCols, kRows));
    QImage image = canvas(*view, scale);
    QPainter painter(&image);
    view->drawTerminalContents(painter, view->rect());  // the first paint fills the glyph cache
    const auto hits0 = view->glyphCache()->hits();
    const auto misses0 = view->glyphCache()->misses();
    for (auto _ : state) view->drawTerminalContents(painter, view->rect());
    const double hits = double(view->glyphCache()->hits() - hits0);
    const double lookups = hits + double(view->glyphCache()->misses() - misses0);
    state.counters["glyph_hit_rate"] = lookups > 0 ? hits / lookups : 1.0;
    state.counters["per_row"] = benchmark::Counter(kRows, benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
    state.SetLabel(std::string(label(content)) + " scale " + std::to_string(state.range(1) / 10));
}
BENCHMARK(BM_ViewFullRepaint)
    ->Args({0, 10})->Args({1, 10})->Args({2, 10})
    ->Args({0, 20})->Args({1, 20})->Args({2, 20})
    ->Unit(benchmark::kMillisecond);

// A program rewrites one row; the view draws the band its dirty range names.
void BM_ViewOneChangedRow(benchmark::State& state)
{
    const qreal scale = state.range(0) / 10.0;
    auto view = makeView(kCols, kRows);
    Terminal& terminal = view->getTerminal();
    terminal.feed(screenText(Content::sgr, kCols, kRows));
    const std::string rowText = screenText(Content::sgr, kCols, 1);
    const std::string update = "\x1b[31;1H" + rowText.substr(rowText.find('H') + 1);
    QImage image = canvas(*view, scale);
    QPainter painter(&image);
    view->drawTerminalContents(painter, view->rect());
    terminal.clearUpdateRange();
    for (auto _ : state) {
        terminal.feed(update);
        const auto range = terminal.getUpdateRange();
        terminal.clearUpdateRange();
        view->drawTerminalContents(painter, view->rowsRegion(range->first, range->second));
    }
    state.SetLabel("sgr scale " + std::to_string(state.range(0) / 10));
}
BENCHMARK(BM_ViewOneChangedRow)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);

// 100 x 100 cells of box-drawing and block-element characters.
void BM_ViewBoxAndBlockCells(benchmark::State& state)
{
    const qreal scale = state.range(0) / 10.0;
    auto view = makeView(100, 100);
    const char* glyphs[] = {"─", "│", "┌", "┐", "└", "┘", "├", "┤", "┬", "┴", "┼", "═", "║", "╬",
                            "█", "▀", "▄", "▌", "▐", "░", "▒", "▓", "▖", "▟"};
    std::string text;
    for (int row = 0; row < 100; ++row) {
        text += "\x1b[" + std::to_string(row + 1) + ";1H";
        for (int col = 0; col < 100; ++col) text += glyphs[(row * 7 + col) % 24];
    }
    view->getTerminal().feed(text);
    QImage image = canvas(*view, scale);
    QPainter painter(&image);
    for (auto _ : state) view->drawTerminalContents(painter, view->rect());
    state.SetItemsProcessed(state.iterations() * 10000);
    state.SetLabel("scale " + std::to_string(state.range(0) / 10));
}
BENCHMARK(BM_ViewBoxAndBlockCells)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// An image printed as half blocks in true colour, as image viewers print to
// a terminal: every cell its own foreground and background, so no two block
// cells share a tile.
void BM_ViewTrueColourHalfBlocks(benchmark::State& state)
{
    const qreal scale = state.range(0) / 10.0;
    auto view = makeView(kCols, kRows);
    std::string text;
    for (int row = 0; row < kRows; ++row) {
        text += "\x1b[" + std::to_string(row + 1) + ";1H";
        for (int col = 0; col < kCols; ++col) {
            const int r = col * 255 / kCols, g = row * 255 / kRows, b = (col * row) % 256;
            text += "\x1b[38;2;" + std::to_string(r) + ";" + std::to_string(g) + ";" + std::to_string(b) + "m";
            text += "\x1b[48;2;" + std::to_string(b) + ";" + std::to_string(r) + ";" + std::to_string(g) + "m";
            text += "\u2580";
        }
    }
    view->getTerminal().feed(text);
    QImage image = canvas(*view, scale);
    QPainter painter(&image);
    for (auto _ : state) view->drawTerminalContents(painter, view->rect());
    state.SetLabel("scale " + std::to_string(state.range(0) / 10));
}
BENCHMARK(BM_ViewTrueColourHalfBlocks)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
