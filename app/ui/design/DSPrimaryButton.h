// The filled button of the design system, for the main action of a bar or
// sheet: white bold 13 px label, padded 16 by 7 px, on an orange capsule. While
// pressed only the fill dims (to 82 %); the label keeps full opacity. Main
// thread; owned by its parent widget.
#pragma once

#include "app/ui/design/DSCapsuleButton.h"

namespace tilebay {

class DSPrimaryButton : public DSCapsuleButton {
    Q_OBJECT
public:
    explicit DSPrimaryButton(const QString& text = {}, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tilebay
