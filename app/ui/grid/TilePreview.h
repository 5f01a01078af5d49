// What a tile shows in place of live content: the session's preview text on a
// near-black ground, or, without a preview, a symbol and a caption ("iTerm2
// 흡수 대기…" for an iTerm2 cell, "미리보기 없음" otherwise). The text shows the
// last lines that fit the height (at most 40); when lines were cut, the first
// shown line is "…". Long lines are clipped at the right edge. Main thread;
// owned by its tile.
#pragma once

#include "app/core/AdapterKind.h"

#include <QStringList>
#include <QWidget>

namespace tilebay {

class TilePreview : public QWidget {
    Q_OBJECT
public:
    static constexpr int maxLines = 40;

    TilePreview(AdapterKind kind, QWidget* parent);

    void setText(const QString& text);
    QString text() const { return text_; }
    // The lines painted at the current height.
    QStringList shownLines() const;
    QString emptySymbol() const;
    QString emptyCaption() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AdapterKind kind_;
    QString text_;
};

// The black stand-in with the cell's label that a tile shows while the
// window is being resized live.
class ResizePlaceholder : public QWidget {
    Q_OBJECT
public:
    explicit ResizePlaceholder(QWidget* parent);
    void setLabel(const QString& label);
    QString label() const { return label_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString label_;
};

}  // namespace tilebay
