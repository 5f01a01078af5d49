// A thin vertical rule between groups of a bar: 1 px wide in the palette's
// separator colour, of a fixed height. Main thread; owned by its parent widget.
#pragma once

#include <QWidget>

namespace tilebay {

class Divider : public QWidget {
    Q_OBJECT
public:
    explicit Divider(int height, QWidget* parent = nullptr);

    // Its fixed size, so rows that place children by their hints centre it.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tilebay
