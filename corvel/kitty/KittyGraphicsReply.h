// The bodies of Kitty graphics replies (what goes between the APC opening and
// the string terminator) and the error texts the protocol sends. The
// terminal frames the bodies; nothing else builds replies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "corvel/kitty/KittyGraphicsControl.h"

namespace corvel {

namespace kittyGraphicsError {
inline constexpr std::string_view unsupportedAction = "EINVAL: unsupported action";
inline constexpr std::string_view badPayload = "EINVAL: bad payload";
inline constexpr std::string_view idAndNumber = "EINVAL: i and I are mutually exclusive";
inline constexpr std::string_view unsupportedTransmission = "ENOTSUP: unsupported transmission";
inline constexpr std::string_view badPath = "EINVAL: bad path";
inline constexpr std::string_view badTempPath = "EINVAL: bad temp path";
inline constexpr std::string_view imageNotFound = "ENOENT: image not found";
}  // namespace kittyGraphicsError

// "G" then i=N, I=N and p=N (each only when present, in this order, comma
// separated), then ";OK".
std::string kittyGraphicsOkBody(std::optional<uint32_t> imageId, std::optional<uint32_t> imageNumber,
                                std::optional<uint32_t> placementId);

// "G" then i=N of the control, else I=N, else nothing; then ';' and the
// message. The placement id is never echoed.
std::string kittyGraphicsErrorBody(const KittyGraphicsControl& control, std::string_view message);

}  // namespace corvel
