// Kitty graphics reply bodies.
#include "corvel/kitty/KittyGraphicsReply.h"

namespace corvel {

std::string kittyGraphicsOkBody(std::optional<uint32_t> imageId, std::optional<uint32_t> imageNumber,
                                std::optional<uint32_t> placementId)
{
    std::string body = "G";
    const auto add = [&body](char key, std::optional<uint32_t> value) {
        if (!value) return;
        if (body.size() > 1) body += ',';
        body += key;
        body += '=';
        body += std::to_string(*value);
    };
    add('i', imageId);
    add('I', imageNumber);
    add('p', placementId);
    body += ";OK";
    return body;
}

std::string kittyGraphicsErrorBody(const KittyGraphicsControl& control, std::string_view message)
{
    std::string body = "G";
    if (control.imageId) {
        body += "i=" + std::to_string(*control.imageId);
    } else if (control.imageNumber) {
        body += "I=" + std::to_string(*control.imageNumber);
    }
    body += ';';
    body += message;
    return body;
}

}  // namespace corvel
