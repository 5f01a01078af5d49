// Where the bytes of a Kitty graphics transmission come from: inline base64
// (t=d), a file (t=f), a temporary file removed once opened (t=t) or a POSIX
// shared-memory object removed once opened (t=s). Stateless; the reads are
// synchronous and run on the caller's thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvel/kitty/KittyGraphicsControl.h"
#include "corvel/kitty/KittyGraphicsPayload.h"

namespace corvel {

// A loaded payload, or the error text to reply with.
struct KittyGraphicsLoad {
    std::optional<KittyGraphicsPayload> payload;
    std::string_view error;  // set exactly when `payload` is absent

    static KittyGraphicsLoad loaded(KittyGraphicsPayload payload) { return {std::move(payload), {}}; }
    static KittyGraphicsLoad failed(std::string_view error) { return {std::nullopt, error}; }
};

// Chooses the loader by the transmission letter. A refused allocation on the
// way fails as a bad payload.
KittyGraphicsLoad loadKittyPayload(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload);

// t=f and t=t: the payload is the base64 of a path. Paths under /proc, /sys
// and /dev (but /dev/shm) are refused; a temporary file must lie in a
// temporary directory and have "tty-graphics-protocol" in its path.
KittyGraphicsLoad loadKittyFilePayload(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload,
                                       bool temporary);

// Reads at most `size` bytes (0: all) from `offset` of a regular file of at
// most the byte limit. The file is opened without following a final symbolic
// link and without blocking (a FIFO or device is refused after opening, never
// waited on); with `deleteAfterRead` a regular file is removed once opened,
// whatever the outcome.
std::optional<std::vector<uint8_t>> readKittyFileData(const std::string& path, int64_t offset, int64_t size,
                                                      bool deleteAfterRead);

// True when `path` is a temporary directory or lies inside one: /tmp,
// /dev/shm, $TMPDIR and its canonical form. A prefix counts only when a '/'
// or the end of the path follows it.
bool isKittyTempPath(std::string_view path);

// The canonical absolute path with symbolic links resolved; none when it does
// not resolve or is 1024 bytes or longer.
std::optional<std::string> resolveKittyRealPath(const std::string& path);

// t=s: the payload is the base64 of a shared-memory object's name.
KittyGraphicsLoad loadKittySharedMemoryPayload(const KittyGraphicsControl& control,
                                               std::span<const uint8_t> base64Payload);

// Reads the bytes from `offset` to offset + `size` (when above 0), else to
// offset + `expectedSize` (when given), else to the object's end; the range
// must lie inside the object. The object is removed once opened.
std::optional<std::vector<uint8_t>> readKittySharedMemory(const std::string& name,
                                                          std::optional<int64_t> expectedSize, int64_t offset,
                                                          int64_t size);

}  // namespace corvel
