// The first-run guide: the application's name and one line about it, five
// rows that explain the main features, and "시작하기", which (like Return or
// Escape) closes it. Its size is fixed at 540 by 560 whatever the window's.
// It reads and changes nothing in the store. Main thread.
#pragma once

#include "app/ui/sheets/SheetDialog.h"

namespace tilebay {

class DSPrimaryButton;

class OnboardingSheet : public SheetDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 540;
    static constexpr int kHeight = 560;

    explicit OnboardingSheet(QWidget* parent = nullptr);

    DSPrimaryButton* startButton() const { return start_; }

private:
    DSPrimaryButton* start_ = nullptr;
};

}  // namespace tilebay
