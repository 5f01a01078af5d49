// Test entry for the GPU renderer: contexts in one share group, then a
// QApplication (offscreen unless the environment names another platform,
// as the real-context suites do), then all tests.
#include <gtest/gtest.h>

#include <QApplication>

#include "corvel/gl/OpenGlSetup.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    corvel::gl::prepareOpenGlApplication();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
