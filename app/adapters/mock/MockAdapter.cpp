#include "app/adapters/mock/MockAdapter.h"

#include <QFontDatabase>
#include <QLabel>

namespace tilebay {

QWidget* MockAdapter::cellContentView(const QString& id)
{
    auto* label = new QLabel(QStringLiteral("mock\n") + id);
    label->setObjectName(QStringLiteral("mockPlaceholder"));
    label->setAlignment(Qt::AlignCenter);
    label->setAutoFillBackground(true);
    // Black at 0.85 behind white text at 0.82, in a small monospaced font.
    label->setStyleSheet(QStringLiteral(
        "QLabel { background-color: rgba(0, 0, 0, 217); color: rgba(255, 255, 255, 209); }"));
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(font.pointSizeF() > 0 ? font.pointSizeF() * 0.85 : 9);
    label->setFont(font);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    return label;
}

}  // namespace tilebay
