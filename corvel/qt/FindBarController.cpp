// The find bar's behaviour over a find target.
#include "corvel/qt/FindBarController.h"

#include "corvel/qt/FindPasteboard.h"
#include "corvel/qt/FindTarget.h"
#include "corvel/qt/TerminalFindBarView.h"

#include <QLineEdit>

namespace corvel {

FindBarController::FindBarController(TerminalFindBarView& bar, FindTarget& target) : bar_(bar), target_(target)
{
    bar_.onSearchChanged = [this](const QString& text) { handleSearchChanged(text.toStdString()); };
    bar_.onFindNext = [this] { performFind(true); };
    bar_.onFindPrevious = [this] { performFind(false); };
    bar_.onClose = [this] { hideFindBar(); };
    bar_.onOptionsChanged = [this](const SearchOptions& options) {
        findBarOptions_ = options;
        if (!findBarTerm_.empty()) target_.findNext(findBarTerm_, findBarOptions_, true);
    };
}

void FindBarController::showFindBar(const std::optional<std::string>& selectionText)
{
    bar_.show();
    bar_.raise();
    std::optional<std::string> prefill;
    if (selectionText && !selectionText->empty()) {
        prefill = selectionText;
    } else {
        prefill = findpasteboard::text();
    }
    if (prefill) {
        bar_.searchField()->setText(QString::fromStdString(*prefill));
        handleSearchChanged(*prefill);
    }
    bar_.searchField()->setFocus(Qt::OtherFocusReason);
    bar_.searchField()->selectAll();
}

void FindBarController::hideFindBar()
{
    bar_.hide();
    target_.findBarClosed();
}

void FindBarController::handleSearchChanged(const std::string& text)
{
    findBarTerm_ = text;
    if (text.empty()) {
        target_.clearSearch();
        return;
    }
    findpasteboard::setText(text);
    target_.findNext(text, findBarOptions_, true);
}

void FindBarController::performFind(bool next)
{
    std::optional<std::string> term;
    if (!bar_.isHidden()) {
        term = bar_.searchField()->text().toStdString();
    } else {
        term = findpasteboard::text();
    }
    if (!term || term->empty()) return;
    findpasteboard::setText(*term);
    const SearchOptions options = bar_.options();
    if (next) {
        target_.findNext(*term, options, true);
    } else {
        target_.findPrevious(*term, options, true);
    }
}

}  // namespace corvel
