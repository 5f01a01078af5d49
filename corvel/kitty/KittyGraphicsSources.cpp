// Inline data, files, temporary files and shared-memory objects of Kitty
// graphics transmissions.
#include "corvel/kitty/KittyGraphicsSources.h"

#include "corvel/kitty/KittyGraphicsDecoding.h"
#include "corvel/kitty/KittyGraphicsReply.h"
#include "corvel/platform/Utf8.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <new>

namespace corvel {

namespace {

constexpr size_t kReadStep = 4096;
constexpr size_t kMaxResolvedPath = 1024;

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Decoded text that is usable as a name: non-empty, no zero byte, UTF-8.
std::optional<std::string> decodeName(std::span<const uint8_t> base64Payload)
{
    const auto bytes = decodeKittyBase64(base64Payload);
    if (!bytes || bytes->empty()) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

bool isUsableText(const std::string& text)
{
    return text.find('\0') == std::string::npos && utf8::isValid(std::string_view(text));
}

bool startsWithDirectory(std::string_view path, std::string_view directory)
{
    while (directory.size() > 1 && directory.back() == '/') directory.remove_suffix(1);
    if (directory.empty() || !path.starts_with(directory)) return false;
    return path.size() == directory.size() || path[directory.size()] == '/' || directory == "/";
}

bool isRefusedSystemPath(std::string_view path)
{
    if (path.starts_with("/proc/") || path.starts_with("/sys/")) return true;
    return path.starts_with("/dev/") && !path.starts_with("/dev/shm/");
}

// Reads exactly up to `wanted` bytes from `offset`, in steps, into one buffer
// sized up front; stops early at the end of the file.
std::optional<std::vector<uint8_t>> readRange(int fd, int64_t offset, int64_t wanted)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(wanted));
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t step = std::min(kReadStep, bytes.size() - done);
        const ssize_t got = ::pread(fd, bytes.data() + done, step, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

// The one transmission letter the bytes are decoded for.
KittyGraphicsLoad finish(const KittyGraphicsControl& control, std::vector<uint8_t> raw)
{
    auto inflated = decompressKittyData(std::move(raw), control);
    if (!inflated) return KittyGraphicsLoad::failed(kittyGraphicsError::badPayload);
    auto payload = decodeKittyPayloadData(control, std::move(*inflated));
    if (!payload) return KittyGraphicsLoad::failed(kittyGraphicsError::badPayload);
    return KittyGraphicsLoad::loaded(std::move(*payload));
}

}  // namespace

KittyGraphicsLoad loadKittyPayload(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload)
{
    try {
        switch (control.transmission) {
        case 'd': {
            auto payload = decodeKittyPayload(control, base64Payload);
            if (!payload) return KittyGraphicsLoad::failed(kittyGraphicsError::badPayload);
            return KittyGraphicsLoad::loaded(std::move(*payload));
        }
        case 'f': return loadKittyFilePayload(control, base64Payload, false);
        case 't': return loadKittyFilePayload(control, base64Payload, true);
        case 's': return loadKittySharedMemoryPayload(control, base64Payload);
        default: return KittyGraphicsLoad::failed(kittyGraphicsError::unsupportedTransmission);
        }
    } catch (const std::bad_alloc&) {
        // A file or object too large for the room left is refused like one
        // that does not decode (a temporary file is gone all the same).
        return KittyGraphicsLoad::failed(kittyGraphicsError::badPayload);
    }
}

KittyGraphicsLoad loadKittyFilePayload(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload,
                                       bool temporary)
{
    const auto path = decodeName(base64Payload);
    if (!path) return KittyGraphicsLoad::failed(kittyGraphicsError::badPayload);
    if (!isUsableText(*path)) return KittyGraphicsLoad::failed(kittyGraphicsError::badPath);
    const auto real = resolveKittyRealPath(*path);
    if (!real || isRefusedSystemPath(*real)) return KittyGraphicsLoad::failed(kittyGraphicsError::badPath);
    if (temporary && (!isKittyTempPath(*real) || real->find("tty-graphics-protocol") == std::string::npos))
        return KittyGraphicsLoad::failed(kittyGraphicsError::badTempPath);
    auto raw = readKittyFileData(*real, control.dataOffset, control.dataSize, temporary);
    if (!raw) return KittyGraphicsLoad::failed(kittyGraphicsError::badPayload);
    return finish(control, std::move(*raw));
}

std::optional<std::vector<uint8_t>> readKittyFileData(const std::string& path, int64_t offset, int64_t size,
                                                      bool deleteAfterRead)
{
    if (offset < 0 || size < 0) return std::nullopt;
    // Opened before its status is read, so the status is that of the file
    // read; O_NONBLOCK keeps a FIFO without a writer from stalling the open.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    struct stat status {};
    // A file refused for its type or size is left alone.
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    const int64_t fileSize = status.st_size;
    if (fileSize > kKittyGraphicsByteLimit || fileSize < offset) return std::nullopt;
    // From here on a temporary file goes, whatever the outcome.
    struct Remover {
        const std::string& path;
        bool active;
        ~Remover()
        {
            if (active) ::unlink(path.c_str());
        }
    } remover{path, deleteAfterRead};
    int64_t wanted = fileSize - offset;
    if (size > 0) wanted = std::min(wanted, size);
    wanted = std::min(wanted, kKittyGraphicsByteLimit);
    if (wanted < 1) return std::vector<uint8_t>();
    return readRange(fd.get(), offset, wanted);
}

bool isKittyTempPath(std::string_view path)
{
    if (startsWithDirectory(path, "/tmp") || startsWithDirectory(path, "/dev/shm")) return true;
    const char* variable = std::getenv("TMPDIR");
    const std::string directory = variable && *variable ? variable : "/tmp";
    if (startsWithDirectory(path, directory)) return true;
    const auto real = resolveKittyRealPath(directory);
    return real && startsWithDirectory(path, *real);
}

std::optional<std::string> resolveKittyRealPath(const std::string& path)
{
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) return std::nullopt;
    std::string result(resolved.get());
    if (result.size() >= kMaxResolvedPath) return std::nullopt;
    return result;
}

KittyGraphicsLoad loadKittySharedMemoryPayload(const KittyGraphicsControl& control,
                                               std::span<const uint8_t> base64Payload)
{
    const auto name = decodeName(base64Payload);
    if (!name || !isUsableText(*name)) return KittyGraphicsLoad::failed(kittyGraphicsError::badPayload);
    const auto expected = kittyExpectedDataSize(control);
    if (control.format != 100 && !expected) return KittyGraphicsLoad::failed(kittyGraphicsError::badPayload);
    // Compressed data is shorter than the pixels; its size is checked after
    // inflating.
    const auto rangeSize = control.compression ? std::nullopt : expected;
    auto raw = readKittySharedMemory(*name, rangeSize, control.dataOffset, control.dataSize);
    if (!raw) return KittyGraphicsLoad::failed(kittyGraphicsError::badPayload);
    return finish(control, std::move(*raw));
}

std::optional<std::vector<uint8_t>> readKittySharedMemory(const std::string& name,
                                                          std::optional<int64_t> expectedSize, int64_t offset,
                                                          int64_t size)
{
    if (offset < 0 || size < 0) return std::nullopt;
    // One path component, with or without the leading '/': anything else
    // could name an object outside the shared-memory directory.
    const std::string_view component = std::string_view(name).substr(name.starts_with('/') ? 1 : 0);
    if (component.empty() || component == "." || component == ".." ||
        component.find('/') != std::string_view::npos || component.size() > NAME_MAX)
        return std::nullopt;
    const std::string objectName = "/" + std::string(component);
    const FileDescriptor fd(::shm_open(objectName.c_str(), O_RDONLY, 0));
    if (fd.get() < 0) return std::nullopt;
    // Opened: the object goes, whatever the outcome.
    ::shm_unlink(objectName.c_str());
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) return std::nullopt;
    const int64_t objectSize = status.st_size;
    if (objectSize < 1 || objectSize > kKittyGraphicsByteLimit) return std::nullopt;
    int64_t end = objectSize;
    if (size > 0) {
        if (size > objectSize) return std::nullopt;
        end = offset + size;
    } else if (expectedSize) {
        if (*expectedSize > objectSize) return std::nullopt;
        end = offset + *expectedSize;
    }
    if (offset >= objectSize || end <= offset || end > objectSize) return std::nullopt;
    // Read rather than mapped: a client that shrinks the object meanwhile
    // gets a short read, not a fault in the terminal.
    auto bytes = readRange(fd.get(), offset, end - offset);
    if (!bytes || static_cast<int64_t>(bytes->size()) != end - offset) return std::nullopt;
    return bytes;
}

}  // namespace corvel
