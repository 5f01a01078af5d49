// Tilebay's program entry. The grid application is built up issue by issue on
// top of the Corvel terminal library; until the window exists this entry only
// reports that it is not built yet.
#include <cstdio>

int main()
{
    std::puts("Tilebay: the application window is not built yet; "
              "the terminal library and its tools are available.");
    return 0;
}
