// The bar under the grid while broadcast mode is on: a radio-wave symbol, the
// number of cells the text will reach ("N개 셀에 전송": selected cells still
// in the grid with a pane, SessionStore::broadcastReach), the command field
// and "전송". Sending (Return or the button) trims all white space (any
// space separator, such as the ideographic space, and tabs) and line breaks;
// an empty result does nothing and keeps the field, anything else goes to
// SessionStore::sendBroadcast and clears the field. The send button is
// enabled exactly when it would send to some cell: the trimmed text is not
// empty and the count is not zero. Return sends also with no cell selected (the store then sends to
// none). The field's text lives as long as the bar, across mode switches.
//
// Its ground is the light accent background at 60 % over the window in light
// appearance. Over a dark window that would be a pale band under grey text;
// there the ground is the accent at 14 % over the window (a dark warm tint)
// and the count is drawn in the primary text colour, which reads at more
// than 4.5:1 on it (the secondary grey would not).
//
// Main thread; owned by the grid view. The store outlives it.
#pragma once

#include <QWidget>

class QLineEdit;

namespace tilebay {

class DSPrimaryButton;
class ElidedLabel;
class SessionStore;

class BroadcastBar : public QWidget {
    Q_OBJECT
public:
    explicit BroadcastBar(SessionStore& store, QWidget* parent = nullptr);

    QLineEdit* field() const { return field_; }
    DSPrimaryButton* sendButton() const { return send_; }
    ElidedLabel* countLabel() const { return count_; }

    // The send step.
    void send();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    SessionStore& store_;
    ElidedLabel* count_ = nullptr;
    QLineEdit* field_ = nullptr;
    DSPrimaryButton* send_ = nullptr;
};

}  // namespace tilebay
