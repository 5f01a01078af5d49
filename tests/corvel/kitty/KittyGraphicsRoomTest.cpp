// Kitty graphics commands in a process with little room left: sizes a command
// only announces reserve nothing, and an allocation the process cannot make
// ends that command with an error reply while the terminal goes on. Each case
// runs in a child process whose address space may grow by 96 MiB only.
#include "KittyGraphicsTestSupport.h"

#include "tests/corvel/support/AddressSpaceLimit.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace corvel;
using corvel::testing::KittyTerminal;
using corvel::testing::kittyCommand;

namespace {

constexpr size_t kHeadroom = size_t{96} << 20;

std::string base64Of(const std::vector<uint8_t>& bytes)
{
    return base64::encode(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::vector<uint8_t> zlibOf(const std::vector<uint8_t>& input)
{
    uLongf size = compressBound(input.size());
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, input.data(), input.size(), Z_BEST_COMPRESSION);
    out.resize(size);
    return out;
}

void appendChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data)
{
    const auto be32 = [&](uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) png.push_back(uint8_t(value >> shift));
    };
    be32(uint32_t(data.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    be32(uint32_t(crc32(0, typed.data(), uInt(typed.size()))));
}

// A PNG whose header says 10000 x 10000 RGBA pixels, with the data of one
// row: a few hundred bytes that announce a bitmap of 400 MB.
std::vector<uint8_t> announcingPng()
{
    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    appendChunk(png, "IHDR", {0, 0, 0x27, 0x10, 0, 0, 0x27, 0x10, 8, 6, 0, 0, 0});
    appendChunk(png, "IDAT", zlibOf(std::vector<uint8_t>(1 + 10000 * 4, 0)));
    appendChunk(png, "IEND", {});
    return png;
}

// Runs the cases under the limit; the number of checks that failed, each
// named on the error output.
int refusedRoomCases()
{
    const std::string compressed = base64Of(zlibOf(std::vector<uint8_t>(16, 7)));
    const std::string png = base64Of(announcingPng());
    const std::string block = kittyCommand("m=1", std::string(size_t{4} << 20, 'A'));
    if (!corvel::testing::limitAddressSpaceGrowth(kHeadroom)) {
        std::fprintf(stderr, "the address-space limit could not be set\n");
        return 1;
    }
    KittyTerminal kitty;
    int failures = 0;
    const auto expect = [&](const char* what, const std::string& reply) {
        if (kitty.lastReply() == reply) return;
        std::fprintf(stderr, "%s: replied \"%s\", expected \"%s\"\n", what, kitty.lastReply().c_str(), reply.c_str());
        ++failures;
    };
    const auto stillAnswers = [&](const char* what) {
        kitty.command("a=q,i=31,s=1,v=1", "AAAA/w==");
        expect(what, "Gi=31;OK");
    };

    // A first chunk of 40 bytes that announces 10000 x 10000 pixels.
    kitty.command("a=t,i=1,f=32,s=10000,v=10000,m=1", "AAAA");
    kitty.command("m=0", "AAAA");
    expect("announced by a first chunk", "Gi=1;EINVAL: bad payload");
    stillAnswers("after the announcing chunk");

    // A compressed payload that announces as many.
    kitty.command("a=q,i=2,f=32,s=10000,v=10000,o=z", compressed);
    expect("announced with compression", "Gi=2;EINVAL: bad payload");

    // A PNG header that announces them, cropped: the bitmap finds no room.
    kitty.command("a=T,i=3,f=100,x=1", png);
    expect("announced by a PNG header", "Gi=3;ENOTSUP: cannot crop png");
    stillAnswers("after the PNG");

    // Joined text that outgrows the room: refused once, the rest dropped.
    kitty.command("a=t,i=4,f=100,m=1", "AAAA");
    const size_t before = kitty.host->replies.size();
    for (int i = 0; i < 64 && kitty.host->replies.size() == before; ++i) kitty.terminal.feed(block);
    expect("joined past the room", "Gi=4;EINVAL: bad payload");
    for (int i = 0; i < 4; ++i) kitty.terminal.feed(block);
    kitty.command("m=0", "AAAA");
    if (kitty.host->replies.size() != before + 1) {
        std::fprintf(stderr, "the rest of a refused transfer was answered\n");
        ++failures;
    }
    stillAnswers("after the refused transfer");
    return failures;
}

}  // namespace

TEST(KittyGraphicsRoomDeathTest, AnnouncedSizesReserveNothingAndRefusedRoomIsABadPayload)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const corvel::testing::RefusedAllocationsReported reported;
    EXPECT_EXIT(std::_Exit(refusedRoomCases()), ::testing::ExitedWithCode(0), "");
}
