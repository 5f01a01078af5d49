// A fresh directory under /tmp for one test, removed with everything in it
// when the object goes; and whole-file reads and writes for the files tests
// put there.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace corvel::testing {

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "corvel-test")
    {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a directory like " + pattern);
        path = pattern;
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path;
};

}  // namespace corvel::testing
