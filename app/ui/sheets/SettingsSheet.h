// The settings sheet: every control edits the store at once and nothing is
// kept on the side. Appearance (an exclusive group of three buttons),
// profiles (each with a delete button, no confirmation), terminal colours
// and font size, tmux persistence with a caption that depends on whether
// tmux was found, the poll interval and idle threshold, the three iTerm2
// switches, and a button that shows the first-run guide again. The seven
// sections scroll inside the fixed 460 by 460 sheet.
//
// Saving: the store saves appearance, colours, font size and tmux choice
// itself. For the poll interval, idle threshold and the three iTerm2
// switches the sheet, while open, answers the store's change signals by
// saving (and, for the interval, restarting the poll timer), whoever made
// the change. A stepper click that does not change the value changes
// nothing, so it saves nothing. "완료", Return and Escape close the sheet.
// The appearance can change while the sheet is open (its own "테마"): the
// delete buttons take the secondary tone of the palette in force.
//
// Main thread. The store outlives the sheet.
#pragma once

#include "app/ui/sheets/SheetDialog.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace tilebay {

class SessionStore;
class Stepper;
class SymbolButton;

class SettingsSheet : public SheetDialog {
    Q_OBJECT
public:
    static constexpr int kSide = 460;

    explicit SettingsSheet(SessionStore& store, QWidget* parent = nullptr);

    QPushButton* doneButton() const { return done_; }
    QScrollArea* form() const { return form_; }
    QButtonGroup* appearanceGroup() const { return appearance_; }
    // The profile rows' delete buttons, in list order; the placeholder when none.
    std::vector<QAbstractButton*> deleteButtons() const;
    QLabel* profilesPlaceholder() const { return profilesPlaceholder_; }
    QWidget* profilesBox() const { return profilesBox_; }
    QComboBox* themePicker() const { return theme_; }
    Stepper* fontSizeStepper() const { return fontSize_; }
    QCheckBox* tmuxToggle() const { return tmux_; }
    QLabel* tmuxCaption() const { return tmuxCaption_; }
    Stepper* pollStepper() const { return poll_; }
    Stepper* idleStepper() const { return idle_; }
    QCheckBox* absorbToggle() const { return absorb_; }
    QCheckBox* stripTitlesToggle() const { return stripTitles_; }
    QCheckBox* pythonToggle() const { return python_; }
    QPushButton* guideButton() const { return guide_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    QWidget* buildForm();
    void rebuildProfiles();
    void syncFromStore();

    SessionStore& store_;
    QPushButton* done_ = nullptr;
    QScrollArea* form_ = nullptr;
    QButtonGroup* appearance_ = nullptr;
    QWidget* profilesBox_ = nullptr;
    QVBoxLayout* profilesColumn_ = nullptr;
    QLabel* profilesPlaceholder_ = nullptr;
    std::vector<SymbolButton*> deleteButtons_;
    QComboBox* theme_ = nullptr;
    Stepper* fontSize_ = nullptr;
    QCheckBox* tmux_ = nullptr;
    QLabel* tmuxCaption_ = nullptr;
    Stepper* poll_ = nullptr;
    Stepper* idle_ = nullptr;
    QCheckBox* absorb_ = nullptr;
    QCheckBox* stripTitles_ = nullptr;
    QCheckBox* python_ = nullptr;
    QPushButton* guide_ = nullptr;
};

}  // namespace tilebay
