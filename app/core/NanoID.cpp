#include "app/core/NanoID.h"

#include "corvel/platform/Log.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tilebay::NanoID {

namespace {

constexpr std::string_view kAlphabet =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_-";
static_assert(kAlphabet.size() == 64);

[[noreturn]] void fail(const char* what)
{
    corvel::log::write(std::string("Tilebay: NanoID — ") + what);
    std::abort();
}

// Fills `out` from the kernel's random source, falling back to /dev/urandom
// where getrandom(2) is missing. Without any secure source the program stops:
// a predictable identifier would be worse than none.
void fillSecureRandom(void* out, size_t size)
{
    auto* bytes = static_cast<unsigned char*>(out);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = getrandom(bytes + done, size - done, 0);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == ENOSYS) break;
        fail(std::strerror(errno));
    }
    if (done == size) return;
    FILE* urandom = std::fopen("/dev/urandom", "rb");
    if (!urandom) fail("no secure random source");
    const size_t got = std::fread(bytes + done, 1, size - done, urandom);
    std::fclose(urandom);
    if (got != size - done) fail("short read from /dev/urandom");
}

// An index in [0, bound) from 64-bit random values, unbiased: the value is
// scaled by multiplication and redrawn only when it falls in the biased
// remainder (which is empty for a power of two such as 64).
size_t uniformIndex(uint64_t first, uint64_t bound)
{
    uint64_t value = first;
    auto product = static_cast<unsigned __int128>(value) * bound;
    auto low = static_cast<uint64_t>(product);
    if (low < bound) {
        const uint64_t threshold = (0 - bound) % bound;
        while (low < threshold) {
            fillSecureRandom(&value, sizeof value);
            product = static_cast<unsigned __int128>(value) * bound;
            low = static_cast<uint64_t>(product);
        }
    }
    return static_cast<size_t>(product >> 64);
}

}  // namespace

std::string_view alphabet() { return kAlphabet; }

std::string make(int length)
{
    if (length < 0) fail("negative identifier length");
    std::string id;
    if (length == 0) return id;
    id.reserve(static_cast<size_t>(length));
    std::vector<uint64_t> draws(static_cast<size_t>(length));
    fillSecureRandom(draws.data(), draws.size() * sizeof(uint64_t));
    for (uint64_t draw : draws) id.push_back(kAlphabet[uniformIndex(draw, kAlphabet.size())]);
    return id;
}

}  // namespace tilebay::NanoID
