// FrameScheduler: one frame clock for all the terminal views of a process, so
// that many busy views together still leave the GUI thread time for its other
// work. Qt paints every invalidated widget of a window in one backing-store
// sync, so sixteen views redrawn in the same frame make one long event; the
// scheduler spreads them instead.
//
// Views ask for a redraw (request); once per frame (frameInterval, 60 Hz) the
// scheduler grants waiting views in the order they asked until the estimated
// paint cost of the frame reaches the paint budget, always granting at least
// the first; the rest keep their place for the next frame. A granted view
// that asks again goes to the back, so every view is granted within as many
// frames as there are views and none starves; a view is granted at most once
// per frame, so it redraws at most 60 times a second.
//
// A view's estimated cost comes from its measured paints (reportCost): a
// higher cost is taken at once, a lower one halves the distance, so one cheap
// partial paint does not make a full one look cheap. A view not yet measured
// counts as the dearest measured view, or as a third of the budget while none
// was measured, so a window of new views fills in over a few frames.
//
// The frame task runs on the queue that `queue` names when the frame is
// armed (the process's main queue by default); a request made while the
// main queue is another one than the armed frame's re-arms on the current one,
// so a frame never waits on a queue nobody pumps any more. Time is that
// queue's clock. One thread only: the one that runs the queue's blocks.
// Always held by a shared_ptr (create); the frame task holds it weakly.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

namespace corvel {

class FrameScheduler : public std::enable_shared_from_this<FrameScheduler> {
public:
    using ClientId = uint64_t;
    using Grant = std::function<void()>;
    using QueueSource = std::function<DispatchQueue&()>;

    // One 60 Hz frame.
    static constexpr Nanos frameInterval = 16'670'000;
    // Painting granted per frame: with program output's own turn of 5 ms the
    // rest of the frame stays free for timers, input, and the time a loaded
    // machine keeps this thread waiting for a processor.
    static constexpr Nanos defaultPaintBudget = 4'000'000;

    // On the process's main queue unless `queue` names another.
    static std::shared_ptr<FrameScheduler> create(QueueSource queue = {}, Nanos paintBudget = defaultPaintBudget);
    // The one scheduler shared by the views of the running application (kept
    // by the QCoreApplication, made on first use); a scheduler of its own when
    // there is no application. GUI thread only.
    static std::shared_ptr<FrameScheduler> forApplication();

    FrameScheduler(const FrameScheduler&) = delete;
    FrameScheduler& operator=(const FrameScheduler&) = delete;

    // A new client; `grant` is called when its redraw is granted.
    ClientId add(Grant grant);
    // Forgets the client and its waiting request.
    void remove(ClientId id);
    // Asks for a redraw in a coming frame; nothing more while one is waiting.
    void request(ClientId id);
    // The measured cost of one paint of the client.
    void reportCost(ClientId id, Nanos cost);

    bool isWaiting(ClientId id) const;
    size_t waitingCount() const;
    // The cost the next grant of the client is counted at.
    Nanos estimatedCost(ClientId id) const;
    Nanos paintBudget() const { return paintBudget_; }
    // Frames run so far.
    uint64_t frames() const { return frames_; }

private:
    struct Client {
        Grant grant;
        std::optional<Nanos> estimate;  // none until a paint was measured
        bool waiting = false;
    };

    FrameScheduler(QueueSource queue, Nanos paintBudget);
    DispatchQueue& queue() const { return queue_(); }
    void arm(Nanos delay);
    void runFrame(uint64_t generation);

    const QueueSource queue_;
    const Nanos paintBudget_;
    std::unordered_map<ClientId, Client> clients_;
    std::deque<ClientId> waiting_;  // in the order of asking
    ClientId nextId_ = 1;
    uint64_t frames_ = 0;
    // The armed frame task: only the one of the current generation runs.
    bool armed_ = false;
    uint64_t generation_ = 0;
    const DispatchQueue* armedQueue_ = nullptr;
};

}  // namespace corvel
