#include "app/core/AppAppearance.h"

namespace tilebay {

std::string_view toString(AppAppearance appearance)
{
    switch (appearance) {
    case AppAppearance::system: return "system";
    case AppAppearance::light: return "light";
    case AppAppearance::dark: return "dark";
    }
    return "system";
}

std::optional<AppAppearance> appAppearanceFromString(std::string_view name)
{
    for (AppAppearance a : allAppAppearances)
        if (toString(a) == name) return a;
    return std::nullopt;
}

}  // namespace tilebay
