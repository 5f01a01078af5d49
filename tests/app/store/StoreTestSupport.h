// The store tests' fixture: a temporary data folder for the layout
// document, a hand-moved clock shared by the store and the fake embedded
// adapter, the Qt main queue installed as the process's main queue (the
// iTerm2 adapter answers there), a way to pump events until a condition
// holds, and a count of the layout document's saves (inotify).
#pragma once

#include "../adapters/AdapterTestSupport.h"
#include "FakeEmbeddedAdapter.h"

#include "app/persistence/LayoutDoc.h"
#include "app/store/SessionStore.h"
#include "corvel/platform/Log.h"
#include "corvel/qt/QtMainQueue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>

namespace tilebay::testing {

// Counts the renames that put a new "layout.json" in place: one per save.
// Each save renames a temporary file of a name of its own, so the kernel
// never merges two saves' events into one.
class SaveCounter {
public:
    explicit SaveCounter(const fs::path& dir)
    {
        fs::create_directories(dir);
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0) inotify_add_watch(fd_, dir.c_str(), IN_MOVED_FROM);
    }
    ~SaveCounter()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    SaveCounter(const SaveCounter&) = delete;
    SaveCounter& operator=(const SaveCounter&) = delete;

    // Saves since the last call (a save has finished when persist() returns).
    int take()
    {
        int saves = 0;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && std::strncmp(event->name, ".layout.json.", 13) == 0) ++saves;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return saves;
    }

private:
    int fd_ = -1;
};

class StoreTest : public ::testing::Test {
protected:
    StoreTest() : data_("XDG_DATA_HOME", (dir_.path() / "data").string()), saves_(layoutDir())
    {
        ensureApplication();
        previousMain_ = corvel::DispatchQueue::setMain(mainQueue());
    }
    ~StoreTest() override
    {
        // A poll still out would answer into the next test.
        if (store_) pumpUntil([&] { return !store_->isPollingITerm2() && !store_->importLoading(); });
        store_.reset();
        corvel::DispatchQueue::setMain(previousMain_);
    }

    fs::path layoutDir() const { return dir_.path() / "data" / "Tilebay"; }
    fs::path layoutPath() const { return layoutDir() / "layout.json"; }
    void writeLayout(const std::string& json) { writeFile(layoutPath(), json); }
    std::optional<LayoutDoc> savedDoc() const
    {
        if (!fs::exists(layoutPath())) return std::nullopt;
        return LayoutDoc::decode(readFile(layoutPath()));
    }
    int saves() { return saves_.take(); }

    // The store's dependencies as the tests build them, over `embedded`:
    // the hand-moved clock, a tmux that is there (its lookups counted) and a
    // timer that never runs (the tests call tick()).
    SessionStore::Dependencies dependencies(std::unique_ptr<EmbeddedController> embedded)
    {
        SessionStore::Dependencies deps;
        deps.embedded = std::move(embedded);
        deps.classifier = std::make_unique<StatusClassifier>(StatusClassifier::Patterns::defaults());
        deps.clock = [this] { return clock_; };
        deps.findTmux = [this] {
            ++tmuxLookups_;
            return true;
        };
        deps.runTimer = false;
        return deps;
    }

    SessionStore& makeStore(std::unique_ptr<FakeEmbeddedAdapter> fake = std::make_unique<FakeEmbeddedAdapter>())
    {
        fake->clock = [this] { return clock_; };
        embedded_ = fake.get();
        store_ = std::make_unique<SessionStore>(dependencies(std::move(fake)));
        return *store_;
    }

    void advance(double seconds) { clock_ += static_cast<corvel::Nanos>(seconds * 1e9); }

    // Runs the event loop until `done` holds; false when the hang guard struck.
    static bool pumpUntil(const std::function<bool()>& done)
    {
        const corvel::Nanos until = corvel::monotonicNanos() + kHangGuard;
        for (;;) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            if (done()) return true;
            if (corvel::monotonicNanos() > until) return false;
            usleep(1000);
        }
    }
    // Runs what is queued now (queued polls, adapter answers already posted).
    static void pumpQueued()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    // Runs the queued iTerm2 poll and waits for its answer when it started one.
    bool finishPolls()
    {
        pumpQueued();
        return pumpUntil([&] { return !store_->isPollingITerm2(); });
    }

    TempDir dir_;
    ScopedEnv data_;
    SaveCounter saves_;
    corvel::Nanos clock_ = 1'000'000'000'000;
    FakeEmbeddedAdapter* embedded_ = nullptr;  // owned by the store
    std::unique_ptr<SessionStore> store_;
    int tmuxLookups_ = 0;

private:
    // One Qt main queue for the whole run: a worker that just handed it a
    // block may still be inside async() when a test ends.
    static std::shared_ptr<corvel::DispatchQueue> mainQueue()
    {
        static const auto* queue = new std::shared_ptr<corvel::DispatchQueue>(std::make_shared<corvel::QtMainQueue>());
        return *queue;
    }
    std::shared_ptr<corvel::DispatchQueue> previousMain_;
};

inline std::vector<QString> ids(const SessionStore& store)
{
    std::vector<QString> out;
    for (const auto& c : store.cells()) out.push_back(c->id());
    return out;
}

// An AppleScript listing as the stand-in osascript prints it.
inline std::string listing(const std::vector<ITerm2SessionSnapshot>& sessions)
{
    std::string out;
    for (const auto& s : sessions)
        out += s.guid.toStdString() + "\x1f" + s.name.toStdString() + "\x1f" + s.contents.toStdString() + "\x1e";
    return out;
}

}  // namespace tilebay::testing
