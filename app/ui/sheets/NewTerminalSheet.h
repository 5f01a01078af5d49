// The sheet that starts one new embedded terminal: an optional name, working
// folder (typed or chosen) and start command, and a switch that also saves
// them as a profile. The three fields edit the store's entry fields directly
// (and follow them when the store changes them); only the switch is the
// sheet's own. "만들기" (or Return: the name and command fields submit, the
// folder field passes Return on to the sheet) saves the profile first when
// the switch is on, then has the store make the terminal, then closes.
// "취소" or Escape only closes.
//
// Main thread. The store outlives the sheet.
#pragma once

#include "app/ui/sheets/FolderChooser.h"
#include "app/ui/sheets/SheetDialog.h"

class QCheckBox;

namespace tilebay {

class DSOutlineButton;
class DSPrimaryButton;
class SessionStore;
class SheetField;

class NewTerminalSheet : public SheetDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 470;

    NewTerminalSheet(SessionStore& store, FolderChooser chooser, QWidget* parent = nullptr);

    SheetField* nameField() const { return name_; }
    SheetField* folderField() const { return folder_; }
    SheetField* commandField() const { return command_; }
    QCheckBox* saveAsProfile() const { return saveAsProfile_; }
    DSOutlineButton* chooseButton() const { return choose_; }
    DSOutlineButton* cancelButton() const { return cancel_; }
    DSPrimaryButton* createButton() const { return create_; }

private:
    void create();
    void pickFolder();

    SessionStore& store_;
    FolderChooser chooser_;
    SheetField* name_ = nullptr;
    SheetField* folder_ = nullptr;
    SheetField* command_ = nullptr;
    QCheckBox* saveAsProfile_ = nullptr;
    DSOutlineButton* choose_ = nullptr;
    DSOutlineButton* cancel_ = nullptr;
    DSPrimaryButton* create_ = nullptr;
};

}  // namespace tilebay
