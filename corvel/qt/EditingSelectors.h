// The one table from keys to the editing commands of the terminal view
// ("insertNewline:", "moveUp:", ...): what the platform's text system would
// make of a key the view did not handle itself. Stateless, Qt-free.
#pragma once

#include "corvel/qt/KeyInput.h"

#include <optional>
#include <string_view>

namespace corvel::EditingSelectors {

// The editing command of the key, or none when the key types text (or nothing).
std::optional<std::string_view> selectorFor(const KeyInput& event);

}  // namespace corvel::EditingSelectors
