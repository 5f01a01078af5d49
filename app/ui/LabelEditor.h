// The one-line field that takes the place of a tile's label while the user
// renames the cell. It edits the owner's working copy (read it with text() or
// follow textChanged, which fires on every keystroke) and reports only two
// events: Return runs onCommit, Escape runs onCancel. Both keys are consumed
// here, also as shortcut overrides, so no parent handler or shortcut sees them.
// Losing focus does nothing: the editor stays until its owner removes it. It
// neither trims, validates nor saves.
//
// Main thread; owned by its parent widget. The actions may remove the editor,
// but only with deleteLater(): they run inside the editor's key handler.
#pragma once

#include <QLineEdit>

#include <functional>

namespace tilebay {

class LabelEditor : public QLineEdit {
    Q_OBJECT
public:
    LabelEditor(const QString& text, std::function<void()> onCommit,
                std::function<void()> onCancel, QWidget* parent = nullptr);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::function<void()> onCommit_;
    std::function<void()> onCancel_;
};

}  // namespace tilebay
