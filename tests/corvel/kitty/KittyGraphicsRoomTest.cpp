// Kitty graphics commands and the memory they take: sizes a command only
// announces reserve nothing, and an allocation the process cannot make ends
// that command with an error reply while the terminal goes on. The cases run
// in child processes, those of refused room in ones whose address space may
// grow by 96 MiB only.
#include "KittyGraphicsTestSupport.h"

#include "corvel/kitty/KittyGraphicsDecoding.h"
#include "corvel/kitty/KittyGraphicsSources.h"

#include "tests/corvel/support/AddressSpaceLimit.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace corvel;
using corvel::testing::KittyRecordingHost;
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

// Inflates to `megabytes` MiB of zeros from about a thousandth of that.
std::vector<uint8_t> zeroBomb(int megabytes)
{
    const std::vector<uint8_t> zeros(size_t{1} << 20);
    std::vector<uint8_t> segment(size_t{64} << 10);
    z_stream stream{};
    deflateInit(&stream, Z_BEST_COMPRESSION);
    std::vector<uint8_t> bomb;
    const auto run = [&](const uint8_t* input, size_t length, int flush) {
        stream.next_in = const_cast<Bytef*>(input);
        stream.avail_in = static_cast<uInt>(length);
        stream.next_out = segment.data();
        stream.avail_out = static_cast<uInt>(segment.size());
        deflate(&stream, flush);
        bomb.insert(bomb.end(), segment.data(), stream.next_out);
    };
    for (int i = 0; i < megabytes; ++i) run(zeros.data(), zeros.size(), Z_NO_FLUSH);
    run(nullptr, 0, Z_FINISH);
    deflateEnd(&stream);
    return bomb;
}

std::span<const uint8_t> bytesOf(const std::string& text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Counts the checks that failed, each named on the error output.
struct Checks {
    int failures = 0;
    void expect(bool held, const std::string& what)
    {
        if (held) return;
        std::fprintf(stderr, "%s\n", what.c_str());
        ++failures;
    }
    void expectReply(const KittyTerminal& kitty, const std::string& reply, const char* what)
    {
        expect(kitty.lastReply() == reply,
               std::string(what) + ": replied \"" + kitty.lastReply() + "\", expected \"" + reply + "\"");
    }
};

void expectStillAnswers(KittyTerminal& kitty, Checks& checks, const char* what)
{
    kitty.command("a=q,i=31,s=1,v=1", "AAAA/w==");
    checks.expectReply(kitty, "Gi=31;OK", what);
}

// Commands that announce 10000 x 10000 pixels with a few bytes each; the
// process's peak address space must not grow by the 400 MB they name.
int announcedSizeCases()
{
    const std::string compressed = base64Of(zlibOf(std::vector<uint8_t>(16, 7)));
    KittyTerminal kitty;
    Checks checks;
    const size_t peak = corvel::testing::processMemory("VmPeak:");

    kitty.command("a=t,i=1,f=32,s=10000,v=10000,m=1", "AAAA");
    kitty.command("m=0", "AAAA");
    checks.expectReply(kitty, "Gi=1;EINVAL: bad payload", "announced by a first chunk");
    kitty.command("a=q,i=2,f=32,s=10000,v=10000,o=z", compressed);
    checks.expectReply(kitty, "Gi=2;EINVAL: bad payload", "announced with compression");

    const size_t grown = corvel::testing::processMemory("VmPeak:") - peak;
    checks.expect(grown < (size_t{64} << 20), "the address space grew by " + std::to_string(grown >> 20) + " MiB");
    return checks.failures;
}

// Allocations past the room end the command that needed them, answered as a
// bad payload (a PNG that cannot be cropped for a bitmap), and the terminal
// goes on.
int refusedRoomCases()
{
    const std::string png = base64Of(announcingPng());
    const std::string bomb = base64Of(zeroBomb(128));
    const std::string block = kittyCommand("m=1", std::string(size_t{4} << 20, 'A'));
    char sparse[] = "/tmp/tty-graphics-protocol-XXXXXX";
    const int fd = mkstemp(sparse);
    const bool made = fd >= 0 && ftruncate(fd, off_t{200} << 20) == 0;
    if (fd >= 0) close(fd);
    if (!made || !corvel::testing::limitAddressSpaceGrowth(kHeadroom)) {
        std::fprintf(stderr, "the file or the address-space limit could not be made\n");
        unlink(sparse);
        return 1;
    }
    Checks checks;

    // The loading and decoding steps answer for themselves: a file whose size
    // is mostly holes (first, so that it goes whatever fails later), a stream
    // that inflates past the room.
    KittyGraphicsControl control;
    control.format = 100;
    control.transmission = 't';
    const KittyGraphicsLoad load = loadKittyPayload(control, bytesOf(base64Of(std::vector<uint8_t>(
                                                                 sparse, sparse + sizeof sparse - 1))));
    checks.expect(!load.payload && load.error == "EINVAL: bad payload", "a sparse file loaded");
    checks.expect(access(sparse, F_OK) != 0, "the temporary file stayed");
    control.transmission = 'd';
    control.compression = 'z';
    checks.expect(!decodeKittyPayload(control, bytesOf(bomb)), "an inflated bomb decoded");

    KittyTerminal kitty;

    kitty.command("a=T,i=3,f=100,x=1", png);
    checks.expectReply(kitty, "Gi=3;ENOTSUP: cannot crop png", "announced by a PNG header");
    expectStillAnswers(kitty, checks, "after the PNG");

    // Joined text that outgrows the room: refused once, the rest dropped.
    kitty.command("a=t,i=4,f=100,m=1", "AAAA");
    const size_t before = kitty.host->replies.size();
    for (int i = 0; i < 64 && kitty.host->replies.size() == before; ++i) kitty.terminal.feed(block);
    checks.expectReply(kitty, "Gi=4;EINVAL: bad payload", "joined past the room");
    for (int i = 0; i < 4; ++i) kitty.terminal.feed(block);
    kitty.command("m=0", "AAAA");
    checks.expect(kitty.host->replies.size() == before + 1, "the rest of a refused transfer was answered");
    expectStillAnswers(kitty, checks, "after the refused transfer");
    return checks.failures;
}

// A host that keeps its own copy of every bitmap it is handed, as the
// headless terminal does.
class CopyingHost : public KittyRecordingHost {
public:
    void createImageFromBitmap(Terminal&, std::vector<uint8_t>& bytes, int, int) override { kept = bytes; }
    std::vector<uint8_t> kept;
};

// An image of 40 MiB loads within the room; showing it copies its pixels (80
// MiB with the stored ones), and a crop or the host's copy of them needs a
// third copy that finds no room: each ends its command as a bad payload.
int refusedCopyCases()
{
    const std::string pixels = base64Of(zeroBomb(40));  // 2560 x 4096 RGBA
    if (!corvel::testing::limitAddressSpaceGrowth(kHeadroom)) {
        std::fprintf(stderr, "the address-space limit could not be set\n");
        return 1;
    }
    auto host = std::make_shared<CopyingHost>();
    KittyTerminal kitty({}, host);
    Checks checks;

    kitty.command("a=t,i=5,f=32,s=2560,v=4096,o=z", pixels);
    checks.expectReply(kitty, "Gi=5;OK", "the image was not loaded");
    kitty.command("a=p,i=5,y=1");
    checks.expectReply(kitty, "Gi=5;EINVAL: bad payload", "a crop without room");
    expectStillAnswers(kitty, checks, "after the crop");
    kitty.command("a=p,i=5");
    checks.expectReply(kitty, "Gi=5;EINVAL: bad payload", "a host's copy without room");
    checks.expect(host->kept.empty(), "the host kept a copy");
    expectStillAnswers(kitty, checks, "after the host's copy");
    kitty.terminal.feed("\rx");
    checks.expect(kitty.terminal.getCharacter(0, 0).value_or("") == "x", "text after the images was not shown");
    return checks.failures;
}

}  // namespace

TEST(KittyGraphicsRoomDeathTest, AnnouncedSizesReserveNothing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A child of its own, so that its peak address space is its own.
    EXPECT_EXIT(std::_Exit(announcedSizeCases()), ::testing::ExitedWithCode(0), "");
}

TEST(KittyGraphicsRoomDeathTest, RefusedRoomIsABadPayloadAndTheTerminalGoesOn)
{
#ifdef CORVEL_SANITIZED
    GTEST_SKIP() << "a sanitizer's allocator ends the process when the room runs out";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(refusedRoomCases()), ::testing::ExitedWithCode(0), "");
}

TEST(KittyGraphicsRoomDeathTest, ALoadedImageWhoseCopyFindsNoRoomIsABadPayload)
{
#ifdef CORVEL_SANITIZED
    GTEST_SKIP() << "a sanitizer's allocator ends the process when the room runs out";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(refusedCopyCases()), ::testing::ExitedWithCode(0), "");
}
