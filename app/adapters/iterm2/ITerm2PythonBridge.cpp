#include "app/adapters/iterm2/ITerm2PythonBridge.h"

#include "app/adapters/iterm2/ITerm2HelperProtocol.h"
#include "app/adapters/iterm2/LineFramer.h"
#include "app/core/ChildProcess.h"
#include "app/persistence/LayoutStore.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>

namespace tilebay {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kScriptName = "iterm2_helper.py";
// How long a helper may take to end after SIGTERM before it is killed.
constexpr corvel::Nanos kStopGrace = 2'000'000'000;
constexpr size_t kReaderStackSize = 1 << 20;

// One request's wait for its reply. Signalled by the reader when the reply
// arrives, or when the helper's output ends or the bridge stops.
class Waiter {
public:
    void signal()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_all();
    }
    // True when signalled before the monotonic `deadline`.
    bool waitUntil(corvel::Nanos deadline)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!signalled_) {
            const corvel::Nanos left = deadline - corvel::monotonicNanos();
            if (left <= 0) return false;
            cv_.wait_for(lock, std::chrono::nanoseconds(left));
        }
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

}  // namespace

// One started helper and the pipe that tells its reader to finish.
struct ITerm2PythonBridge::HelperRun {
    explicit HelperRun(std::unique_ptr<ChildProcess> child) : process(std::move(child))
    {
        if (::pipe2(wake, O_CLOEXEC) != 0) wake[0] = wake[1] = -1;
    }
    ~HelperRun()
    {
        for (int fd : wake)
            if (fd >= 0) ::close(fd);
    }
    void interrupt()
    {
        if (wake[1] >= 0) {
            const char byte = 1;
            while (::write(wake[1], &byte, 1) < 0 && errno == EINTR) {
            }
        }
    }

    const std::shared_ptr<ChildProcess> process;
    int wake[2] = {-1, -1};
    bool ended = false;  // the helper's output ended; under Shared::mutex
};

struct ITerm2PythonBridge::Shared {
    mutable std::mutex mutex;
    int64_t nextId = 1;
    std::map<int64_t, json> responses;
    std::map<int64_t, std::shared_ptr<Waiter>> waiters;
    std::shared_ptr<HelperRun> run;  // the current helper; none when stopped
    bool available = false;

    void wakeAllLocked()
    {
        for (auto& [id, waiter] : waiters) waiter->signal();
    }

    // On the reader thread: keeps a reply only when a request waits for it.
    void handleLine(std::string_view line)
    {
        auto reply = ITerm2HelperProtocol::decodeReply(line);
        if (!reply) return;
        std::lock_guard<std::mutex> lock(mutex);
        const auto waiter = waiters.find(reply->id);
        if (waiter == waiters.end()) return;
        responses[reply->id] = std::move(reply->object);
        waiter->second->signal();
    }
};

namespace {

void readLoop(std::weak_ptr<ITerm2PythonBridge::Shared> weak,
              std::shared_ptr<ITerm2PythonBridge::HelperRun> run)
{
    LineFramer framer;
    std::string chunk(65536, '\0');
    const int output = run->process->outputFd();
    for (;;) {
        pollfd fds[2] = {{output, POLLIN, 0}, {run->wake[0], POLLIN, 0}};
        const int ready = ::poll(fds, run->wake[0] >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (fds[1].revents & POLLIN)) break;
        const ssize_t n = ::read(output, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // end of file: the helper is gone or closed its output
        auto shared = weak.lock();
        if (!shared) break;
        framer.append(std::string_view(chunk.data(), static_cast<size_t>(n)),
                      [&](std::string_view line) { shared->handleLine(line); });
    }
    // Bytes after the last line feed are dropped with the framer.
    if (auto shared = weak.lock()) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        run->ended = true;
        if (shared->run == run) {
            shared->available = false;
            shared->wakeAllLocked();
        }
    }
    // The helper is of no more use: let it end, and reap it.
    if (!run->process->tryReap()) {
        run->process->signal(SIGTERM);
        run->process->reapBy(corvel::monotonicNanos() + kStopGrace);
    }
}

void* readerMain(void* argument)
{
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    (*body)();
    return nullptr;
}

}  // namespace

ITerm2PythonBridge::ITerm2PythonBridge() : ITerm2PythonBridge(Options{}) {}

ITerm2PythonBridge::ITerm2PythonBridge(Options options)
    : options_(std::move(options)), shared_(std::make_shared<Shared>())
{
}

ITerm2PythonBridge::~ITerm2PythonBridge()
{
    stop();
    joinReader();
}

std::optional<fs::path> ITerm2PythonBridge::venvPython()
{
    const fs::path path = LayoutStore::directory() / "venv" / "bin" / "python";
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    if (::access(path.c_str(), X_OK) != 0) return std::nullopt;
    return path;
}

fs::path ITerm2PythonBridge::defaultResourceDirectory()
{
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::path("/usr/share/tilebay");
    return program.parent_path().parent_path() / "share" / "tilebay";
}

bool ITerm2PythonBridge::startIfNeeded()
{
    if (isAvailable()) return true;

    const auto python = venvPython();
    if (!python) return false;
    const fs::path script =
        options_.resourceDirectory.value_or(defaultResourceDirectory()) / kScriptName;
    std::error_code ec;
    if (!fs::is_regular_file(script, ec)) return false;

    // A helper that ended before leaves a reader that is finishing; wait for it.
    stop();
    joinReader();

    auto hello = std::make_shared<Waiter>();
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->responses.erase(0);
        shared_->waiters[0] = hello;
    }
    ChildProcess::Launch launch;
    launch.program = python->string();
    launch.searchPath = true;
    launch.argv = {python->string(), script.string()};
    launch.input = ChildProcess::Input::socket;
    int error = 0;
    auto child = ChildProcess::start(launch, error);
    if (!child) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->waiters.erase(0);
        return false;
    }
    auto run = std::make_shared<HelperRun>(std::move(child));
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->run = run;
        shared_->available = false;
    }
    startReader(run);

    const bool answered = hello->waitUntil(corvel::monotonicNanos() + options_.startTimeout);
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->waiters.erase(0);
        const auto reply = shared_->responses.find(0);
        const bool accepted = answered && reply != shared_->responses.end() &&
                              reply->second.contains("result") && !run->ended &&
                              shared_->run == run;
        if (reply != shared_->responses.end()) shared_->responses.erase(reply);
        if (accepted) {
            shared_->available = true;
            return true;
        }
    }
    stop();
    return false;
}

void ITerm2PythonBridge::startReader(const std::shared_ptr<HelperRun>& run)
{
    auto* body = new std::function<void()>(
        [weak = std::weak_ptr<Shared>(shared_), run] { readLoop(weak, run); });
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kReaderStackSize);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attributes, readerMain, body);
    pthread_attr_destroy(&attributes);
    if (rc != 0) {
        delete body;
        // Without a reader no reply can arrive: the start waits out its
        // time-out and stops the helper.
        return;
    }
    reader_ = thread;
}

void ITerm2PythonBridge::joinReader()
{
    if (!reader_) return;
    pthread_join(*reader_, nullptr);
    reader_.reset();
}

void ITerm2PythonBridge::stop()
{
    std::shared_ptr<HelperRun> run;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->available = false;
        run = std::move(shared_->run);
        shared_->run.reset();
        shared_->wakeAllLocked();
    }
    if (!run) return;
    run->process->signal(SIGTERM);
    run->interrupt();  // the reader stops reading and reaps the helper
}

bool ITerm2PythonBridge::isAvailable() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->available && shared_->run && !shared_->run->ended;
}

size_t ITerm2PythonBridge::heldReplyCount() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->responses.size();
}

namespace {

// Sends one request and waits up to `timeout` for its reply.
std::optional<json> request(ITerm2PythonBridge::Shared& shared, json payload, corvel::Nanos timeout)
{
    auto waiter = std::make_shared<Waiter>();
    std::shared_ptr<ITerm2PythonBridge::HelperRun> run;
    int64_t id = 0;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        run = shared.run;
        if (!run || run->ended) return std::nullopt;
        id = shared.nextId++;
        shared.waiters[id] = waiter;
    }
    const corvel::Nanos deadline = corvel::monotonicNanos() + timeout;
    const std::string line = ITerm2HelperProtocol::requestLine(std::move(payload), id);
    bool answered = run->process->writeInput(line, deadline);
    if (answered) answered = waiter->waitUntil(deadline);

    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.waiters.erase(id);
    const auto reply = shared.responses.find(id);
    if (reply == shared.responses.end()) return std::nullopt;
    std::optional<json> result;
    if (answered) result = std::move(reply->second);
    shared.responses.erase(reply);
    return result;
}

}  // namespace

std::optional<std::vector<ITerm2SessionSnapshot>> ITerm2PythonBridge::snapshotSync()
{
    const auto reply = request(*shared_, json{{"method", "snapshot"}}, options_.snapshotTimeout);
    if (!reply) return std::nullopt;
    return ITerm2HelperProtocol::snapshotsFromReply(*reply);
}

void ITerm2PythonBridge::snapshot(SnapshotHandler done)
{
    queue_.async([this, done = std::move(done)]() mutable {
        auto sessions = snapshotSync();
        corvel::DispatchQueue::main().async(
            [done = std::move(done), sessions = std::move(sessions)]() mutable { done(std::move(sessions)); });
    });
}

void ITerm2PythonBridge::activate(const QString& guid)
{
    queue_.async([this, guid = guid.toStdString()] {
        request(*shared_, json{{"method", "activate"}, {"guid", guid}}, options_.activateTimeout);
    });
}

}  // namespace tilebay
