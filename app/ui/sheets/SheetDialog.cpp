#include "app/ui/sheets/SheetDialog.h"

#include <QKeyEvent>

namespace tilebay {

SheetDialog::SheetDialog(QWidget* parent) : QDialog(parent)
{
    setModal(false);
    setWindowModality(Qt::WindowModal);
    setSizeGripEnabled(false);
}

void SheetDialog::run(const std::function<void()>& action)
{
    if (dismissed_ || !action) return;
    action();
}

void SheetDialog::dismiss()
{
    if (dismissed_) return;
    done(QDialog::Rejected);
}

void SheetDialog::done(int result)
{
    // Every way out (dismiss, reject by the window's close button) passes here.
    if (dismissed_) return;
    dismissed_ = true;
    for (const QPointer<QObject>& source : sources_)
        if (source) source->disconnect(this);
    QDialog::done(result);
}

void SheetDialog::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::NoModifier) {
        event->accept();
        if (!event->isAutoRepeat()) run(defaultAction_);
        return;
    }
    if (key == Qt::Key_Escape && mods == Qt::NoModifier) {
        event->accept();
        if (cancelAction_) run(cancelAction_);
        else dismiss();
        return;
    }
    // Not QDialog's: it would press a default push button.
    QWidget::keyPressEvent(event);
}

}  // namespace tilebay
