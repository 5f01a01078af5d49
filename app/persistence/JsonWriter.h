// Writes a JSON value the way the layout document is stored: pretty-printed
// with two-space indentation and " : " between key and value, object keys in
// ascending byte order, no trailing newline. Strings are UTF-8 with "/" escaped
// as "\/", the short escapes for quote, backslash, backspace, form feed, line
// feed, carriage return and tab, and \u00xx (lower-case hex) for the other
// control characters; invalid UTF-8 becomes U+FFFD. Numbers take their shortest
// form that reads back exactly (13.0 is written 13).
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace tilebay::JsonWriter {

// No value when the value holds a number that is not finite; `error` says so.
std::optional<std::string> prettySorted(const nlohmann::json& value, std::string* error = nullptr);

}  // namespace tilebay::JsonWriter
