// An indeterminate progress spinner: twelve spokes of fading opacity that
// turn while the spinner is shown. Its animation timer runs only while it is
// visible. Main thread; owned by its parent widget.
#pragma once

#include <QTimer>
#include <QWidget>

namespace tilebay {

class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {20, 20}; }
    bool isSpinning() const { return timer_.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer timer_;
    int step_ = 0;
};

}  // namespace tilebay
