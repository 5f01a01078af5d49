// A temporary data folder for one benchmark: points XDG_DATA_HOME at a fresh
// folder under /tmp for the object's lifetime and removes the folder when it
// goes. Single-threaded use in a benchmark body; it leaves the variable set.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace bench {

class TempDataHome {
public:
    TempDataHome()
    {
        char pattern[] = "/tmp/tilebay-bench-XXXXXX";
        if (const char* made = mkdtemp(pattern)) path_ = made;
        setenv("XDG_DATA_HOME", path_.c_str(), 1);
    }
    ~TempDataHome()
    {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDataHome(const TempDataHome&) = delete;
    TempDataHome& operator=(const TempDataHome&) = delete;

private:
    std::filesystem::path path_;
};

}  // namespace bench
