// Saving a layout of 100 cells: encoding plus the atomic write (temporary
// file, flush to disk, rename) into a temporary data folder.
#include "app/persistence/LayoutStore.h"

#include "bench/support/TempDataHome.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

using namespace tilebay;

namespace {

LayoutDoc hundredCells()
{
    LayoutDoc doc;
    for (int i = 0; i < 100; ++i) {
        CellRecord cell;
        cell.internalId = "cell" + std::to_string(i) + "abcdefghij";
        cell.projectLabel = "project " + std::to_string(i);
        cell.cwd = "/home/user/src/project-" + std::to_string(i);
        cell.startCommand = "npm run dev -- --port " + std::to_string(3000 + i);
        if (i % 4 == 0) {
            cell.adapterKind = AdapterKind::iterm2;
            cell.externalRef = "w0t" + std::to_string(i) + "p0:ABCDEF";
        }
        doc.cells.push_back(cell);
    }
    doc.profiles = {{"p1", "Dev", "/home/user/dev", "make watch"}};
    doc.assignGridPositions();
    return doc;
}

void encodeHundredCells(benchmark::State& state)
{
    const LayoutDoc doc = hundredCells();
    for (auto _ : state) benchmark::DoNotOptimize(doc.encode());
}

void saveHundredCells(benchmark::State& state)
{
    bench::TempDataHome home;
    const LayoutDoc doc = hundredCells();
    const LayoutStore store;
    for (auto _ : state) store.save(doc);
}

}  // namespace

BENCHMARK(encodeHundredCells)->Unit(benchmark::kMillisecond);
BENCHMARK(saveHundredCells)->Unit(benchmark::kMillisecond);
