// Transmissions from files, temporary files and shared memory, through the
// terminal: which paths are refused, what is removed, and that nothing blocks.
#include "corvel/kitty/KittyGraphicsState.h"
#include "KittyGraphicsTestSupport.h"

#include "corvel/kitty/KittyGraphicsSources.h"
#include "tests/corvel/support/TempDir.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace corvel;
using corvel::testing::base64Of;
using corvel::testing::KittyTerminal;

namespace {

namespace fs = std::filesystem;

class KittyGraphicsSourcesTest : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& bytes)
    {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    corvel::testing::TempDir temp_{"corvel-kitty"};
    fs::path dir_ = temp_.path;
};

// Two RGBA pixels, the second half transparent.
const std::string kPixels = std::string("\x10\x20\x30\xFF\xC8\x64\x32\x80", 8);

std::string shmName()
{
    return "/corvel-kitty-test-" + std::to_string(::getpid());
}

void makeSharedMemory(const std::string& name, const std::string& bytes)
{
    const int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

bool sharedMemoryExists(const std::string& name)
{
    const int fd = ::shm_open(name.c_str(), O_RDONLY, 0);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace

TEST_F(KittyGraphicsSourcesTest, AFileIsReadFromItsOffsetAndKept)
{
    KittyTerminal kitty;
    const std::string path = write("pixels.bin", "junk" + kPixels + "tail");
    kitty.command("a=t,t=f,f=32,s=2,v=1,i=1,O=4,S=8", base64Of(path));
    EXPECT_EQ(kitty.lastReply(), "Gi=1;OK");
    EXPECT_EQ(*kitty.terminal.kittyGraphicsState.imagesById.at(1).payload.bytes,
              (std::vector<uint8_t>{0x10, 0x20, 0x30, 0xFF, 0x64, 0x32, 0x19, 0x80}));
    EXPECT_TRUE(fs::exists(path));

    // Past the end fails; exactly at the end reads nothing, which then fails the format.
    kitty.command("a=t,t=f,f=32,s=2,v=1,i=2,O=17", base64Of(path));
    EXPECT_EQ(kitty.lastReply(), "Gi=2;EINVAL: bad payload");
    kitty.command("a=t,t=f,f=32,s=2,v=1,i=2,O=16", base64Of(path));
    EXPECT_EQ(kitty.lastReply(), "Gi=2;EINVAL: bad payload");
    kitty.command("a=t,t=f,i=2", base64Of(dir_.string() + "/missing"));
    EXPECT_EQ(kitty.lastReply(), "Gi=2;EINVAL: bad path");
    kitty.command("a=t,t=f,i=2", base64Of(std::string("/tmp/a\0b", 8)));
    EXPECT_EQ(kitty.lastReply(), "Gi=2;EINVAL: bad path");
    kitty.command("a=t,t=f,i=2", "!!!");
    EXPECT_EQ(kitty.lastReply(), "Gi=2;EINVAL: bad payload");
    EXPECT_EQ(kitty.terminal.kittyGraphicsState.imagesById.size(), 1u);
}

TEST_F(KittyGraphicsSourcesTest, SystemPathsAndNonRegularFilesAreRefusedWithoutBlocking)
{
    KittyTerminal kitty;
    const std::string link = (dir_ / "status").string();
    fs::create_symlink("/proc/self/status", link);
    kitty.command("a=t,t=f,i=1", base64Of(link));
    EXPECT_EQ(kitty.lastReply(), "Gi=1;EINVAL: bad path");
    kitty.command("a=t,t=f,i=1", base64Of("/dev/null"));
    EXPECT_EQ(kitty.lastReply(), "Gi=1;EINVAL: bad path");

    // A FIFO without a writer: opening without O_NONBLOCK would hang here.
    const std::string fifo = (dir_ / "tty-graphics-protocol-fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    kitty.command("a=t,t=f,f=100,i=2", base64Of(fifo));
    EXPECT_EQ(kitty.lastReply(), "Gi=2;EINVAL: bad payload");
    kitty.command("a=t,t=t,f=100,i=2", base64Of(fifo));
    EXPECT_EQ(kitty.lastReply(), "Gi=2;EINVAL: bad payload");
    EXPECT_TRUE(fs::exists(fifo));
    EXPECT_FALSE(readKittyFileData(dir_.string(), 0, 0, false));
}

TEST_F(KittyGraphicsSourcesTest, ATemporaryFileIsRemovedOnceOpenedAndOnlyFromATemporaryDirectory)
{
    KittyTerminal kitty;
    const std::string temp = write("tty-graphics-protocol-a.bin", kPixels);
    kitty.command("a=t,t=t,f=32,s=2,v=1,i=1", base64Of(temp));
    EXPECT_EQ(kitty.lastReply(), "Gi=1;OK");
    EXPECT_FALSE(fs::exists(temp));

    // Removed also when the bytes then fail.
    const std::string bad = write("tty-graphics-protocol-b.bin", "abc");
    kitty.command("a=t,t=t,f=32,s=2,v=1,i=2", base64Of(bad));
    EXPECT_EQ(kitty.lastReply(), "Gi=2;EINVAL: bad payload");
    EXPECT_FALSE(fs::exists(bad));

    // Without the marker in its name the file is refused and stays.
    const std::string unmarked = write("plain.bin", kPixels);
    kitty.command("a=t,t=t,f=32,s=2,v=1,i=3", base64Of(unmarked));
    EXPECT_EQ(kitty.lastReply(), "Gi=3;EINVAL: bad temp path");
    EXPECT_TRUE(fs::exists(unmarked));

    // A directory whose name only begins with "/tmp" is not a temporary one.
    EXPECT_TRUE(isKittyTempPath("/tmp"));
    EXPECT_TRUE(isKittyTempPath("/tmp/x"));
    EXPECT_TRUE(isKittyTempPath("/dev/shm/x"));
    EXPECT_FALSE(isKittyTempPath("/tmpx/tty-graphics-protocol"));
    EXPECT_FALSE(isKittyTempPath("/dev/shmem/x"));
    const fs::path outside = "/tmpx-corvel-" + std::to_string(::getpid());
    std::error_code error;
    if (!fs::create_directory(outside, error)) GTEST_SKIP() << "cannot make a directory at the root";
    const std::string stray = (outside / "tty-graphics-protocol.bin").string();
    std::ofstream(stray, std::ios::binary) << kPixels;
    kitty.command("a=t,t=t,f=32,s=2,v=1,i=4", base64Of(stray));
    EXPECT_EQ(kitty.lastReply(), "Gi=4;EINVAL: bad temp path");
    EXPECT_TRUE(fs::exists(stray));
    fs::remove_all(outside);
}

TEST_F(KittyGraphicsSourcesTest, SharedMemoryIsReadFromItsOffsetAndRemoved)
{
    KittyTerminal kitty;
    const std::string name = shmName();
    makeSharedMemory(name, std::string(64, 'x') + kPixels + "extra");
    kitty.command("a=t,t=s,f=32,s=2,v=1,i=1,O=64", base64Of(name));
    EXPECT_EQ(kitty.lastReply(), "Gi=1;OK");
    EXPECT_EQ(kitty.terminal.kittyGraphicsState.imagesById.at(1).payload.bytes->size(), 8u);
    EXPECT_FALSE(sharedMemoryExists(name));

    // Removed also when the read fails (range past the end).
    makeSharedMemory(name, kPixels);
    kitty.command("a=t,t=s,f=32,s=2,v=1,i=2,O=4", base64Of(name));
    EXPECT_EQ(kitty.lastReply(), "Gi=2;EINVAL: bad payload");
    EXPECT_FALSE(sharedMemoryExists(name));

    // Raw pixels without sides are refused before the object is opened, and
    // so is a name of more than one path component.
    makeSharedMemory(name, kPixels);
    kitty.command("a=t,t=s,f=32,i=3", base64Of(name));
    EXPECT_EQ(kitty.lastReply(), "Gi=3;EINVAL: bad payload");
    kitty.command("a=t,t=s,f=32,s=2,v=1,i=3", base64Of("/../shm" + name));
    EXPECT_EQ(kitty.lastReply(), "Gi=3;EINVAL: bad payload");
    EXPECT_TRUE(sharedMemoryExists(name));
    ::shm_unlink(name.c_str());
}

TEST_F(KittyGraphicsSourcesTest, CompressedSharedMemoryIsSizedAfterInflating)
{
    KittyTerminal kitty;
    const std::string name = shmName();
    // Sixteen pixels of one colour compress below their 64 bytes.
    std::string pixels;
    for (int i = 0; i < 16; ++i) pixels += kPixels.substr(0, 4);
    std::vector<uint8_t> zlib(compressBound(pixels.size()));
    uLongf length = zlib.size();
    ASSERT_EQ(compress(zlib.data(), &length, reinterpret_cast<const Bytef*>(pixels.data()), pixels.size()), Z_OK);
    ASSERT_LT(length, pixels.size());
    makeSharedMemory(name, std::string(zlib.begin(), zlib.begin() + static_cast<long>(length)));
    kitty.command("a=t,t=s,f=32,s=4,v=4,o=z,i=1", base64Of(name));
    EXPECT_EQ(kitty.lastReply(), "Gi=1;OK");
    EXPECT_FALSE(sharedMemoryExists(name));
}
