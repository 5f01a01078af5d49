// A small stand-in for libFuzzer when the project is built with g++: feeds the
// fuzz target deterministic pseudo-random inputs for a bounded number of
// iterations, so the target runs under the sanitizers as part of the tests.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    long iterations = 10000;
    unsigned seed = 12345;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--iterations") == 0) iterations = std::atol(argv[i + 1]);
        if (std::strcmp(argv[i], "--seed") == 0) seed = static_cast<unsigned>(std::atol(argv[i + 1]));
    }
    std::mt19937 rng(seed);
    std::vector<uint8_t> buf;
    for (long n = 0; n < iterations; ++n) {
        size_t len = rng() % 512;
        buf.resize(len);
        for (auto& b : buf) b = static_cast<uint8_t>(rng());
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
    }
    return 0;
}
