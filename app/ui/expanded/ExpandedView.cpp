#include "app/ui/expanded/ExpandedView.h"

#include "app/ui/expanded/ExpandedCard.h"

#include "corvel/qt/TerminalView.h"

#include <QApplication>
#include <QEasingCurve>
#include <QKeyEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace tilebay {

namespace {

bool isInside(const QWidget* ancestor, const QWidget* widget)
{
    return ancestor && widget && (widget == ancestor || ancestor->isAncestorOf(widget));
}

QRectF lerp(const QRect& a, const QRect& b, qreal t)
{
    auto mix = [t](qreal x, qreal y) { return x + (y - x) * t; };
    return QRectF(mix(a.x(), b.x()), mix(a.y(), b.y()), mix(a.width(), b.width()), mix(a.height(), b.height()));
}

}  // namespace

ExpandedView::ExpandedView(SessionStore& store, QWidget* host)
    : QWidget(host), store_(store), host_(host), shadow_(ExpandedCard::cornerRadius)
{
    setFocusPolicy(Qt::NoFocus);
    hide();
    host_->installEventFilter(this);
    qApp->installEventFilter(this);
    connect(&store_, &SessionStore::expandedIDChanged, this, [this] { expandedChanged(); });
    expandedChanged();
}

ExpandedView::~ExpandedView()
{
    qApp->removeEventFilter(this);
    dropCard();
}

void ExpandedView::setDuration(int ms)
{
    durationMs_ = ms;
}

QRect ExpandedView::cardRect() const
{
    const int w = static_cast<int>(std::lround(width() * cardFraction));
    const int h = static_cast<int>(std::lround(height() * cardFraction));
    return QRect((width() - w) / 2, (height() - h) / 2, w, h);
}

QRect ExpandedView::originFor(const QString& id) const
{
    if (tileRect)
        if (const auto rect = tileRect(id); rect && !rect->isEmpty()) return *rect;
    const QRect card = cardRect();
    const QSize smaller = card.size() * 0.9;
    return QRect(card.center() - QPoint(smaller.width() / 2, smaller.height() / 2), smaller);
}

void ExpandedView::expandedChanged()
{
    const auto& id = store_.expandedID();
    if (!id) {
        if (!card_) return;
        close(true);
        // The store collapsed the card: the tiles take the panes back after
        // this handler, in the same change.
        QMetaObject::invokeMethod(this, [this] { refocusPane(true); }, Qt::QueuedConnection);
        return;
    }
    if (card_ && cellId_ == *id) return;
    const auto cell = store_.cell(*id);
    if (!cell) {
        if (card_) close(true);
        return;
    }
    open(cell);
}

void ExpandedView::open(const std::shared_ptr<TerminalSession>& cell)
{
    if (card_) close(false);
    cellId_ = cell->id();
    setGeometry(host_->rect());
    show();
    raise();
    card_ = new ExpandedCard(store_, cell, this);
    card_->onCollapse = [this] { collapse(); };
    card_->setGeometry(cardRect());
    card_->hide();
    if (durationMs_ <= 0) {
        placeLiveCard();
        return;
    }
    // Laid out and painted while hidden: the panes take the card's size here,
    // once, and the picture shows them at that size.
    card_->layout()->activate();
    snapshot_ = card_->grab();
    phase_ = Phase::opening;
    fromTile_ = tileRect && tileRect(cellId_).has_value();
    startAnimation(originFor(cellId_), cardRect());
}

void ExpandedView::placeLiveCard()
{
    snapshot_ = QPixmap();
    phase_ = Phase::open;
    card_->setGeometry(cardRect());
    card_->show();
    if (!isInside(card_, QApplication::focusWidget())) {
        QWidget* target = card_;
        if (QWidget* live = card_->liveContent())
            if (auto* pane = live->findChild<corvel::TerminalView*>()) target = pane;
        target->setFocus(Qt::OtherFocusReason);
    }
    update();
    emit settled();
}

void ExpandedView::collapse()
{
    if (!card_) {
        store_.setExpandedID(std::nullopt);
        return;
    }
    close(true);
    store_.setExpandedID(std::nullopt);
    // The tile has taken the panes back by now: it answers the store at once.
    refocusPane(false);
}

void ExpandedView::refocusPane(bool onlyIfUnclaimed)
{
    QWidget* pane = paneToFocus_;
    paneToFocus_ = nullptr;
    if (!pane || !pane->isVisible() || pane->window() != window()) return;
    if (onlyIfUnclaimed) {
        const QWidget* focused = window()->focusWidget();
        if (focused && focused != window()) return;
    }
    pane->setFocus(Qt::OtherFocusReason);
}

void ExpandedView::close(bool animate)
{
    if (!card_) return;
    if (animation_) {
        animation_->stop();
        animation_->deleteLater();
        animation_ = nullptr;
    }
    // The pane to focus once the tile shows it again: the focused one, else the first.
    paneToFocus_ = nullptr;
    if (QWidget* live = card_->liveContent()) {
        for (QWidget* w = window()->focusWidget(); w && live->isAncestorOf(w); w = w->parentWidget())
            if (qobject_cast<corvel::TerminalView*>(w)) paneToFocus_ = w;
        if (!paneToFocus_) paneToFocus_ = live->findChild<corvel::TerminalView*>();
    }
    // Cleared before the panes leave: a hidden focus widget would hand the
    // focus to the next one, perhaps another cell's terminal.
    if (QWidget* focused = window()->focusWidget(); isInside(card_, focused)) focused->clearFocus();
    const QRect from = card_->geometry();
    const bool pictured = animate && durationMs_ > 0 && isVisible();
    if (pictured) snapshot_ = card_->isVisible() ? card_->grab() : snapshot_;
    dropCard();
    if (!pictured || snapshot_.isNull()) {
        phase_ = Phase::hidden;
        snapshot_ = QPixmap();
        hide();
        emit settled();
        return;
    }
    phase_ = Phase::closing;
    fromTile_ = tileRect && tileRect(cellId_).has_value();
    startAnimation(from, originFor(cellId_));
}

void ExpandedView::dropCard()
{
    if (!card_) return;
    ExpandedCard* card = card_;
    card_ = nullptr;
    card->handBack();
    delete card;
}

void ExpandedView::startAnimation(const QRect& from, const QRect& to)
{
    from_ = from;
    to_ = to;
    progress_ = 0;
    animation_ = new QVariantAnimation(this);
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    animation_->setDuration(durationMs_);
    animation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        progress_ = value.toReal();
        update();
    });
    connect(animation_, &QVariantAnimation::finished, this, [this] { animationDone(); });
    animation_->start();
    update();
}

void ExpandedView::finishAnimation()
{
    if (!animation_) return;
    animation_->stop();
    animationDone();
}

void ExpandedView::animationDone()
{
    if (animation_) {
        animation_->deleteLater();
        animation_ = nullptr;
    }
    progress_ = 1;
    if (phase_ == Phase::opening && card_) {
        placeLiveCard();
        return;
    }
    phase_ = Phase::hidden;
    snapshot_ = QPixmap();
    hide();
    emit settled();
}

void ExpandedView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    qreal strength = 1;
    if (phase_ == Phase::opening) strength = progress_;
    else if (phase_ == Phase::closing) strength = 1 - progress_;
    p.fillRect(rect(), QColor(0, 0, 0, static_cast<int>(std::lround(255 * scrimOpacity * strength))));
    p.setRenderHint(QPainter::Antialiasing);
    if (phase_ == Phase::open && card_) {
        shadow_.paint(p, card_->geometry());
        return;
    }
    if ((phase_ == Phase::opening || phase_ == Phase::closing) && !snapshot_.isNull()) {
        const QRectF r = lerp(from_, to_, progress_);
        shadow_.paint(p, r, strength);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.setOpacity(fromTile_ ? 1.0 : strength);
        p.drawPixmap(r, snapshot_, QRectF(snapshot_.rect()));
    }
}

void ExpandedView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (phase_ == Phase::opening) finishAnimation();
    if (phase_ == Phase::open && card_ && !card_->geometry().contains(event->position().toPoint())) collapse();
}

void ExpandedView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && card_) {
        collapse();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool ExpandedView::routeFindKey(QObject* watched, QEvent* event)
{
    auto* key = static_cast<QKeyEvent*>(event);
    const auto mods = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    if (key->key() != Qt::Key_F || mods != (Qt::ControlModifier | Qt::ShiftModifier)) return false;
    if (!isInside(card_, qobject_cast<QWidget*>(watched))) return false;
    if (event->type() == QEvent::ShortcutOverride) {
        // Taken as a plain key: no shortcut of the window or a pane fires.
        event->accept();
        return true;
    }
    if (!key->isAutoRepeat()) card_->toggleSearch();
    return true;
}

bool ExpandedView::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::ShortcutOverride || type == QEvent::KeyPress) && card_ && phase_ == Phase::open)
        return routeFindKey(watched, event);
    if (watched == host_ && type == QEvent::Resize) {
        setGeometry(host_->rect());
        if (card_) card_->setGeometry(cardRect());
        if (phase_ == Phase::opening) to_ = cardRect();
        if (phase_ == Phase::closing) from_ = cardRect();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tilebay
