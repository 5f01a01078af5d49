#include "corvel/screen/CharSets.h"

#include "corvel/platform/Utf8.h"

#include <initializer_list>
#include <utility>

namespace corvel {

size_t CharSet::size() const
{
    size_t n = 0;
    for (char32_t c : map)
        n += c != 0;
    return n;
}

std::string CharSet::text(uint8_t byte) const
{
    const char32_t c = (*this)[byte];
    return c == 0 ? std::string() : utf8::encode(c);
}

namespace CharSets {

namespace {

CharSet makeSet(std::initializer_list<std::pair<char, char32_t>> entries)
{
    CharSet set;
    for (const auto& [byte, scalar] : entries)
        set.map[static_cast<uint8_t>(byte)] = scalar;
    return set;
}

}  // namespace

std::map<uint8_t, CharSet> initAll()
{
    const CharSet decSpecialGraphics = makeSet({
        {'`', 0x25C6}, {'a', 0x2592}, {'b', 0x2409}, {'c', 0x240C}, {'d', 0x240D},
        {'e', 0x240A}, {'f', 0x00B0}, {'g', 0x00B1}, {'h', 0x2424}, {'i', 0x240B},
        {'j', 0x2518}, {'k', 0x2510}, {'l', 0x250C}, {'m', 0x2514}, {'n', 0x253C},
        {'o', 0x23BA}, {'p', 0x23BB}, {'q', 0x2500}, {'r', 0x23BC}, {'s', 0x23BD},
        {'t', 0x251C}, {'u', 0x2524}, {'v', 0x2534}, {'w', 0x252C}, {'x', 0x2502},
        {'y', 0x2264}, {'z', 0x2265}, {'{', 0x03C0}, {'|', 0x2260}, {'}', 0x00A3},
        {'~', 0x00B7},
    });
    const CharSet unitedKingdom = makeSet({{'#', 0x00A3}});
    const CharSet unitedStates;
    const CharSet dutch = makeSet({
        {'#', 0x00A3}, {'@', 0x00BE}, {'[', 0x0133}, {'\\', 0x00BD}, {']', 0x007C},
        {'{', 0x00A8}, {'|', 0x0066}, {'}', 0x00BC}, {'~', 0x00B4},
    });
    const CharSet finnish = makeSet({
        {'[', 0x00C4}, {'\\', 0x00D6}, {']', 0x00C5}, {'^', 0x00DC}, {'`', 0x00E9},
        {'{', 0x00E4}, {'|', 0x00F6}, {'}', 0x00E5}, {'~', 0x00FC},
    });
    const CharSet french = makeSet({
        {'#', 0x00A3}, {'@', 0x00E0}, {'[', 0x00B0}, {'\\', 0x00E7}, {']', 0x00A7},
        {'{', 0x00E9}, {'|', 0x00F9}, {'}', 0x00E8}, {'~', 0x00A8},
    });
    const CharSet frenchCanadian = makeSet({
        {'@', 0x00E0}, {'[', 0x00E2}, {'\\', 0x00E7}, {']', 0x00EA}, {'^', 0x00EE},
        {'`', 0x00F4}, {'{', 0x00E9}, {'|', 0x00F9}, {'}', 0x00E8}, {'~', 0x00FB},
    });
    const CharSet german = makeSet({
        {'@', 0x00A7}, {'[', 0x00C4}, {'\\', 0x00D6}, {']', 0x00DC},
        {'{', 0x00E4}, {'|', 0x00F6}, {'}', 0x00FC}, {'~', 0x00DF},
    });
    const CharSet italian = makeSet({
        {'#', 0x00A3}, {'@', 0x00A7}, {'[', 0x00B0}, {'\\', 0x00E7}, {']', 0x00E9},
        {'`', 0x00F9}, {'{', 0x00E0}, {'|', 0x00F2}, {'}', 0x00E8}, {'~', 0x00EC},
    });
    const CharSet norwegianDanish = makeSet({
        {'@', 0x00C4}, {'[', 0x00C6}, {'\\', 0x00D8}, {']', 0x00C5}, {'^', 0x00DC},
        {'`', 0x00E4}, {'{', 0x00E6}, {'|', 0x00F8}, {'}', 0x00E5}, {'~', 0x00FC},
    });
    const CharSet spanish = makeSet({
        {'#', 0x00A3}, {'@', 0x00A7}, {'[', 0x00A1}, {'\\', 0x00D1}, {']', 0x00BF},
        {'{', 0x00B0}, {'|', 0x00F1}, {'}', 0x00E7},
    });
    const CharSet swedish = makeSet({
        {'@', 0x00C9}, {'[', 0x00C4}, {'\\', 0x00D6}, {']', 0x00C5}, {'^', 0x00DC},
        {'`', 0x00E9}, {'{', 0x00E4}, {'|', 0x00F6}, {'}', 0x00E5}, {'~', 0x00FC},
    });
    const CharSet swiss = makeSet({
        {'#', 0x00F9}, {'@', 0x00E0}, {'[', 0x00E9}, {'\\', 0x00E7}, {']', 0x00EA},
        {'^', 0x00EE}, {'_', 0x00E8}, {'`', 0x00F4}, {'{', 0x00E4}, {'|', 0x00F6},
        {'}', 0x00FC}, {'~', 0x00FB},
    });

    return {
        {'0', decSpecialGraphics}, {'2', decSpecialGraphics},
        {'A', unitedKingdom},      {'B', unitedStates},
        {'4', dutch},              {'5', finnish},
        {'C', finnish},            {'R', french},
        {'Q', frenchCanadian},     {'K', german},
        {'Y', italian},            {'6', norwegianDanish},
        {'E', norwegianDanish},    {'Z', spanish},
        {'7', swedish},            {'H', swedish},
        {'=', swiss},
    };
}

const std::map<uint8_t, CharSet>& all()
{
    // A function-local static is initialised exactly once, even when several
    // threads reach it first at the same time.
    static const std::map<uint8_t, CharSet> table = initAll();
    return table;
}

const CharSet* lookup(uint8_t designator)
{
    const auto& table = all();
    auto it = table.find(designator);
    return it == table.end() ? nullptr : &it->second;
}

}  // namespace CharSets

}  // namespace corvel
