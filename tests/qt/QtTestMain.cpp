// Test main of the Qt view tests: a QApplication (offscreen unless the
// environment names a platform) with the Qt main queue installed, so that
// timers and redraw tasks run in the application's event loop.
#include "corvel/qt/QtMainQueue.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto queue = std::make_shared<corvel::QtMainQueue>();
    auto previous = corvel::DispatchQueue::setMain(queue);
    const int result = RUN_ALL_TESTS();
    corvel::DispatchQueue::setMain(previous);
    return result;
}
