// HookedTerminalView: output hook, child launch, held input, dropped output
// and the composition label.
#include "app/adapters/embedded/HookedTerminalView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QShowEvent>

namespace tilebay {

HookedTerminalView::HookedTerminalView(const QRect& frame, QWidget* parent)
    : LocalProcessTerminalView(frame, parent), sessionDelegate_(std::make_shared<EmbeddedSessionDelegate>())
{
    sessionDelegate_->onTerminated = [this](std::optional<int32_t> exitCode) {
        if (onTerminated) onTerminated(exitCode);
    };
    setProcessDelegate(sessionDelegate_);
}

HookedTerminalView::~HookedTerminalView()
{
    // Nothing reaches the adapter from a view being destroyed.
    onData = nullptr;
    onTerminated = nullptr;
    onHeldInput = nullptr;
    onStartFailed = nullptr;
    sessionDelegate_->onTerminated = nullptr;
}

bool HookedTerminalView::startProcess(const std::string& executable, const std::vector<std::string>& args,
                                      const std::optional<std::vector<std::string>>& environment,
                                      const std::optional<std::string>& execName,
                                      const std::optional<std::string>& currentDirectory)
{
    pendingStart_.reset();
    droppingOutput_ = false;
    if (process().running()) return false;
    // Whether a child was made is the start's own answer: a child that ended
    // at once may already count as not running.
    const bool started =
        LocalProcessTerminalView::startProcess(executable, args, environment, execName, currentDirectory);
    if (!started && onStartFailed) onStartFailed();
    return started;
}

void HookedTerminalView::startProcess(const LaunchCommand& command)
{
    startProcess(command.executable, command.args, command.environment, command.execName, command.currentDirectory);
}

void HookedTerminalView::startProcessOnceLaidOut(const LaunchCommand& command)
{
    if (isVisible()) {
        startProcess(command);
        return;
    }
    if (!process().running()) pendingStart_ = command;
}

void HookedTerminalView::showEvent(QShowEvent* event)
{
    LocalProcessTerminalView::showEvent(event);
    if (!pendingStart_) return;
    const LaunchCommand command = std::move(*pendingStart_);
    pendingStart_.reset();
    startProcess(command);
}

void HookedTerminalView::terminate()
{
    pendingStart_.reset();
    LocalProcessTerminalView::terminate();
}

void HookedTerminalView::hold(HeldInput input)
{
    if (onHeldInput) onHeldInput(std::move(input));
}

void HookedTerminalView::send(const std::string& text)
{
    if (holdsInput()) {
        hold({text, HeldInput::Kind::sent});
        return;
    }
    TerminalView::send(std::string_view(text));
}

void HookedTerminalView::pasteText(const std::string& text)
{
    if (holdsInput()) {
        hold({text, HeldInput::Kind::pasted});
        return;
    }
    insertText(text, true);
}

void HookedTerminalView::paste()
{
    if (holdsInput()) {
        hold({QGuiApplication::clipboard()->text().toStdString(), HeldInput::Kind::pasted});
        return;
    }
    LocalProcessTerminalView::paste();
}

void HookedTerminalView::send(corvel::TerminalView&, std::span<const uint8_t> data)
{
    // A child that ended before the pane learnt of it refuses the bytes:
    // they are held as if it had been known.
    if (holdsInput() || !process().send(data)) hold({std::string(data.begin(), data.end()), HeldInput::Kind::typed});
}

void HookedTerminalView::sendReport(corvel::TerminalView& source, std::span<const uint8_t> data)
{
    // A report answers the pointer or focus of a moment that has passed by
    // the time a held back input would go on.
    if (holdsInput()) return;
    LocalProcessTerminalView::sendReport(source, data);
}

void HookedTerminalView::dataReceived(std::span<const uint8_t> slice)
{
    if (droppingOutput_) {
        droppedOutput_ += slice.size();
        return;
    }
    feed(slice);
    if (onData) onData();
}

void HookedTerminalView::inputNotWritten(std::span<const uint8_t> bytes)
{
    hold({std::string(bytes.begin(), bytes.end()), HeldInput::Kind::typed, true});
}

// ---- input method ----

void HookedTerminalView::insertText(const std::string& text)
{
    imeMarked_.clear();
    hideOverlay();
    LocalProcessTerminalView::insertText(text);
}

void HookedTerminalView::setMarkedText(const std::string& text)
{
    imeMarked_ = QString::fromStdString(text);
    if (imeMarked_.isEmpty()) {
        TerminalView::unmarkText();
        hideOverlay();
        return;
    }
    // Keeps the view's own composing flag, which holds back Kitty key reports.
    TerminalView::setMarkedText(text);
    showOverlay();
}

void HookedTerminalView::unmarkText()
{
    const QString composed = imeMarked_;
    imeMarked_.clear();
    TerminalView::unmarkText();
    hideOverlay();
    // Typed, as a commit from the input method is.
    if (!composed.isEmpty()) TerminalView::send(std::string_view(composed.toStdString()));
}

corvel::TextRange HookedTerminalView::markedRange()
{
    if (imeMarked_.isEmpty()) return {};
    return {0, imeMarked_.size()};
}

void HookedTerminalView::inputMethodEvent(QInputMethodEvent* event)
{
    const QString commit = event->commitString();
    const QString preedit = event->preeditString();
    if (!commit.isEmpty()) insertText(commit.toStdString());
    // An empty composing string ends the composition; what was committed
    // went out above, and a composition erased without a commit sends nothing.
    setMarkedText(preedit.toStdString());
    event->accept();
}

QLabel& HookedTerminalView::overlay()
{
    if (!imeOverlay_) {
        imeOverlay_ = new QLabel(this);
        imeOverlay_->setObjectName(QStringLiteral("imeOverlay"));
        imeOverlay_->setAttribute(Qt::WA_TransparentForMouseEvents);
        // Near-black behind white text, in an orange frame with round corners.
        imeOverlay_->setStyleSheet(QStringLiteral("QLabel { background-color: rgb(31, 31, 31); color: white; "
                                                  "border: 1.5px solid rgb(255, 149, 0); border-radius: 3px; }"));
        imeOverlay_->hide();
    }
    return *imeOverlay_;
}

void HookedTerminalView::showOverlay()
{
    QLabel& label = overlay();
    label.raise();
    label.setFont(font());
    label.setText(imeMarked_);
    label.adjustSize();
    // The caret's cell in view coordinates; before the caret has a place
    // (a zero rectangle) the label stays where it was.
    const QRectF caret = firstRect();
    if (!caret.isNull()) label.move(caret.topLeft().toPoint());
    label.show();
}

void HookedTerminalView::hideOverlay()
{
    if (imeOverlay_) imeOverlay_->hide();
}

}  // namespace tilebay
