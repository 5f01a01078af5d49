#include "app/ui/sheets/SheetField.h"

#include <QKeyEvent>

namespace tilebay {

SheetField::SheetField(QWidget* parent) : QLineEdit(parent) {}

void SheetField::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if (submit_ && (key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::NoModifier) {
        event->accept();
        if (!event->isAutoRepeat()) {
            // The action may close and delete the sheet: keep a copy.
            const auto submit = submit_;
            submit();
        }
        return;
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace tilebay
