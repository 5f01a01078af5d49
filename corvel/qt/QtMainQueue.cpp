// Qt-backed main queue. Timers belong to the thread that starts them, so a
// delayed block posted from another thread first hops to the GUI thread and
// starts its timer there, with the delay that is left by then.
#include "corvel/qt/QtMainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace corvel {

QtMainQueue::QtMainQueue() : context_(std::make_unique<QObject>()) {}

QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::async(std::function<void()> block)
{
    QMetaObject::invokeMethod(context_.get(), [block = std::move(block)] { block(); }, Qt::QueuedConnection);
}

void QtMainQueue::asyncAfter(Nanos delay, std::function<void()> block)
{
    const Nanos due = now() + std::max<Nanos>(delay, 0);
    if (isCurrent()) {
        startTimer(due, std::move(block));
        return;
    }
    QMetaObject::invokeMethod(
        context_.get(), [this, due, block = std::move(block)]() mutable { startTimer(due, std::move(block)); },
        Qt::QueuedConnection);
}

void QtMainQueue::startTimer(Nanos due, std::function<void()> block)
{
    const Nanos left = std::max<Nanos>(due - now(), 0);
    const auto ms = std::chrono::milliseconds((left + 999'999) / 1'000'000);
    QTimer::singleShot(ms, Qt::PreciseTimer, context_.get(), [block = std::move(block)] { block(); });
}

bool QtMainQueue::isCurrent() const
{
    return QThread::currentThread() == context_->thread();
}

}  // namespace corvel
