// Test entry for the GPU renderer: contexts in one share group (and the GPU
// path registered with the terminal view), then a QApplication (offscreen
// unless the environment names another platform, as the real-context suites
// do) with the Qt main queue installed, so the view's redraw tasks run in the
// event loop, then all tests.
#include <gtest/gtest.h>

#include <QApplication>

#include "corvel/gl/OpenGlSetup.h"
#include "corvel/qt/QtMainQueue.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    corvel::gl::prepareOpenGlApplication();
    QApplication app(argc, argv);
    auto queue = std::make_shared<corvel::QtMainQueue>();
    auto previous = corvel::DispatchQueue::setMain(queue);
    const int result = RUN_ALL_TESTS();
    corvel::DispatchQueue::setMain(previous);
    return result;
}
