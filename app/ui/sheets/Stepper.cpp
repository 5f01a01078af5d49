#include "app/ui/sheets/Stepper.h"

#include "app/ui/design/DSFont.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace tilebay {

namespace {

QPushButton* stepButton(const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    b->setFixedSize(26, 22);
    b->setFont(dsFont(13, QFont::DemiBold));
    return b;
}

}  // namespace

Stepper::Stepper(Range range, std::function<double()> read, std::function<void(double)> write,
                 std::function<QString(double)> label, QWidget* parent)
    : QWidget(parent), range_(range), read_(std::move(read)), write_(std::move(write)), text_(std::move(label))
{
    label_ = new QLabel(this);
    label_->setFont(dsFont(13));
    label_->setTextFormat(Qt::PlainText);
    minus_ = stepButton(QStringLiteral("\u2212"), this);
    plus_ = stepButton(QStringLiteral("+"), this);
    minus_->setAccessibleName(QStringLiteral("-"));
    plus_->setAccessibleName(QStringLiteral("+"));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(label_, 1);
    row->addWidget(minus_);
    row->addWidget(plus_);

    connect(minus_, &QPushButton::clicked, this, [this] { stepDown(); });
    connect(plus_, &QPushButton::clicked, this, [this] { stepUp(); });
    refresh();
}

void Stepper::refresh()
{
    label_->setText(text_(read_()));
}

void Stepper::stepBy(int direction)
{
    const double value = read_();
    const double next = std::clamp(value + direction * range_.step, range_.minimum, range_.maximum);
    if (next == value) return;
    write_(next);
    refresh();
}

}  // namespace tilebay
