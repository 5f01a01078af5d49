// The window's colour scheme: follow the system, or force light or dark.
// Decoding by name is strict (no value for an unknown name); the layout reader
// falls back to `system` itself.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tilebay {

enum class AppAppearance : unsigned char { system, light, dark };

inline constexpr std::array<AppAppearance, 3> allAppAppearances{
    AppAppearance::system, AppAppearance::light, AppAppearance::dark};

// The name is also the value's identity in lists.
std::string_view toString(AppAppearance appearance);
std::optional<AppAppearance> appAppearanceFromString(std::string_view name);

}  // namespace tilebay
