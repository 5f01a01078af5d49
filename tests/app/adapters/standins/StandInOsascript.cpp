// A stand-in for `osascript`, built with the tests and copied into a
// temporary folder on PATH. It reads the script from its standard input and
// keeps it byte for byte as "script-<n>.txt" beside itself (n = 1, 2, …; each
// file appears whole), then acts as the file "mode" beside it says:
//   reply (or no file)  print the file "reply" and a line feed, exit 0
//   fail                print an AppleScript error to standard error, exit 1
//   hang                wait until killed
//   exit-early          exit 0 at once, without reading the script
#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main()
{
    const fs::path dir = fs::read_symlink("/proc/self/exe").parent_path();
    std::string mode = readFile(dir / "mode");
    while (!mode.empty() && (mode.back() == '\n' || mode.back() == ' ')) mode.pop_back();
    if (mode == "exit-early") return 0;

    std::string script;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) break;
        script.append(chunk, static_cast<size_t>(n));
    }
    // Written whole under a name of its own, then linked to the first free
    // number: a test that sees "script-<n>.txt" sees all of it, and two
    // stand-ins running at once never take the same number.
    const fs::path part = dir / ("script-" + std::to_string(::getpid()) + ".part");
    std::ofstream(part, std::ios::binary) << script;
    for (int n = 1;; ++n) {
        const fs::path path = dir / ("script-" + std::to_string(n) + ".txt");
        if (::link(part.c_str(), path.c_str()) == 0 || errno != EEXIST) break;
    }
    fs::remove(part);

    if (mode == "fail") {
        std::cerr << "execution error: iTerm got an error: Application isn’t running. (-600)\n";
        return 1;
    }
    if (mode == "hang") {
        for (;;) ::pause();
    }
    std::cout << readFile(dir / "reply") << '\n';
    return 0;
}
