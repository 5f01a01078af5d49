#include "corvel/screen/CharData.h"

#include <cstdlib>

#include "corvel/platform/Log.h"
#include "corvel/platform/Utf8.h"

namespace corvel {

char32_t CharData::getCharacter() const
{
    return utf8::isScalar(code) ? static_cast<char32_t>(code) : U' ';
}

std::any CharData::getPayload() const
{
    return payload.target();
}

void CharData::setValue(int32_t newCode, int size)
{
    if (size < -128 || size > 127) {
        log::write("CharData: width " + std::to_string(size) + " does not fit in a byte");
        std::abort();
    }
    code = newCode;
    width = static_cast<int8_t>(size);
}

std::string CharData::debugDescription() const
{
    std::string out = "CharData: " + std::to_string(code) + " ";
    utf8::append(out, getCharacter());
    return out;
}

}  // namespace corvel
