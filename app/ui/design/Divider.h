// A thin vertical rule between groups of a bar: 1 px wide in the palette's
// separator colour, of a fixed height. Main thread; owned by its parent widget.
#pragma once

#include <QWidget>

namespace tilebay {

class Divider : public QWidget {
    Q_OBJECT
public:
    explicit Divider(int height, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tilebay
