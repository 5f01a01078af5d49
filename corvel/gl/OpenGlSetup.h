// Process set-up the GPU path needs: contexts in one share group, so the
// renderer's objects are usable from every drawing widget and survive a
// widget's context being replaced, and terminal views built afterwards get a
// GPU path they can switch on. Call before the QApplication is made.
#pragma once

namespace corvel::gl {

void prepareOpenGlApplication();

}  // namespace corvel::gl
