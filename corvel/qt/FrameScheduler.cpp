// FrameScheduler: the frame task, the grants within the paint budget, the
// cost estimates, and the application's shared instance.
#include "corvel/qt/FrameScheduler.h"

#include <QCoreApplication>
#include <QObject>

#include <algorithm>
#include <vector>

namespace corvel {

namespace {

// Keeps the application's scheduler alive as long as the application; views
// hold it too, so either may go first.
class SchedulerHolder final : public QObject {
public:
    SchedulerHolder(QObject* parent, std::shared_ptr<FrameScheduler> scheduler)
        : QObject(parent), scheduler(std::move(scheduler))
    {
        setObjectName(QStringLiteral("corvel.frameScheduler"));
    }
    const std::shared_ptr<FrameScheduler> scheduler;
};

}  // namespace

std::shared_ptr<FrameScheduler> FrameScheduler::create(QueueSource queue, Nanos paintBudget)
{
    if (!queue) queue = [] () -> DispatchQueue& { return DispatchQueue::main(); };
    return std::shared_ptr<FrameScheduler>(new FrameScheduler(std::move(queue), paintBudget));
}

std::shared_ptr<FrameScheduler> FrameScheduler::forApplication()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return create();
    const auto children = app->findChildren<QObject*>(QStringLiteral("corvel.frameScheduler"), Qt::FindDirectChildrenOnly);
    for (QObject* child : children) {
        if (auto* holder = dynamic_cast<SchedulerHolder*>(child)) return holder->scheduler;
    }
    auto scheduler = create();
    new SchedulerHolder(app, scheduler);
    return scheduler;
}

FrameScheduler::FrameScheduler(QueueSource queue, Nanos paintBudget)
    : queue_(std::move(queue)), paintBudget_(std::max<Nanos>(paintBudget, 0))
{
}

FrameScheduler::ClientId FrameScheduler::add(Grant grant)
{
    const ClientId id = nextId_++;
    clients_.emplace(id, Client{std::move(grant), std::nullopt, false});
    return id;
}

void FrameScheduler::remove(ClientId id)
{
    const auto found = clients_.find(id);
    if (found == clients_.end()) return;
    if (found->second.waiting) std::erase(waiting_, id);
    clients_.erase(found);
}

void FrameScheduler::request(ClientId id)
{
    const auto found = clients_.find(id);
    if (found == clients_.end()) return;
    if (!found->second.waiting) {
        found->second.waiting = true;
        waiting_.push_back(id);
    }
    // Coalesced over one frame from the first request, as a view's own
    // redraw task was; a frame armed on a queue that is no longer the
    // current one is replaced.
    if (!armed_ || armedQueue_ != &queue()) arm(frameInterval);
}

void FrameScheduler::reportCost(ClientId id, Nanos cost)
{
    const auto found = clients_.find(id);
    if (found == clients_.end()) return;
    cost = std::max<Nanos>(cost, 0);
    std::optional<Nanos>& estimate = found->second.estimate;
    estimate = estimate && *estimate > cost ? cost + (*estimate - cost) / 2 : cost;
}

bool FrameScheduler::isWaiting(ClientId id) const
{
    const auto found = clients_.find(id);
    return found != clients_.end() && found->second.waiting;
}

size_t FrameScheduler::waitingCount() const
{
    return waiting_.size();
}

Nanos FrameScheduler::estimatedCost(ClientId id) const
{
    const auto found = clients_.find(id);
    if (found != clients_.end() && found->second.estimate) return *found->second.estimate;
    std::optional<Nanos> dearest;
    for (const auto& [other, client] : clients_) {
        if (client.estimate) dearest = std::max(dearest.value_or(0), *client.estimate);
    }
    return dearest.value_or(paintBudget_ / 3);
}

void FrameScheduler::arm(Nanos delay)
{
    DispatchQueue& target = queue();
    armed_ = true;
    armedQueue_ = &target;
    const uint64_t generation = ++generation_;
    target.asyncAfter(delay, [weak = weak_from_this(), generation] {
        if (auto self = weak.lock()) self->runFrame(generation);
    });
}

void FrameScheduler::runFrame(uint64_t generation)
{
    if (!armed_ || generation != generation_) return;  // replaced by a later frame task
    armed_ = false;
    ++frames_;

    // In the order of asking: the first always, then every one whose
    // estimate still fits; the others keep their places.
    std::vector<ClientId> granted;
    Nanos spent = 0;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        const Nanos cost = estimatedCost(*it);
        if (!granted.empty() && spent + cost > paintBudget_) {
            ++it;
            continue;
        }
        spent += cost;
        granted.push_back(*it);
        clients_.at(*it).waiting = false;
        it = waiting_.erase(it);
    }
    // The next frame is armed before the grants run: a granted client that
    // asks again from its grant waits for it like the others.
    if (!waiting_.empty()) arm(frameInterval);
    for (const ClientId id : granted) {
        // A grant may remove other clients (a view closed by its redraw).
        const auto found = clients_.find(id);
        if (found == clients_.end()) continue;
        const Grant grant = found->second.grant;
        if (grant) grant();
    }
}

}  // namespace corvel
