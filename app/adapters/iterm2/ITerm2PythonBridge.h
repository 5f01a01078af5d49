// The bridge to the iTerm2 helper: the script "iterm2_helper.py" from the
// application's resource folder, run by "venv/bin/python" in the
// application's data folder, speaking newline-delimited JSON over its
// standard input and output (ITerm2HelperProtocol). The bridge owns the
// helper process, numbers the requests (1, 2, 3, … for the whole life of the
// bridge, never 0), matches replies to waiting requests and offers two
// requests: list every session and activate one.
//
// Threads: the main thread calls startIfNeeded(), stop() and isAvailable();
// every request runs on the bridge's own serial queue, so at most one is
// outstanding; a reader thread (1 MiB stack) frames the helper's output into
// lines and hands each reply to the request that waits for it. The request
// counter, the replies, the waiters, the availability flag and the current
// helper are touched only under one mutex, which is never held while writing
// to the helper or while waiting. A reply that no request waits for (a late
// one, or one nobody asked for) is dropped at once.
//
// Ownership and lifetime: the reader holds the bridge's shared state weakly
// and the helper strongly. When the helper's output ends, the reader marks
// the bridge unavailable, wakes any waiting request, and reaps the helper
// (asking it to end, then killing it after a grace period). stop() and the
// destructor do the same through the reader; the destructor also waits for
// the reader, so no thread or zombie outlives the bridge. The helper's
// standard error goes to /dev/null and its input is written without SIGPIPE,
// so a dead helper never ends the application.
#pragma once

#include "app/adapters/iterm2/ITerm2SessionSnapshot.h"

#include "corvel/platform/Dispatch.h"

#include <QString>

#include <pthread.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tilebay {

class ITerm2PythonBridge {
public:
    struct Options {
        corvel::Nanos startTimeout = 4'000'000'000;     // wait for the hello
        corvel::Nanos snapshotTimeout = 4'000'000'000;  // wait for a listing
        corvel::Nanos activateTimeout = 3'000'000'000;  // wait for an activation
        // Where "iterm2_helper.py" is looked for; none: defaultResourceDirectory().
        std::optional<std::filesystem::path> resourceDirectory;
    };

    using SnapshotHandler = std::function<void(std::optional<std::vector<ITerm2SessionSnapshot>>)>;

    ITerm2PythonBridge();
    explicit ITerm2PythonBridge(Options options);
    ~ITerm2PythonBridge();
    ITerm2PythonBridge(const ITerm2PythonBridge&) = delete;
    ITerm2PythonBridge& operator=(const ITerm2PythonBridge&) = delete;

    // Starts the helper when none runs and waits (blocking the caller up to
    // the start time-out) for its hello; true when the bridge is available.
    bool startIfNeeded();
    // Lists the sessions on the bridge's queue; `done` gets them on the main
    // queue, or no value when the helper gave no usable answer.
    void snapshot(SnapshotHandler done);
    // Asks the helper to activate the session; returns at once.
    void activate(const QString& guid);
    // Ends the helper and marks the bridge unavailable.
    void stop();
    // The helper answered its hello and its output is still open.
    bool isAvailable() const;

    // How many replies are held for requests still waiting (diagnostics).
    size_t heldReplyCount() const;

    // The interpreter "venv/bin/python" in LayoutStore::directory(), when it
    // is an executable file.
    static std::optional<std::filesystem::path> venvPython();
    // "<prefix>/share/tilebay" beside the running program's "<prefix>/bin".
    static std::filesystem::path defaultResourceDirectory();

    struct Shared;
    struct HelperRun;

private:
    std::optional<std::vector<ITerm2SessionSnapshot>> snapshotSync();
    void startReader(const std::shared_ptr<HelperRun>& run);
    void joinReader();

    const Options options_;
    const std::shared_ptr<Shared> shared_;
    std::optional<pthread_t> reader_;  // main thread only
    // Declared last so that it goes first: its destructor waits for the
    // running request, which still uses the members above.
    corvel::SerialQueue queue_{"com.tilebay.Tilebay.iterm2bridge"};
};

}  // namespace tilebay
