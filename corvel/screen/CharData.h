// One cell of the screen grid: a character code, a display width, a payload
// handle and the drawing attribute. A cell owns no memory and is trivially
// copyable, so a line is one contiguous block of cells moved with block copies.
#pragma once

#include <any>
#include <cstdint>
#include <string>
#include <type_traits>

#include "corvel/screen/Attribute.h"
#include "corvel/screen/TinyAtom.h"

namespace corvel {

struct CharData {
    // 0 = empty cell; 1...0x10FFFF = a Unicode scalar; 0x400001 and up = a
    // grapheme-cluster id handed out by the terminal. Never negative.
    int32_t code = 0;
    // Columns taken: 1 normally, 2 for the first cell of a wide character, 0
    // for the cell that follows a wide character.
    int8_t width = 1;
    TinyAtom payload;
    uint8_t unused = 0;
    Attribute attribute;

    // First code of the range of grapheme-cluster ids.
    static constexpr int32_t firstGraphemeId = 0x400001;

    // The cell that lines without an explicit fill use: code 0, width 1, no
    // payload, default colours. Settable, process-wide.
    static CharData Null;

    constexpr CharData() = default;
    constexpr explicit CharData(const Attribute& attr, int32_t code = 0, int8_t width = 1)
        : code(code), width(width), attribute(attr)
    {
    }

    constexpr bool isSimpleRune() const { return code < 0x400000; }
    constexpr bool hasPayload() const { return payload.code != 0; }

    // The scalar whose value is `code`; a space when `code` is not a scalar
    // (a grapheme id, a surrogate, or anything above U+10FFFF). Grapheme ids
    // are resolved by the terminal instead.
    char32_t getCharacter() const;

    // The payload value; empty when there is none or it was released.
    std::any getPayload() const;
    void setPayload(TinyAtom atom) { payload = atom; }

    // Sets code and width. A width outside -128...127 is a programming error
    // and stops the process.
    void setValue(int32_t newCode, int size);

    // "CharData: " followed by the decimal code, a space and the character.
    std::string debugDescription() const;

    constexpr bool operator==(const CharData&) const = default;
};

inline constinit CharData CharData::Null{};

static_assert(sizeof(CharData) <= 24, "a cell must stay small: lines are flat blocks of cells");
static_assert(std::is_trivially_copyable_v<CharData>);

}  // namespace corvel
