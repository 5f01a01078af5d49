// Cost of encoding one key event: a fixed table of 1,000 events (letters with
// and without text and modifiers, functional keys, modifier keys, presses,
// repeats and releases) encoded under a spread of flag combinations. The
// "per_event" counter is the time per event.
#include "corvel/kitty/KittyKeyboardEncoder.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using namespace corvel;

struct Entry {
    KittyKeyboardEncoder encoder;
    KittyKeyEvent event;
};

std::vector<Entry> table()
{
    std::mt19937 rng(11);
    const int64_t flagChoices[] = {0, 1, 3, 8, 24, 31, 1, 1};
    const int64_t modifierChoices[] = {0, 0, 0, 1, 2, 4, 5, 64, 68};
    std::vector<Entry> out;
    out.reserve(1000);
    for (int i = 0; i < 1000; ++i) {
        Entry entry;
        entry.encoder.flags = KittyKeyboardFlags(flagChoices[rng() % std::size(flagChoices)]);
        entry.encoder.applicationCursor = rng() % 2;
        entry.event.modifiers = KittyKeyboardModifiers(modifierChoices[rng() % std::size(modifierChoices)]);
        entry.event.eventType = static_cast<KittyKeyboardEventType>(1 + rng() % 3);
        if (rng() % 3 == 0) {
            entry.event.key = KittyKey::functional(static_cast<KittyFunctionalKey>(rng() % kittyFunctionalKeyCount));
        } else {
            const char32_t letter = 'a' + rng() % 26;
            entry.event.key = KittyKey::unicode(letter);
            if (rng() % 4 != 0) entry.event.text = std::string(1, static_cast<char>(letter));
            if (rng() % 4 == 0) entry.event.shiftedKey = letter - 32;
        }
        out.push_back(std::move(entry));
    }
    return out;
}

void BM_KittyKeyboardEncode(benchmark::State& state)
{
    const auto events = table();
    size_t sent = 0;
    for (auto _ : state) {
        for (const Entry& entry : events) {
            auto bytes = entry.encoder.encode(entry.event);
            if (bytes) sent += bytes->size();
            benchmark::DoNotOptimize(bytes);
        }
    }
    benchmark::DoNotOptimize(sent);
    state.counters["per_event"] = benchmark::Counter(static_cast<double>(state.iterations() * events.size()),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_KittyKeyboardEncode);

}  // namespace
