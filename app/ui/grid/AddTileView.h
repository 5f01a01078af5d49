// The "+" tile after the last cell: a dashed rounded outline with a plus and
// "새 터미널". The whole tile is a button that raises the new-terminal sheet
// and a drop target: a dropped cell id moves that cell to the end, a dropped
// iTerm2 payload absorbs the session as the last cell. While a text drag
// hovers, outline, plus and text turn orange and the text reads "여기에 놓기".
// Main thread; owned by the grid. The store outlives it.
#pragma once

#include <QAbstractButton>

namespace tilebay {

class SessionStore;

class AddTileView : public QAbstractButton {
    Q_OBJECT
public:
    explicit AddTileView(SessionStore& store, QWidget* parent = nullptr);

    bool targeted() const { return targeted_; }
    QString caption() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setTargeted(bool on);

    SessionStore& store_;
    bool targeted_ = false;
};

}  // namespace tilebay
