// One frame of the grid's tile headers: 64 tiles with 7 symbols each (status,
// broadcast check, split, split axis, remove split, expand, close), drawn at
// scale 2 into a frame image. "Cold" empties the pixmap cache before every
// frame, so each distinct symbol is rasterised again; "Cached" draws from it.
#include "app/core/TerminalStatus.h"
#include "app/ui/design/DS.h"
#include "app/ui/design/StatusLook.h"
#include "app/ui/icons/SymbolIcons.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>

using namespace tilebay;

namespace {

QGuiApplication& app()
{
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication instance(argc, argv);
    return instance;
}

void drawFrame(QImage& frame)
{
    const QColor text(0x1D, 0x1D, 0x1F);
    QColor secondary = text;
    secondary.setAlphaF(0.5f);
    QPainter p(&frame);
    for (int tile = 0; tile < 64; ++tile) {
        const qreal x0 = (tile % 8) * 200.0, y0 = (tile / 8) * 125.0;
        const StatusLook look = statusLook(allTerminalStatuses[tile % 4]);
        const int s = symbolSize(SymbolScale::small), m = symbolSize(SymbolScale::medium);
        SymbolIcons::draw(p, QRectF(x0 + 10, y0 + 7, s, s), QString::fromLatin1(look.symbol), s,
                          look.colour);
        const bool target = tile % 3 == 0;
        const char* names[] = {target ? "checkmark.circle.fill" : "circle", "rectangle.split.2x1",
                               "arrow.up.left.and.down.right.and.arrow.up.right.and.down.left",
                               "minus.rectangle", "arrow.up.left.and.arrow.down.right", "xmark"};
        qreal x = x0 + 200 - 10 - 6 * (m + 6);
        for (int i = 0; i < 6; ++i, x += m + 6)
            SymbolIcons::draw(p, QRectF(x, y0 + 6, m, m), QString::fromLatin1(names[i]), m,
                              i == 0 ? (target ? DS::orange() : secondary) : text);
    }
}

void BM_TileHeaderSymbolsCold(benchmark::State& state)
{
    app();
    QImage frame(QSize(1600, 1000) * 2, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(2);
    for (auto _ : state) {
        QPixmapCache::clear();
        drawFrame(frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
}
BENCHMARK(BM_TileHeaderSymbolsCold)->Unit(benchmark::kMillisecond);

void BM_TileHeaderSymbolsCached(benchmark::State& state)
{
    app();
    QImage frame(QSize(1600, 1000) * 2, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(2);
    drawFrame(frame);  // fills the cache
    for (auto _ : state) {
        drawFrame(frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
}
BENCHMARK(BM_TileHeaderSymbolsCached)->Unit(benchmark::kMillisecond);

}  // namespace
