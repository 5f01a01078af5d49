// The US key table and the first-scalar readers of KeyInput.
#include "corvel/qt/KeyInput.h"

#include "corvel/platform/Utf8.h"

#include <array>
#include <utility>

namespace corvel {

namespace {

// US-layout characters and their design key codes (48 keys).
constexpr std::array<std::pair<char32_t, uint16_t>, 48> usKeys{{
    {U'a', 0},  {U's', 1},  {U'd', 2},  {U'f', 3},  {U'h', 4},  {U'g', 5},  {U'z', 6},  {U'x', 7},
    {U'c', 8},  {U'v', 9},  {U'b', 11}, {U'q', 12}, {U'w', 13}, {U'e', 14}, {U'r', 15}, {U'y', 16},
    {U't', 17}, {U'1', 18}, {U'2', 19}, {U'3', 20}, {U'4', 21}, {U'6', 22}, {U'5', 23}, {U'=', 24},
    {U'9', 25}, {U'7', 26}, {U'-', 27}, {U'8', 28}, {U'0', 29}, {U']', 30}, {U'o', 31}, {U'u', 32},
    {U'[', 33}, {U'i', 34}, {U'p', 35}, {U'l', 37}, {U'j', 38}, {U'\'', 39}, {U'k', 40}, {U';', 41},
    {U'\\', 42}, {U',', 43}, {U'/', 44}, {U'n', 45}, {U'm', 46}, {U'.', 47}, {U' ', 49}, {U'`', 50},
}};

char32_t firstOf(const std::string& text)
{
    if (text.empty()) return 0;
    const std::u32string scalars = utf8::decode(text);
    return scalars.empty() ? 0 : scalars.front();
}

}  // namespace

uint16_t KeyCode::forUsCharacter(char32_t character)
{
    for (const auto& [c, code] : usKeys)
        if (c == character) return code;
    return unknown;
}

char32_t KeyCode::usCharacter(uint16_t keyCode)
{
    for (const auto& [c, code] : usKeys)
        if (code == keyCode) return c;
    return 0;
}

char32_t KeyInput::firstScalarIgnoringModifiers() const
{
    return firstOf(charactersIgnoringModifiers);
}

char32_t KeyInput::firstScalar() const
{
    return firstOf(characters);
}

}  // namespace corvel
