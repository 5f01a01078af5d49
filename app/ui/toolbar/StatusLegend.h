// The colour legend of the session statuses: one item per status, in the given
// order, each the status's symbol in its colour followed (unless compact) by
// its tag in 11 px medium secondary text. Items are spaced 10 px apart, 6 px
// when compact; each item keeps its natural size. No state beyond its two
// settings. Main thread; owned by its parent widget.
#pragma once

#include "app/core/TerminalStatus.h"

#include <QWidget>

#include <vector>

namespace tilebay {

class StatusLegend : public QWidget {
    Q_OBJECT
public:
    StatusLegend(bool compact, std::vector<TerminalStatus> items, QWidget* parent = nullptr);

    void setCompact(bool compact);
    bool compact() const { return compact_; }
    const std::vector<TerminalStatus>& items() const { return items_; }

    // The item rectangles, left to right, in widget coordinates.
    std::vector<QRect> itemRects() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    // The width of the legend with or without its tags.
    int widthFor(bool compact) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int itemWidth(TerminalStatus status, bool compact) const;

    bool compact_;
    std::vector<TerminalStatus> items_;
};

}  // namespace tilebay
