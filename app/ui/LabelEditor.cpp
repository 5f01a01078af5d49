#include "app/ui/LabelEditor.h"

#include "app/ui/design/DSFont.h"

#include <QKeyEvent>
#include <QPointer>
#include <QTimer>

namespace tilebay {

namespace {

bool isCommitKey(const QKeyEvent* e)
{
    return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
}

bool isCancelKey(const QKeyEvent* e)
{
    return e->key() == Qt::Key_Escape;
}

}  // namespace

LabelEditor::LabelEditor(const QString& text, std::function<void()> onCommit,
                         std::function<void()> onCancel, QWidget* parent)
    : QLineEdit(text, parent), onCommit_(std::move(onCommit)), onCancel_(std::move(onCancel))
{
    setPlaceholderText(QStringLiteral("프로젝트명"));
    setFrame(false);
    setFont(dsFont(13, QFont::DemiBold));
    // No background of its own: the field shows the header it sits on.
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::transparent);
    setPalette(pal);
    setAutoFillBackground(false);
}

bool LabelEditor::event(QEvent* event)
{
    // Claim Return and Escape before any shortcut of the window can take them;
    // the key then arrives as an ordinary key press below.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isCommitKey(key) || isCancelKey(key)) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void LabelEditor::keyPressEvent(QKeyEvent* event)
{
    if (isCommitKey(event) || isCancelKey(event)) {
        // Accepted, so the key does not travel on to the parent. A copy of the
        // action runs, so an owner that replaces the editor's state is safe.
        event->accept();
        const auto action = isCommitKey(event) ? onCommit_ : onCancel_;
        if (action) action();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void LabelEditor::showEvent(QShowEvent* event)
{
    QLineEdit::showEvent(event);
    // Focus once the show has settled, so typing goes here without a click.
    QTimer::singleShot(0, this, [self = QPointer<LabelEditor>(this)] {
        if (self && self->isVisible()) self->setFocus(Qt::OtherFocusReason);
    });
}

}  // namespace tilebay
