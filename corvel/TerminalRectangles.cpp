// Rectangular-area commands and line attributes.
#include "corvel/Terminal.h"

namespace corvel {

// Not implemented yet: these sequences are accepted and change nothing.
void Terminal::csiCopyRectangularArea(Params, Collect) {}
void Terminal::csiX(Params, Collect) {}
void Terminal::csiZ(Params, Collect) {}
void Terminal::csiOpenBrace(Params, Collect) {}
void Terminal::cmdDECRQCRA(Params) {}
void Terminal::setLineRenderMode(BufferLine::RenderLineMode) {}
void Terminal::cmdScreenAlignmentPattern() {}

}  // namespace corvel
