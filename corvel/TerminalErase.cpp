// Erasing, inserting and deleting characters, lines and columns, and repeating
// the preceding character.
#include "corvel/Terminal.h"

namespace corvel {

// Not implemented yet: these sequences are accepted and change nothing.
void Terminal::cmdInsertChars(Params) {}
void Terminal::cmdEraseInDisplay(Params) {}
void Terminal::cmdEraseInLine(Params) {}
void Terminal::cmdInsertLines(Params) {}
void Terminal::cmdDeleteLines(Params) {}
void Terminal::cmdDeleteChars(Params) {}
void Terminal::cmdEraseChars(Params) {}
void Terminal::cmdRepeatPrecedingCharacter(Params) {}
void Terminal::csiCloseBrace(Params, Collect) {}
void Terminal::cmdDeleteColumns(Params) {}

}  // namespace corvel
