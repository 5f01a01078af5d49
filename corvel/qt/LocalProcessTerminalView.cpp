// LocalProcessTerminalView: the view joined to its child process.
#include "corvel/qt/LocalProcessTerminalView.h"

#include "corvel/platform/Utf8.h"

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace corvel {

// The view's reports to its delegate, landing on the view's own members.
class LocalProcessTerminalView::ViewForwarder final : public TerminalViewDelegate {
public:
    explicit ViewForwarder(LocalProcessTerminalView* view) : view(view) {}
    LocalProcessTerminalView* view;

    void sizeChanged(TerminalView& source, int newCols, int newRows) override
    {
        if (view) view->sizeChanged(source, newCols, newRows);
    }
    void setTerminalTitle(TerminalView& source, const std::string& title) override
    {
        if (view) view->setTerminalTitle(source, title);
    }
    void hostCurrentDirectoryUpdate(TerminalView& source, const std::optional<std::string>& directory) override
    {
        if (view) view->hostCurrentDirectoryUpdate(source, directory);
    }
    void send(TerminalView& source, std::span<const uint8_t> data) override
    {
        if (view) view->send(source, data);
    }
    void sendReport(TerminalView& source, std::span<const uint8_t> data) override
    {
        if (view) view->sendReport(source, data);
    }
    void sendReply(TerminalView& source, std::span<const uint8_t> data) override
    {
        if (view) view->sendReply(source, data);
    }
    void scrolled(TerminalView& source, double position) override
    {
        if (view) view->scrolled(source, position);
    }
    void rangeChanged(TerminalView& source, int startY, int endY) override
    {
        if (view) view->rangeChanged(source, startY, endY);
    }
    void clipboardCopy(TerminalView& source, std::span<const uint8_t> content) override
    {
        if (view) view->clipboardCopy(source, content);
    }
};

// The process's reports, landing on the view's own members.
class LocalProcessTerminalView::ProcessForwarder final : public LocalProcessDelegate {
public:
    explicit ProcessForwarder(LocalProcessTerminalView* view) : view(view) {}
    LocalProcessTerminalView* view;

    void processTerminated(LocalProcess& source, std::optional<int32_t> exitCode) override
    {
        if (view) view->processTerminated(source, exitCode);
    }
    void dataReceived(std::span<const uint8_t> slice) override
    {
        if (view) view->dataReceived(slice);
    }
    void inputNotWritten(std::span<const uint8_t> bytes) override
    {
        if (view) view->inputNotWritten(bytes);
    }
    WindowSize getWindowSize() override { return view ? view->getWindowSize() : WindowSize{}; }
};

LocalProcessTerminalView::LocalProcessTerminalView(QWidget* parent) : TerminalView(parent)
{
    connectSelf();
}

LocalProcessTerminalView::LocalProcessTerminalView(const QRect& frame, QWidget* parent)
    : TerminalView(frame, std::nullopt, parent)
{
    connectSelf();
}

LocalProcessTerminalView::~LocalProcessTerminalView()
{
    viewForwarder_->view = nullptr;
    processForwarder_->view = nullptr;
    process_.reset();
}

void LocalProcessTerminalView::connectSelf()
{
    viewForwarder_ = std::make_shared<ViewForwarder>(this);
    processForwarder_ = std::make_shared<ProcessForwarder>(this);
    setTerminalDelegate(viewForwarder_);
    process_ = std::make_unique<LocalProcess>(processForwarder_);
}

bool LocalProcessTerminalView::startProcess(const std::string& executable, const std::vector<std::string>& args,
                                            const std::optional<std::vector<std::string>>& environment,
                                            const std::optional<std::string>& execName,
                                            const std::optional<std::string>& currentDirectory)
{
    if (process_->running()) return false;
    return process_->startProcess(executable, args, environment, execName, currentDirectory);
}

void LocalProcessTerminalView::terminate()
{
    process_->terminate();
}

void LocalProcessTerminalView::setHostLogging(std::optional<std::string> directory)
{
    process_->setHostLogging(std::move(directory));
}

// ---- as its own view delegate ----

void LocalProcessTerminalView::sizeChanged(TerminalView&, int newCols, int newRows)
{
    if (!process_->running()) return;
    const WindowSize size = getWindowSize();
    ioctl(process_->childfd(), TIOCSWINSZ, &size);
    if (auto delegate = processDelegate_.lock()) delegate->sizeChanged(*this, newCols, newRows);
}

void LocalProcessTerminalView::setTerminalTitle(TerminalView&, const std::string& title)
{
    if (auto delegate = processDelegate_.lock()) delegate->setTerminalTitle(*this, title);
}

void LocalProcessTerminalView::hostCurrentDirectoryUpdate(TerminalView&, const std::optional<std::string>& directory)
{
    if (auto delegate = processDelegate_.lock()) delegate->hostCurrentDirectoryUpdate(*this, directory);
}

void LocalProcessTerminalView::send(TerminalView&, std::span<const uint8_t> data)
{
    process_->send(data);
}

void LocalProcessTerminalView::sendReport(TerminalView&, std::span<const uint8_t> data)
{
    process_->sendReport(data);
}

void LocalProcessTerminalView::sendReply(TerminalView&, std::span<const uint8_t> data)
{
    process_->sendReply(data);
}

void LocalProcessTerminalView::scrolled(TerminalView&, double) {}

void LocalProcessTerminalView::rangeChanged(TerminalView&, int, int) {}

void LocalProcessTerminalView::clipboardCopy(TerminalView&, std::span<const uint8_t> content)
{
    if (!utf8::isValid(content)) return;
    QGuiApplication::clipboard()->setText(
        QString::fromUtf8(reinterpret_cast<const char*>(content.data()), qsizetype(content.size())));
}

// ---- as its process's delegate ----

void LocalProcessTerminalView::processTerminated(LocalProcess&, std::optional<int32_t> exitCode)
{
    if (auto delegate = processDelegate_.lock()) delegate->processTerminated(*this, exitCode);
}

void LocalProcessTerminalView::dataReceived(std::span<const uint8_t> slice)
{
    feed(slice);
}

void LocalProcessTerminalView::inputNotWritten(std::span<const uint8_t>) {}

WindowSize LocalProcessTerminalView::getWindowSize()
{
    Terminal& terminal = getTerminal();
    auto field = [](double value) {
        return static_cast<unsigned short>(std::clamp(value, 0.0, 65535.0));
    };
    WindowSize size{};
    size.rows = field(terminal.rows());
    size.cols = field(terminal.cols());
    const QSizeF cell = cellDimension().value_or(QSizeF(0, 0));
    const double scale = devicePixelRatioF();
    size.pixelWidth = field(std::round(cell.width() * scale * terminal.cols()));
    size.pixelHeight = field(std::round(cell.height() * scale * terminal.rows()));
    return size;
}

}  // namespace corvel
