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
inline constexpr std::string_view virtualWithParent = "EINVAL: virtual placement cannot refer to parent";
inline constexpr std::string_view cannotCropPng = "ENOTSUP: cannot crop png";
inline constexpr std::string_view badCrop = "EINVAL: bad crop";
inline constexpr std::string_view outOfRange = "EINVAL: placement out of range";
inline constexpr std::string_view parentNotFound = "ENOPARENT: parent placement not found";
inline constexpr std::string_view parentInOtherBuffer = "ENOPARENT: parent placement not in current buffer";
inline constexpr std::string_view missingImageId = "EINVAL: missing image id";
inline constexpr std::string_view missingImageNumber = "EINVAL: missing image number";
inline constexpr std::string_view missingCellPosition = "EINVAL: missing cell position";
inline constexpr std::string_view missingColumn = "EINVAL: missing column";
inline constexpr std::string_view missingRow = "EINVAL: missing row";
inline constexpr std::string_view missingIdRange = "EINVAL: missing id range";
inline constexpr std::string_view unsupportedDelete = "EINVAL: unsupported delete";
}  // namespace kittyGraphicsError

// "G" then i=N, I=N and p=N (each only when present, in this order, comma
// separated), then ";OK".
std::string kittyGraphicsOkBody(std::optional<uint32_t> imageId, std::optional<uint32_t> imageNumber,
                                std::optional<uint32_t> placementId);

// "G" then i=N of the control, else I=N, else nothing; then ';' and the
// message. The placement id is never echoed.
std::string kittyGraphicsErrorBody(const KittyGraphicsControl& control, std::string_view message);

}  // namespace corvel
