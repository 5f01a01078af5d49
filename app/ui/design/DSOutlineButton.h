// The outlined button of the design system, for secondary actions: semibold
// 13 px label in the text colour, padded 14 by 6 px, inside a 1 px capsule
// stroked in the separator colour, with no fill. While pressed the whole button
// (label and outline) dims to 60 %. A tint replaces the label colour (the
// toolbar's broadcast button turns orange while broadcasting); the outline keeps
// the separator colour. Main thread; owned by its parent widget.
#pragma once

#include "app/ui/design/DSCapsuleButton.h"

#include <QColor>

namespace tilebay {

class DSOutlineButton : public DSCapsuleButton {
    Q_OBJECT
public:
    explicit DSOutlineButton(const QString& text = {}, QWidget* parent = nullptr);

    // An invalid colour returns the label to the palette's text colour.
    void setTint(const QColor& colour);
    QColor tint() const { return tint_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor tint_;
};

}  // namespace tilebay
