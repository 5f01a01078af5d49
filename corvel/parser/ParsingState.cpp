#include "corvel/parser/ParsingState.h"

namespace corvel {

namespace {

constexpr size_t kShownValues = 32;

template <typename T>
void appendList(std::string& out, const std::vector<T>& values)
{
    out += '[';
    const size_t shown = values.size() < kShownValues ? values.size() : kShownValues;
    for (size_t i = 0; i < shown; ++i) {
        if (i > 0) out += ", ";
        out += std::to_string(static_cast<long long>(values[i]));
    }
    if (shown < values.size()) out += ", … (" + std::to_string(values.size()) + " values)";
    out += ']';
}

}  // namespace

std::string toString(const ParsingState& state)
{
    std::string out = "ParsingState(position: " + std::to_string(state.position);
    out += ", code: " + std::to_string(state.code);
    out += ", currentState: ";
    out += toString(state.currentState);
    out += ", print: " + std::to_string(state.print);
    out += ", dcs: " + std::to_string(state.dcs);
    out += ", osc: ";
    appendList(out, state.osc);
    out += ", apc: ";
    appendList(out, state.apc);
    out += ", collect: ";
    appendList(out, state.collect);
    out += ", parameters: ";
    appendList(out, state.parameters);
    out += state.abort ? ", abort: true)" : ", abort: false)";
    return out;
}

}  // namespace corvel
