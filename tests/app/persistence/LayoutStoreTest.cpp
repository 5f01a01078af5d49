// The layout document on disk: where it lives, saving and loading, unreadable
// files and things that are not files set aside (never overwritten, never
// waited on), and failed writes that leave the old file intact.
#include "app/persistence/LayoutStore.h"

#include "corvel/platform/Log.h"
#include "tests/app/adapters/AdapterTestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

using namespace tilebay;
using namespace tilebay::testing;

namespace {

std::vector<fs::path> entries(const fs::path& dir)
{
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(dir)) found.push_back(e.path().filename());
    std::sort(found.begin(), found.end());
    return found;
}

// Points XDG_DATA_HOME at a fresh temporary folder for each test.
class LayoutStoreTest : public ::testing::Test {
protected:
    ~LayoutStoreTest() override
    {
        std::error_code ec;
        fs::permissions(root_ / "Tilebay", fs::perms::owner_all, ec);
    }

    TempDir dir_;
    fs::path root_ = dir_.path();
    ScopedEnv data_{"XDG_DATA_HOME", root_.string()};
    LayoutStore store_;
};

LayoutDoc docWithCells(int n)
{
    LayoutDoc doc;
    for (int i = 0; i < n; ++i) {
        CellRecord cell;
        cell.internalId = "cell" + std::to_string(i);
        cell.cwd = "/home/user/project" + std::to_string(i);
        doc.cells.push_back(cell);
    }
    doc.assignGridPositions();
    return doc;
}

}  // namespace

TEST_F(LayoutStoreTest, DirectoryFollowsXdgDataHomeOrDefaultsUnderHome)
{
    EXPECT_EQ(LayoutStore::directory(), root_ / "Tilebay");
    EXPECT_EQ(LayoutStore::filePath(), root_ / "Tilebay" / "layout.json");
    EXPECT_FALSE(fs::exists(root_ / "Tilebay"));  // asking does not create it

    ScopedEnv home("HOME", root_.string());
    setenv("XDG_DATA_HOME", "", 1);
    EXPECT_EQ(LayoutStore::directory(), root_ / ".local" / "share" / "Tilebay");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(LayoutStore::directory(), root_ / ".local" / "share" / "Tilebay");
}

TEST_F(LayoutStoreTest, SaveCreatesTheFolderAndLoadReadsItBack)
{
    corvel::log::Capture log;
    EXPECT_FALSE(store_.load());  // a missing file is a first start, not an error
    const LayoutDoc doc = docWithCells(3);
    store_.save(doc);
    EXPECT_EQ(readFile(LayoutStore::filePath()), *doc.encode());
    EXPECT_EQ(entries(LayoutStore::directory()), std::vector<fs::path>{"layout.json"});
    EXPECT_EQ(store_.load(), doc);

    store_.save(docWithCells(1));  // replaces the previous document
    EXPECT_EQ(store_.load(), docWithCells(1));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LayoutStoreTest, UnreadableFilesAreSetAsideNeverOverwritten)
{
    const std::vector<std::string> unreadable{
        "{ this is not json",
        R"({"pollIntervalMs": "fast"})",
        R"({"cells": [{"adapterKind": "tmux"}]})",
        R"({"profiles": [{"id": "p"}]})",
        R"({"profiles": [{"name": "no id"}]})",
        R"(["a", "list"])",
    };
    for (const auto& bytes : unreadable) {
        fs::remove_all(LayoutStore::directory());
        writeFile(LayoutStore::filePath(), bytes);
        corvel::log::Capture log;

        EXPECT_FALSE(store_.load()) << bytes;
        EXPECT_FALSE(fs::exists(LayoutStore::filePath())) << bytes;
        const auto files = entries(LayoutStore::directory());
        ASSERT_EQ(files.size(), 1u) << bytes;
        EXPECT_EQ(files[0].string().rfind("layout.json.unreadable-", 0), 0u) << files[0];
        EXPECT_EQ(readFile(LayoutStore::directory() / files[0]), bytes);
        EXPECT_EQ(log.count("Tilebay: "), 1u);
        EXPECT_TRUE(log.contains(files[0].string()));

        // A second read (the first-run check) finds no file, and the next save
        // writes a new document beside the preserved one.
        EXPECT_FALSE(store_.load());
        store_.save(docWithCells(2));
        EXPECT_EQ(entries(LayoutStore::directory()).size(), 2u);
        EXPECT_EQ(readFile(LayoutStore::directory() / files[0]), bytes);
    }
}

TEST_F(LayoutStoreTest, ANamedPipeOrAFolderInTheFilesPlaceIsSetAsideWithoutWaiting)
{
    for (const bool pipe : {true, false}) {
        fs::remove_all(LayoutStore::directory());
        fs::create_directories(LayoutStore::directory());
        // No writer ever opens the pipe: a blocking open would never return.
        if (pipe) {
            ASSERT_EQ(::mkfifo(LayoutStore::filePath().c_str(), 0600), 0);
        } else {
            fs::create_directory(LayoutStore::filePath());
        }
        corvel::log::Capture log;
        EXPECT_FALSE(store_.load());
        EXPECT_FALSE(fs::exists(LayoutStore::filePath()));
        const auto files = entries(LayoutStore::directory());
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].string().rfind("layout.json.unreadable-", 0), 0u) << files[0];
        EXPECT_TRUE(log.contains("is not a regular file"));
        store_.save(docWithCells(2));
        EXPECT_TRUE(store_.load());
    }
}

TEST_F(LayoutStoreTest, TwoUnreadableFilesInOneSecondKeepBoth)
{
    corvel::log::Capture log;
    writeFile(LayoutStore::filePath(), "first");
    EXPECT_FALSE(store_.load());
    writeFile(LayoutStore::filePath(), "second");
    EXPECT_FALSE(store_.load());
    std::set<std::string> kept;
    for (const auto& f : entries(LayoutStore::directory()))
        kept.insert(readFile(LayoutStore::directory() / f));
    EXPECT_EQ(kept, (std::set<std::string>{"first", "second"}));
}

TEST_F(LayoutStoreTest, FolderThatCannotBeCreatedIsLoggedAndWritesNothing)
{
    writeFile(root_ / "blocker", "a file where a folder should be");
    setenv("XDG_DATA_HOME", (root_ / "blocker").c_str(), 1);
    corvel::log::Capture log;
    store_.save(docWithCells(1));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Tilebay: layout 저장 실패 — ", 0), 0u) << log.lines()[0];
    EXPECT_EQ(readFile(root_ / "blocker"), "a file where a folder should be");
}

TEST_F(LayoutStoreTest, FailedWritesLeaveTheOldFileIntact)
{
    const LayoutDoc old = docWithCells(2);
    store_.save(old);
    const std::string oldBytes = readFile(LayoutStore::filePath());

    // A write that fails half-way (file size limit: the same path as a full disk).
    corvel::log::Capture log;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &small);
    store_.save(docWithCells(50));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(log.count("Tilebay: layout 저장 실패 — "), 1u);
    EXPECT_EQ(readFile(LayoutStore::filePath()), oldBytes);
    EXPECT_EQ(entries(LayoutStore::directory()), std::vector<fs::path>{"layout.json"});

    // A folder without write permission (not enforced for the superuser).
    if (geteuid() != 0) {
        log.clear();
        fs::permissions(LayoutStore::directory(), fs::perms::owner_read | fs::perms::owner_exec);
        store_.save(docWithCells(5));
        fs::permissions(LayoutStore::directory(), fs::perms::owner_all);
        EXPECT_EQ(log.count("Tilebay: layout 저장 실패 — "), 1u);
        EXPECT_EQ(readFile(LayoutStore::filePath()), oldBytes);
    }
    EXPECT_EQ(store_.load(), old);
}
