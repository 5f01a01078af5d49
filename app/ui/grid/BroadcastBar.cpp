#include "app/ui/grid/BroadcastBar.h"

#include "app/store/SessionStore.h"
#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/design/DSPalette.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/design/ElidedLabel.h"
#include "app/ui/design/SymbolView.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>

namespace tilebay {

namespace {

constexpr qreal kLightGroundOpacity = 0.6;  // of the light accent background
constexpr qreal kDarkGroundOpacity = 0.14;  // of the accent

}  // namespace

BroadcastBar::BroadcastBar(SessionStore& store, QWidget* parent) : QWidget(parent), store_(store)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(8);
    auto* symbol = new SymbolView(QStringLiteral("dot.radiowaves.left.and.right"), SymbolScale::medium, this);
    symbol->setColour(DS::orange());
    count_ = new ElidedLabel(QString(), this);
    count_->setFont(dsFont(11));
    count_->setTone(TextTone::secondary);
    field_ = new QLineEdit(this);
    field_->setPlaceholderText(QStringLiteral("모든 선택 셀에 보낼 명령 후 Enter"));
    field_->setFont(dsFont(13, QFont::Normal, FontDesign::monospaced));
    send_ = new DSPrimaryButton(QStringLiteral("전송"), this);
    row->addWidget(symbol);
    row->addWidget(count_);
    row->addWidget(field_, 1);
    row->addWidget(send_);

    connect(field_, &QLineEdit::returnPressed, this, &BroadcastBar::send);
    connect(send_, &QAbstractButton::clicked, this, &BroadcastBar::send);
    connect(field_, &QLineEdit::textChanged, this, &BroadcastBar::refresh);
    connect(&store_, &SessionStore::broadcastTargetsChanged, this, &BroadcastBar::refresh);
    // A selected cell that is closed or ends no longer counts.
    connect(&store_, &SessionStore::cellsChanged, this, &BroadcastBar::refresh);
    refresh();
    count_->setTone(isDarkPalette(palette()) ? TextTone::primary : TextTone::secondary);
}

void BroadcastBar::refresh()
{
    const int reach = store_.broadcastReach();
    count_->setText(QStringLiteral("%1개 셀에 전송").arg(reach));
    // Enabled exactly when pressing it sends something somewhere.
    send_->setEnabled(!field_->text().trimmed().isEmpty() && reach > 0);
}

void BroadcastBar::send()
{
    const QString text = field_->text().trimmed();
    if (text.isEmpty()) return;
    store_.sendBroadcast(text);
    field_->clear();
}

void BroadcastBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), DS::windowBackground(palette()));
    const bool dark = isDarkPalette(palette());
    p.setOpacity(dark ? kDarkGroundOpacity : kLightGroundOpacity);
    p.fillRect(rect(), dark ? DS::orange() : DS::bgLightOrange());
}

void BroadcastBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        count_->setTone(isDarkPalette(palette()) ? TextTone::primary : TextTone::secondary);
}

}  // namespace tilebay
