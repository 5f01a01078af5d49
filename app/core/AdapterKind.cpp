#include "app/core/AdapterKind.h"

namespace tilebay {

std::string_view toString(AdapterKind kind)
{
    switch (kind) {
    case AdapterKind::embedded: return "embedded";
    case AdapterKind::iterm2: return "iterm2";
    case AdapterKind::mock: return "mock";
    }
    return "embedded";
}

std::optional<AdapterKind> adapterKindFromString(std::string_view name)
{
    if (name == "embedded") return AdapterKind::embedded;
    if (name == "iterm2") return AdapterKind::iterm2;
    if (name == "mock") return AdapterKind::mock;
    return std::nullopt;
}

}  // namespace tilebay
