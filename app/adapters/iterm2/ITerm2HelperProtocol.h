// The helper's wire format: UTF-8 text, one JSON object per line, each line
// ended by a line feed. Requests carry "method", an integer "id" and, to
// activate, "guid"; replies carry the request's integer "id" (0 for the hello
// the helper sends when it starts) and a "result". Stateless helpers; any
// thread.
#pragma once

#include "app/adapters/iterm2/ITerm2SessionSnapshot.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tilebay::ITerm2HelperProtocol {

struct Reply {
    int64_t id = 0;
    nlohmann::json object;  // the whole reply
};

// One request line, ended by a line feed: `payload` with "id" set to `id`,
// written compactly. Text that is not valid UTF-8 is replaced, never raised.
std::string requestLine(nlohmann::json payload, int64_t id);

// A reply line (without its line feed); no value for anything that is not a
// JSON object with an integer "id".
std::optional<Reply> decodeReply(std::string_view line);

// The sessions of a snapshot reply: "result" must be a list of objects, or
// there is no value. Each object gives a snapshot whose fields are its string
// members "guid", "name" and "contents", "" where missing or not a string.
std::optional<std::vector<ITerm2SessionSnapshot>> snapshotsFromReply(const nlohmann::json& reply);

}  // namespace tilebay::ITerm2HelperProtocol
