// Process set-up for the GPU path.
#include "corvel/gl/OpenGlSetup.h"

#include <QCoreApplication>

namespace corvel::gl {

void prepareOpenGlApplication() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

}  // namespace corvel::gl
