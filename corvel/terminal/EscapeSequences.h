// The byte sequences a terminal sends to the program for special keys and
// around bracketed paste. The key sequences are constants; the two bracketed
// paste markers can be changed for the whole process.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace corvel::EscapeSequences {

using Bytes = std::span<const uint8_t>;

inline constexpr std::array<uint8_t, 1> cmdNewLine{0x0A};
inline constexpr std::array<uint8_t, 1> cmdRet{0x0D};
inline constexpr std::array<uint8_t, 1> cmdEsc{0x1B};
inline constexpr std::array<uint8_t, 1> cmdDel{0x7F};
inline constexpr std::array<uint8_t, 4> cmdDelKey{0x1B, '[', '3', '~'};

// Cursor keys: the App form while the terminal's application cursor mode is
// set, the Normal form otherwise.
inline constexpr std::array<uint8_t, 3> moveUpApp{0x1B, 'O', 'A'};
inline constexpr std::array<uint8_t, 3> moveUpNormal{0x1B, '[', 'A'};
inline constexpr std::array<uint8_t, 3> moveDownApp{0x1B, 'O', 'B'};
inline constexpr std::array<uint8_t, 3> moveDownNormal{0x1B, '[', 'B'};
inline constexpr std::array<uint8_t, 3> moveLeftApp{0x1B, 'O', 'D'};
inline constexpr std::array<uint8_t, 3> moveLeftNormal{0x1B, '[', 'D'};
inline constexpr std::array<uint8_t, 3> moveRightApp{0x1B, 'O', 'C'};
inline constexpr std::array<uint8_t, 3> moveRightNormal{0x1B, '[', 'C'};
inline constexpr std::array<uint8_t, 3> moveHomeApp{0x1B, 'O', 'H'};
inline constexpr std::array<uint8_t, 3> moveHomeNormal{0x1B, '[', 'H'};
inline constexpr std::array<uint8_t, 3> moveEndApp{0x1B, 'O', 'F'};
inline constexpr std::array<uint8_t, 3> moveEndNormal{0x1B, '[', 'F'};

inline constexpr std::array<uint8_t, 1> cmdTab{0x09};
inline constexpr std::array<uint8_t, 3> cmdBackTab{0x1B, '[', 'Z'};
inline constexpr std::array<uint8_t, 4> cmdPageUp{0x1B, '[', '5', '~'};
inline constexpr std::array<uint8_t, 4> cmdPageDown{0x1B, '[', '6', '~'};
inline constexpr std::array<uint8_t, 4> cmdInsert{0x1B, '[', '2', '~'};
inline constexpr std::array<uint8_t, 2> emacsBack{0x1B, 'b'};
inline constexpr std::array<uint8_t, 2> emacsForward{0x1B, 'f'};
inline constexpr std::array<uint8_t, 6> controlLeft{0x1B, '[', '1', ';', '5', 'D'};
inline constexpr std::array<uint8_t, 6> controlRight{0x1B, '[', '1', ';', '5', 'C'};

namespace detail {
inline constexpr std::array<uint8_t, 3> f1{0x1B, 'O', 'P'};
inline constexpr std::array<uint8_t, 3> f2{0x1B, 'O', 'Q'};
inline constexpr std::array<uint8_t, 3> f3{0x1B, 'O', 'R'};
inline constexpr std::array<uint8_t, 3> f4{0x1B, 'O', 'S'};
inline constexpr std::array<uint8_t, 5> f5{0x1B, '[', '1', '5', '~'};
inline constexpr std::array<uint8_t, 5> f6{0x1B, '[', '1', '7', '~'};
inline constexpr std::array<uint8_t, 5> f7{0x1B, '[', '1', '8', '~'};
inline constexpr std::array<uint8_t, 5> f8{0x1B, '[', '1', '9', '~'};
inline constexpr std::array<uint8_t, 5> f9{0x1B, '[', '2', '0', '~'};
inline constexpr std::array<uint8_t, 5> f10{0x1B, '[', '2', '1', '~'};
inline constexpr std::array<uint8_t, 5> f11{0x1B, '[', '2', '3', '~'};
inline constexpr std::array<uint8_t, 5> f12{0x1B, '[', '2', '4', '~'};
}  // namespace detail

// Function keys F1 to F12; index 0 is F1. No modifier variants.
inline constexpr std::array<Bytes, 12> cmdF{
    Bytes(detail::f1), Bytes(detail::f2), Bytes(detail::f3),  Bytes(detail::f4),
    Bytes(detail::f5), Bytes(detail::f6), Bytes(detail::f7),  Bytes(detail::f8),
    Bytes(detail::f9), Bytes(detail::f10), Bytes(detail::f11), Bytes(detail::f12),
};

// The markers around pasted text in bracketed paste mode (ESC [ 200 ~ and
// ESC [ 201 ~ unless changed). Process-wide and unlocked: change them only
// from the thread that drives the terminals.
const std::vector<uint8_t>& bracketedPasteStart();
const std::vector<uint8_t>& bracketedPasteEnd();
void setBracketedPasteStart(std::vector<uint8_t> bytes);
void setBracketedPasteEnd(std::vector<uint8_t> bytes);
// `text` with every end marker taken out, also those that taking another
// out brings together, so that pasted text cannot end its own brackets.
std::string withoutPasteEnd(std::string text);

}  // namespace corvel::EscapeSequences
