// The application's one way to report a failure that is not shown to the user:
// a line "Tilebay: <message> — <description>" through the program's log sink
// (corvel::log), so tests can capture it.
#pragma once

#include <string_view>

namespace tilebay {

void logFailure(std::string_view message, std::string_view description);

}  // namespace tilebay
