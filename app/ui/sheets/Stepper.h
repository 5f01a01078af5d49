// A stepper row: a label that shows a value and two buttons, "−" and "+".
// A click adds or subtracts one step and then clamps the result to the
// range; when that leaves the value as it was, nothing is written. The value
// is read from and written to its owner through two functions, so the row
// keeps no copy; refresh() redraws the label after the owner's value changed.
// Main thread; owned by its parent widget.
#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace tilebay {

class Stepper : public QWidget {
    Q_OBJECT
public:
    struct Range {
        double minimum;
        double maximum;
        double step;
    };

    Stepper(Range range, std::function<double()> read, std::function<void(double)> write,
            std::function<QString(double)> label, QWidget* parent = nullptr);

    void stepUp() { stepBy(+1); }
    void stepDown() { stepBy(-1); }
    void refresh();

    QLabel* label() const { return label_; }
    QPushButton* minusButton() const { return minus_; }
    QPushButton* plusButton() const { return plus_; }

private:
    void stepBy(int direction);

    Range range_;
    std::function<double()> read_;
    std::function<void(double)> write_;
    std::function<QString(double)> text_;
    QLabel* label_;
    QPushButton* minus_;
    QPushButton* plus_;
};

}  // namespace tilebay
