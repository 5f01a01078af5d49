#include "app/core/AppLog.h"

#include "corvel/platform/Log.h"

#include <string>

namespace tilebay {

void logFailure(std::string_view message, std::string_view description)
{
    std::string line = "Tilebay: ";
    line += message;
    line += " — ";
    line += description;
    corvel::log::write(line);
}

}  // namespace tilebay
