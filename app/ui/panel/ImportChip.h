// One entry of the iTerm2 import panel: the terminal symbol, the session's
// name ("(이름 없음)" when it has none) over the first eight characters of its
// id and "…", and a plus in orange, on a rounded fill that is all hit area.
// A press that is released before the pointer has moved the platform's drag
// distance is a click (activated()); moving that far starts a drag of the
// text "EXT", U+0001, id, U+0001, name. It takes Tab and acts on Space.
// dragStarted() and dragEnded() bracket the drag, which runs its own event
// loop; the owner must not delete the chip in between.
// Main thread; owned by the panel's list.
#pragma once

#include "app/adapters/iterm2/ITerm2SessionSnapshot.h"

#include <QFont>
#include <QPoint>
#include <QWidget>

#include <optional>

namespace tilebay {

class ImportChip : public QWidget {
    Q_OBJECT
public:
    explicit ImportChip(ITerm2SessionSnapshot session, QWidget* parent = nullptr);

    const ITerm2SessionSnapshot& session() const { return session_; }
    QString displayName() const;
    QString displayId() const;
    // The drag's text, as the grid's drop handling reads it.
    static QString dragPayload(const ITerm2SessionSnapshot& session);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void activated();
    void dragStarted();
    void dragEnded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    ITerm2SessionSnapshot session_;
    QFont nameFont_;
    QFont idFont_;
    std::optional<QPoint> pressedAt_;
};

}  // namespace tilebay
