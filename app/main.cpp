// Tilebay's program entry: prepares OpenGL for the GPU renderer, makes the
// application, installs the Qt main queue as the process's main dispatch
// queue before anything posts to it, then builds the store and the window
// and runs the event loop. Closing the window quits with status 0.
#include "app/shell/TilebayApp.h"

#include "corvel/gl/OpenGlSetup.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/qt/QtMainQueue.h"

#include <QApplication>

int main(int argc, char** argv)
{
    corvel::gl::prepareOpenGlApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tilebay"));
    QApplication::setApplicationDisplayName(QStringLiteral("Cellwright"));
    QApplication::setQuitOnLastWindowClosed(true);
    auto mainQueue = std::make_shared<corvel::QtMainQueue>();
    corvel::DispatchQueue::setMain(mainQueue);

    int status = 0;
    {
        tilebay::TilebayApp tilebay(app, tilebay::TilebayApp::standardDependencies());
        tilebay.start();
        status = QApplication::exec();
    }
    return status;
}
