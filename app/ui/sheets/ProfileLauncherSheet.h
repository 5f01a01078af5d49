// The sheet that finds a saved profile by part of its name and opens it as a
// new embedded terminal. Typing filters the rows (the rows are built once per
// change of the profile list and only shown or hidden per keystroke); Return
// in the search field, and the sheet's Return, launch the first row shown;
// a row's click or Space launches that row. A launch passes the profile's
// folder and command trimmed (a blank one as absent), so a folder saved with
// spaces around it still starts the shell there. With no saved profiles the
// list gives way to an empty state and Return does nothing. "빈 터미널" opens
// a blank terminal; "닫기" or Escape only closes.
//
// Main thread. The store outlives the sheet.
#pragma once

#include "app/core/TerminalProfile.h"
#include "app/ui/sheets/SheetDialog.h"

#include <vector>

class QScrollArea;

namespace tilebay {

class DSOutlineButton;
class ProfileRow;
class SessionStore;
class SheetField;

class ProfileLauncherSheet : public SheetDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 520;
    static constexpr int kListMaxHeight = 320;

    explicit ProfileLauncherSheet(SessionStore& store, QWidget* parent = nullptr);

    SheetField* searchField() const { return search_; }
    QWidget* emptyState() const { return empty_; }
    QScrollArea* list() const { return list_; }
    // Every row in stored order, shown or not.
    const std::vector<ProfileRow*>& rows() const { return rows_; }
    // The rows the query lets through, in order.
    std::vector<ProfileRow*> shownRows() const;
    DSOutlineButton* blankButton() const { return blank_; }
    DSOutlineButton* closeButton() const { return close_; }

    // Return in the search field: launches the first match, if any.
    void submit();

private:
    void rebuildRows();
    void applyFilter();
    void fitHeight();
    void launch(const TerminalProfile& profile);

    SessionStore& store_;
    SheetField* search_ = nullptr;
    QWidget* empty_ = nullptr;
    QScrollArea* list_ = nullptr;
    QWidget* listContent_ = nullptr;
    std::vector<ProfileRow*> rows_;
    std::vector<bool> shown_;
    DSOutlineButton* blank_ = nullptr;
    DSOutlineButton* close_ = nullptr;
};

}  // namespace tilebay
