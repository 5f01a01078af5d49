// Which adapter owns a grid cell: an embedded terminal run by the application,
// an absorbed iTerm2 session, or the mock adapter (never created in normal use).
// Persisted by its name; decoding is strict: any other name has no value.
#pragma once

#include <optional>
#include <string_view>

namespace tilebay {

enum class AdapterKind : unsigned char { embedded, iterm2, mock };

std::string_view toString(AdapterKind kind);
std::optional<AdapterKind> adapterKindFromString(std::string_view name);

}  // namespace tilebay
