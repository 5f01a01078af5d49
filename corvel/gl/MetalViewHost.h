// The GPU path's view of the terminal view (declared beside the view, which
// sits below this library).
#pragma once

#include "corvel/qt/MetalViewHost.h"

namespace corvel::gl {

using MetalViewHost = qt::MetalViewHost;

}  // namespace corvel::gl
