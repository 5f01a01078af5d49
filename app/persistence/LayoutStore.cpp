#include "app/persistence/LayoutStore.h"

#include "app/core/AppLog.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace tilebay {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFileName = "layout.json";
constexpr const char* kSaveFailed = "layout 저장 실패";

std::string describe(const std::string& what, const fs::path& path, int error)
{
    return what + " " + path.string() + ": " + std::strerror(error);
}

fs::path homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

// Creates `dir` and any missing parents; an existing folder is fine.
bool makeDirectories(const fs::path& dir, std::string& error)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        error = "cannot create folder " + dir.string() + ": " + ec.message();
        return false;
    }
    if (!fs::is_directory(dir, ec)) {
        error = "cannot create folder " + dir.string() + ": " + std::strerror(ENOTDIR);
        return false;
    }
    return true;
}

bool writeAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes `bytes` to a new temporary file beside `target`, flushes it and
// renames it over `target`; on any failure the temporary file is removed and
// `target` is untouched.
bool replaceAtomically(const fs::path& target, const std::string& bytes, std::string& error)
{
    std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX"))
                           .string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = describe("cannot create a temporary file in", target.parent_path(), errno);
        return false;
    }
    auto abandon = [&](const std::string& what) {
        const int saved = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        error = describe(what, temp, saved);
        return false;
    };
    if (!writeAll(fd, bytes)) return abandon("cannot write");
    if (::fsync(fd) != 0) return abandon("cannot flush");
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        error = describe("cannot close", temp, saved);
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        error = describe("cannot replace", target, saved);
        return false;
    }
    // Make the rename itself durable; the new file is in place either way.
    if (const int dirFd = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

enum class ReadResult { ok, missing, failed };

ReadResult readFile(const fs::path& path, std::string& out, std::string& error)
{
    // Opening does not wait (a named pipe would block until a writer came),
    // and only a regular file is read: anything else is not a layout.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) return ReadResult::missing;
        error = describe("cannot open", path, errno);
        return ReadResult::failed;
    }
    struct stat info {};
    const bool stated = ::fstat(fd, &info) == 0;
    if (!stated || !S_ISREG(info.st_mode)) {
        error = stated ? path.string() + " is not a regular file" : describe("cannot read", path, errno);
        ::close(fd);
        return ReadResult::failed;
    }
    out.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = describe("cannot read", path, errno);
            ::close(fd);
            return ReadResult::failed;
        }
        if (n == 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return ReadResult::ok;
}

std::string utcStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

// Moves an unreadable layout file out of the way under a name no other file
// uses, and logs where it went.
void setAside(const fs::path& path, const std::string& reason)
{
    const std::string base = path.string() + ".unreadable-" + utcStamp();
    std::string aside = base;
    for (int n = 2; ::access(aside.c_str(), F_OK) == 0; ++n) aside = base + "-" + std::to_string(n);
    if (::rename(path.c_str(), aside.c_str()) != 0) {
        logFailure("layout 파일을 읽을 수 없고 옮기지도 못함",
                   reason + "; " + describe("cannot rename", path, errno));
        return;
    }
    logFailure("layout 파일을 읽을 수 없어 따로 보관함", reason + "; kept as " + aside);
}

}  // namespace

fs::path LayoutStore::directory()
{
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return fs::path(data) / "Tilebay";
    return homeDirectory() / ".local" / "share" / "Tilebay";
}

fs::path LayoutStore::filePath() { return directory() / kFileName; }

void LayoutStore::save(const LayoutDoc& doc) const
{
    std::string error;
    const fs::path dir = directory();
    if (!makeDirectories(dir, error)) {
        logFailure(kSaveFailed, error);
        return;
    }
    const auto bytes = doc.encode(&error);
    if (!bytes) {
        logFailure(kSaveFailed, "cannot encode the layout: " + error);
        return;
    }
    if (!replaceAtomically(dir / kFileName, *bytes, error)) logFailure(kSaveFailed, error);
}

std::optional<LayoutDoc> LayoutStore::load() const
{
    const fs::path path = filePath();
    std::string bytes, error;
    switch (readFile(path, bytes, error)) {
    case ReadResult::missing: return std::nullopt;
    case ReadResult::failed: setAside(path, error); return std::nullopt;
    case ReadResult::ok: break;
    }
    auto doc = LayoutDoc::decode(bytes);
    if (!doc) setAside(path, "cannot decode " + path.string());
    return doc;
}

}  // namespace tilebay
