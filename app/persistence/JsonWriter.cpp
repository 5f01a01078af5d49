#include "app/persistence/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace tilebay::JsonWriter {

namespace {

// Length of the well-formed UTF-8 sequence at `s[i]`, or 0 when it is malformed.
size_t utf8SequenceLength(std::string_view s, size_t i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    const auto b1 = static_cast<unsigned char>(s[i + 1]);
    if (b1 < low || b1 > high) return 0;
    for (size_t k = 2; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (b < 0x80 || b > 0xBF) return 0;
    }
    return length;
}

void writeString(std::string_view s, std::string& out)
{
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        switch (c) {
        case '"': out += "\\\""; ++i; continue;
        case '\\': out += "\\\\"; ++i; continue;
        case '/': out += "\\/"; ++i; continue;
        case '\b': out += "\\b"; ++i; continue;
        case '\f': out += "\\f"; ++i; continue;
        case '\n': out += "\\n"; ++i; continue;
        case '\r': out += "\\r"; ++i; continue;
        case '\t': out += "\\t"; ++i; continue;
        default: break;
        }
        if (c < 0x20) {
            out += "\\u00";
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
            ++i;
            continue;
        }
        const size_t length = utf8SequenceLength(s, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        out.append(s.substr(i, length));
        i += length;
    }
    out.push_back('"');
}

bool writeNumber(double value, std::string& out, std::string* error)
{
    if (!std::isfinite(value)) {
        if (error) *error = "a number is not finite";
        return false;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
    return true;
}

void indent(int depth, std::string& out) { out.append(static_cast<size_t>(depth) * 2, ' '); }

bool writeValue(const nlohmann::json& value, int depth, std::string& out, std::string* error)
{
    using Type = nlohmann::json::value_t;
    switch (value.type()) {
    case Type::null: out += "null"; return true;
    case Type::boolean: out += value.get<bool>() ? "true" : "false"; return true;
    case Type::number_integer: out += std::to_string(value.get<int64_t>()); return true;
    case Type::number_unsigned: out += std::to_string(value.get<uint64_t>()); return true;
    case Type::number_float: return writeNumber(value.get<double>(), out, error);
    case Type::string: writeString(value.get_ref<const std::string&>(), out); return true;
    case Type::array: {
        if (value.empty()) {
            out += "[]";
            return true;
        }
        out += "[\n";
        bool first = true;
        for (const auto& item : value) {
            if (!first) out += ",\n";
            first = false;
            indent(depth + 1, out);
            if (!writeValue(item, depth + 1, out, error)) return false;
        }
        out.push_back('\n');
        indent(depth, out);
        out.push_back(']');
        return true;
    }
    case Type::object: {
        if (value.empty()) {
            out += "{}";
            return true;
        }
        // The object's map keeps its keys in ascending byte order.
        out += "{\n";
        bool first = true;
        for (const auto& entry : value.items()) {
            if (!first) out += ",\n";
            first = false;
            indent(depth + 1, out);
            writeString(entry.key(), out);
            out += " : ";
            if (!writeValue(entry.value(), depth + 1, out, error)) return false;
        }
        out.push_back('\n');
        indent(depth, out);
        out.push_back('}');
        return true;
    }
    case Type::binary:
    case Type::discarded: break;
    }
    if (error) *error = "a value cannot be written as JSON";
    return false;
}

}  // namespace

std::optional<std::string> prettySorted(const nlohmann::json& value, std::string* error)
{
    std::string out;
    if (!writeValue(value, 0, out, error)) return std::nullopt;
    return out;
}

}  // namespace tilebay::JsonWriter
