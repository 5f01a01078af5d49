#include "app/adapters/iterm2/ITerm2HelperProtocol.h"

namespace tilebay::ITerm2HelperProtocol {

namespace {

QString stringMember(const nlohmann::json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return {};
    return QString::fromStdString(it->get_ref<const std::string&>());
}

}  // namespace

std::string requestLine(nlohmann::json payload, int64_t id)
{
    payload["id"] = id;
    std::string line = payload.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    line += '\n';
    return line;
}

std::optional<Reply> decodeReply(std::string_view line)
{
    auto object = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
    if (object.is_discarded() || !object.is_object()) return std::nullopt;
    const auto id = object.find("id");
    if (id == object.end() || !id->is_number_integer()) return std::nullopt;
    if (id->is_number_unsigned() && id->get<uint64_t>() > uint64_t(INT64_MAX)) return std::nullopt;
    const int64_t value = id->get<int64_t>();
    return Reply{value, std::move(object)};
}

std::optional<std::vector<ITerm2SessionSnapshot>> snapshotsFromReply(const nlohmann::json& reply)
{
    if (!reply.is_object()) return std::nullopt;
    const auto result = reply.find("result");
    if (result == reply.end() || !result->is_array()) return std::nullopt;
    std::vector<ITerm2SessionSnapshot> sessions;
    sessions.reserve(result->size());
    for (const auto& item : *result) {
        if (!item.is_object()) return std::nullopt;
        sessions.push_back({stringMember(item, "guid"), stringMember(item, "name"),
                            stringMember(item, "contents")});
    }
    return sessions;
}

}  // namespace tilebay::ITerm2HelperProtocol
