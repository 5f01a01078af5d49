// Window manipulation requests (XTWINOPS) and the title stack.
#include "corvel/Terminal.h"

namespace corvel {

// Not implemented yet: the request is accepted and changes nothing.
void Terminal::cmdWindowOptions(Params) {}

}  // namespace corvel
