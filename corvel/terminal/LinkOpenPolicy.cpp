// Link opening rules.
#include "corvel/terminal/LinkOpenPolicy.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>

namespace corvel::linkpolicy {

namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c)
{
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

LinkOpenDecision refuse(std::string why) { return {false, "Not opening link: " + why}; }

}  // namespace

std::optional<std::string> scheme(std::string_view link)
{
    const size_t colon = link.find(':');
    if (colon == std::string_view::npos || colon == 0 || !isAlpha(link[0])) return std::nullopt;
    std::string name;
    for (size_t i = 0; i < colon; ++i) {
        const char c = link[i];
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
        name.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    }
    return name;
}

std::optional<std::string> filePath(std::string_view link)
{
    if (scheme(link) != "file") return std::nullopt;
    std::string_view rest = link.substr(5);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && host != "localhost") return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (!rest.starts_with('/')) return std::nullopt;
    // The query and fragment are not part of the path.
    rest = rest.substr(0, std::min(rest.find('?'), rest.find('#')));
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path.push_back(rest[i]);
            continue;
        }
        const int hi = i + 1 < rest.size() ? hexValue(rest[i + 1]) : -1;
        const int lo = i + 2 < rest.size() ? hexValue(rest[i + 2]) : -1;
        if (hi < 0 || lo < 0) return std::nullopt;
        const char decoded = static_cast<char>(hi * 16 + lo);
        // A NUL would cut the path short where the system reads it.
        if (decoded == '\0') return std::nullopt;
        path.push_back(decoded);
        i += 2;
    }
    return path;
}

LinkOpenDecision decide(std::string_view link)
{
    if (link.empty()) return refuse("empty link");
    if (std::any_of(link.begin(), link.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; })) {
        return refuse("not a valid URL");
    }
    const auto name = scheme(link);
    if (!name) return refuse("no scheme in \"" + std::string(link) + "\"");
    static constexpr std::array<std::string_view, 4> web = {"http", "https", "mailto", "ftp"};
    if (std::find(web.begin(), web.end(), *name) != web.end()) {
        if (link.size() == name->size() + 1) return refuse("nothing after \"" + *name + ":\"");
        return {true, {}};
    }
    if (*name != "file") return refuse("scheme \"" + *name + "\" is not allowed");
    const auto path = filePath(link);
    if (!path) return refuse("not a local file: " + std::string(link));
    struct stat info {};
    if (::stat(path->c_str(), &info) != 0) return refuse("no such file: " + *path);
    if (S_ISREG(info.st_mode) && (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0) {
        return refuse("executable file: " + *path);
    }
    // Launchers run a program when opened, executable bit or not.
    if (S_ISREG(info.st_mode) && path->ends_with(".desktop")) return refuse("launcher file: " + *path);
    return {true, {}};
}

}  // namespace corvel::linkpolicy
