// Defaults of the parser's handler interface: drop everything, name an
// unhandled CSI sequence in the log.
#include "corvel/parser/ParserHandler.h"

#include "corvel/platform/Log.h"

#include <string>

namespace corvel {

void ParserHandler::print(std::span<const uint8_t>) {}
void ParserHandler::printStateReset() {}
void ParserHandler::execute(uint8_t) {}

void ParserHandler::csiDispatch(uint8_t code, std::span<const int64_t>, std::span<const uint8_t>)
{
    log::write("Cannot handle ESC-" + std::to_string(code));
}

void ParserHandler::escDispatch(std::span<const uint8_t>, uint8_t) {}
void ParserHandler::oscDispatch(int64_t, std::span<const uint8_t>) {}
void ParserHandler::apcDispatch(uint8_t, std::span<const uint8_t>) {}

std::unique_ptr<DcsHandler> ParserHandler::dcsHook(std::span<const uint8_t>, uint8_t)
{
    return nullptr;
}

ParsingState ParserHandler::parseError(ParsingState state)
{
    return state;
}

}  // namespace corvel
