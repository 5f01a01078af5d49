// Process set-up for the GPU path.
#include "corvel/gl/OpenGlSetup.h"

#include <QCoreApplication>

#include "corvel/gl/MetalGpuPath.h"

namespace corvel::gl {

void prepareOpenGlApplication()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    registerMetalGpuPath();
}

}  // namespace corvel::gl
