// The edit and find commands of TerminalView: copy, paste and select all as
// actions with widget-scoped shortcuts (Ctrl+Shift+C, V, A; Ctrl+Shift+F
// shows the find bar), their validation for menus, and the find operations
// that the find bar, the menu commands and the application call. A match is
// shown as the view's selection and scrolled to the middle of the screen
// when it lies outside it.
//
// The keys of these commands belong to the view, never to the program: a
// command that cannot run (copy with nothing selected) leaves its key with
// nothing to do, and the key is not typed either. A copy of nothing but
// empty cells leaves the clipboard as it was.
//
// The find bar is made on first use, floats 8 pixels from the view's top and
// trailing edges, at most 520 pixels wide, and is only hidden afterwards.
// The find pasteboard is the process-wide term. GUI thread only.
#include "corvel/qt/TerminalView.h"

#include "corvel/qt/FindBarController.h"
#include "corvel/qt/FindPasteboard.h"
#include "corvel/qt/TerminalFindBarView.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>

#include <algorithm>
#include <cstdio>

namespace corvel {

namespace {

constexpr int kFindBarMargin = 8;
constexpr int kFindBarMaxWidth = 520;

}  // namespace

void TerminalView::setupCommands()
{
    auto make = [this](const char* name, QKeyCombination keys, std::function<void()> run) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(QKeySequence(keys));
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
        addAction(action);
        return action;
    };
    copyAction_ = make("copy", Qt::CTRL | Qt::SHIFT | Qt::Key_C, [this] { copy(); });
    pasteAction_ = make("paste", Qt::CTRL | Qt::SHIFT | Qt::Key_V, [this] { paste(); });
    selectAllAction_ = make("selectAll", Qt::CTRL | Qt::SHIFT | Qt::Key_A, [this] { selectAll(); });
    findAction_ = make("find", Qt::CTRL | Qt::SHIFT | Qt::Key_F, [this] { performFindPanelAction(1); });
    updateCommandEnablement();
}

void TerminalView::updateCommandEnablement()
{
    if (copyAction_ && selection_) copyAction_->setEnabled(selection_->active());
}

// ---- clipboard ----

void TerminalView::copy()
{
    // An inactive selection still has ends; they name nothing to copy.
    const auto text = getSelection();
    if (!text || text->empty()) return;
    QGuiApplication::clipboard()->setText(QString::fromStdString(*text));
}

bool TerminalView::isCommandKey(const QKeyEvent& event) const
{
    const auto modifiers = event.modifiers() & ~Qt::KeypadModifier;
    const QKeySequence pressed(QKeyCombination(modifiers, Qt::Key(event.key())));
    for (const QAction* action : {copyAction_, pasteAction_, selectAllAction_, findAction_})
        if (action && action->shortcut() == pressed) return true;
    return false;
}

void TerminalView::paste()
{
    insertText(QGuiApplication::clipboard()->text().toStdString(), true);
}

bool TerminalView::validateUserInterfaceItem(std::string_view action, std::optional<int> tag)
{
    const bool active = selection_->active();
    const int t = tag.value_or(0);
    if (action == "performFindPanelAction:") {
        if (t == 1 || t == 2 || t == 3) return true;
        return t == 7 && active;
    }
    if (action == "performTextFinderAction:") {
        if (t == 1 || t == 2 || t == 3 || t == 11 || t == 12 || t == 13) return true;
        return t == 7 && active;
    }
    if (action == "paste:" || action == "selectAll:") return true;
    if (action == "copy:") return active;
    std::printf("Validating User Interface Item: %.*s\n", static_cast<int>(action.size()), action.data());
    std::fflush(stdout);
    return false;
}

// ---- find commands ----

void TerminalView::performFindPanelAction(int tag)
{
    switch (tag) {
    case 1: showFindBar(true); break;
    case 2: performFind(true); break;
    case 3: performFind(false); break;
    case 7:
        setFindPasteboardFromSelection();
        showFindBar(true);
        break;
    default: break;
    }
}

void TerminalView::performTextFinderAction(int tag)
{
    if (tag != 11) {
        performFindPanelAction(tag);
        return;
    }
    if (findBarController_) {
        findBarController_->hideFindBar();
    } else {
        setFocus(Qt::OtherFocusReason);
    }
}

void TerminalView::setFindPasteboardFromSelection()
{
    const auto text = getSelection();
    if (text && !text->empty()) findpasteboard::setText(*text);
}

TerminalFindBarView& TerminalView::ensureFindBar()
{
    if (!findBar_) {
        findBar_ = new TerminalFindBarView(this);
        findBar_->hide();
        findBarController_ = std::make_unique<FindBarController>(*findBar_, *this);
    }
    placeFindBar();
    return *findBar_;
}

void TerminalView::placeFindBar()
{
    if (!findBar_) return;
    const QSize hint = findBar_->sizeHint();
    const int widest = std::min(kFindBarMaxWidth, width() - 2 * kFindBarMargin);
    // In a narrow view the margins give way before the bar goes under the
    // width that keeps its field usable; it never outgrows the view.
    int barWidth = std::min(hint.width(), widest);
    barWidth = std::max(barWidth, std::min(findBar_->minimumUsableWidth(), width()));
    barWidth = std::max(barWidth, 0);
    const int right = std::min(kFindBarMargin, std::max(0, (width() - barWidth) / 2));
    findBar_->setGeometry(width() - right - barWidth, kFindBarMargin, barWidth, hint.height());
}

void TerminalView::showFindBar(bool prefillSelection)
{
    ensureFindBar();
    findBarController_->showFindBar(prefillSelection ? getSelection() : std::nullopt);
}

void TerminalView::performFind(bool next)
{
    if (findBarController_) {
        findBarController_->performFind(next);
        return;
    }
    const auto term = findpasteboard::text();
    if (!term || term->empty()) return;
    if (next) {
        findNext(*term, SearchOptions{}, true);
    } else {
        findPrevious(*term, SearchOptions{}, true);
    }
}

bool TerminalView::findNext(const std::string& term, const SearchOptions& options, bool scrollToResult)
{
    const auto result = search_->findAndSelect(*selection_, term, options, true);
    if (!result) return false;
    if (scrollToResult) {
        if (auto top = search_->revealScrollTarget(result->row)) scrollTo(*top, true);
    }
    update();
    return true;
}

bool TerminalView::findPrevious(const std::string& term, const SearchOptions& options, bool scrollToResult)
{
    const auto result = search_->findAndSelect(*selection_, term, options, false);
    if (!result) return false;
    if (scrollToResult) {
        if (auto top = search_->revealScrollTarget(result->row)) scrollTo(*top, true);
    }
    update();
    return true;
}

void TerminalView::clearSearch()
{
    search_->reset();
    selectNone();
}

void TerminalView::findBarClosed()
{
    setFocus(Qt::OtherFocusReason);
}

}  // namespace corvel
