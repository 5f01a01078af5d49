// The body of a Qt benchmark program's main: a QApplication (offscreen unless
// the environment names a platform) with the Qt main queue installed, so that
// timers, redraws and process output run in the application's event loop
// while the benchmarks run. Header-only, for bench/ programs.
#pragma once

#include "corvel/platform/Dispatch.h"
#include "corvel/qt/QtMainQueue.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace bench {

inline int runQtBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto queue = std::make_shared<corvel::QtMainQueue>();
    auto previous = corvel::DispatchQueue::setMain(queue);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    corvel::DispatchQueue::setMain(previous);
    return 0;
}

}  // namespace bench
