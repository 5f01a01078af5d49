#include "app/ui/grid/GridCellView.h"

#include "app/ui/LabelEditor.h"
#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/design/ElidedLabel.h"
#include "app/ui/design/StatusLook.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/design/SymbolView.h"
#include "app/ui/grid/PaneHandBack.h"
#include "app/ui/grid/TileFrameOverlay.h"
#include "app/ui/grid/TilePreview.h"

#include "corvel/qt/TerminalView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <cmath>

namespace tilebay {

namespace {

struct ControlSpec {
    const char* symbol;
    const char* tooltip;
};

// In header order.
constexpr std::array<ControlSpec, 7> kControls{{
    {"circle", "브로드캐스트 대상 포함/제외"},
    {"rectangle.split.2x1", "분할 추가"},
    {"arrow.up.left.and.down.right.and.arrow.up.right.and.down.left", "분할 방향(수평/수직)"},
    {"minus.rectangle", "분할 줄이기"},
    {"arrow.up.left.and.arrow.down.right", "확대"},
    {"xmark", "닫기"},
    {"eject", "그리드에서 분리(세션은 유지)"},
}};

}  // namespace

GridCellView::GridCellView(SessionStore& store, SessionStore::SessionPtr cell, QWidget* parent)
    : QWidget(parent), store_(store), cell_(std::move(cell))
{
    setAcceptDrops(true);
    buildHeader();
    preview_ = new TilePreview(cell_->kind(), this);
    preview_->setText(cell_->previewText());
    placeholder_ = new ResizePlaceholder(this);
    placeholder_->setLabel(cell_->projectLabel());
    placeholder_->hide();
    frame_ = new TileFrameOverlay(this);

    TerminalSession* record = cell_.get();
    connect(record, &TerminalSession::projectLabelChanged, this, [this](const QString& text) {
        label_->setText(text);
        placeholder_->setLabel(text);
    });
    connect(record, &TerminalSession::statusChanged, this, [this] { refreshStatus(); });
    connect(record, &TerminalSession::previewTextChanged, preview_, &TilePreview::setText);
    connect(record, &TerminalSession::paneRevisionChanged, this, [this] {
        refreshControls();
        rebuildContent();
    });
    connect(&store_, &SessionStore::broadcastModeChanged, this, [this] { refreshControls(); });
    connect(&store_, &SessionStore::broadcastTargetsChanged, this, [this] { refreshControls(); });
    connect(&store_, &SessionStore::isLiveResizingChanged, this, [this] { refreshBody(); });
    connect(&store_, &SessionStore::expandedIDChanged, this, [this] {
        const bool now = isExpanded();
        if (now == expanded_) return;
        expanded_ = now;
        // The expanded card takes the panes; the tile asks again on collapse.
        if (expanded_)
            releaseContent();
        else
            fetchContent();
        refreshBody();
        update();
    });

    expanded_ = isExpanded();
    refreshStatus();
    refreshControls();
    fetchContent();
    refreshBody();
}

GridCellView::~GridCellView()
{
    releaseContent();
}

bool GridCellView::isExpanded() const
{
    return store_.expandedID() && *store_.expandedID() == cell_->id();
}

void GridCellView::buildHeader()
{
    header_ = new QWidget(this);
    auto* row = new QHBoxLayout(header_);
    row->setContentsMargins(10, 7, 10, 7);
    row->setSpacing(8);
    statusIcon_ = new SymbolView(QStringLiteral("questionmark.circle"), SymbolScale::small, header_);
    label_ = new ElidedLabel(cell_->projectLabel(), header_);
    label_->setFont(dsFont(13, QFont::DemiBold));
    label_->setToolTip(QStringLiteral("더블클릭하여 이름 편집"));
    label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    tag_ = new ElidedLabel(QString(), header_);
    tag_->setFont(dsFont(10, QFont::DemiBold));
    tag_->setTone(TextTone::secondary);
    row->addWidget(statusIcon_);
    row->addWidget(label_, 1);
    row->addWidget(tag_);
    for (size_t i = 0; i < kControls.size(); ++i) {
        auto* button = new SymbolButton(QString::fromLatin1(kControls[i].symbol), SymbolScale::small, header_);
        button->setToolTip(QString::fromUtf8(kControls[i].tooltip));
        // Clicking a control leaves the keyboard focus where it was (in a terminal).
        button->setFocusPolicy(Qt::NoFocus);
        controls_[i] = button;
        row->addWidget(button);
    }
    const QString id = cell_->id();
    connect(control(Control::broadcast), &QAbstractButton::clicked, this,
            [this, id] { store_.toggleBroadcastTarget(id); });
    connect(control(Control::split), &QAbstractButton::clicked, this, [this, id] {
        const auto found = store_.cell(id);
        if (found && found->kind() == AdapterKind::embedded) store_.embedded().splitSession(id);
    });
    connect(control(Control::axis), &QAbstractButton::clicked, this, [this, id] { store_.embedded().toggleAxis(id); });
    connect(control(Control::unsplit), &QAbstractButton::clicked, this,
            [this, id] { store_.embedded().removeLastPane(id); });
    connect(control(Control::expand), &QAbstractButton::clicked, this, [this] { expand(); });
    connect(control(Control::close), &QAbstractButton::clicked, this, [this] { askToClose(); });
    connect(control(Control::detach), &QAbstractButton::clicked, this, [this] { askToClose(); });
}

void GridCellView::refreshStatus()
{
    const StatusLook look = statusLook(cell_->status());
    if (statusIcon_->symbol() != QLatin1String(look.symbol)) {
        // SymbolView has a fixed symbol: replace it in place. replaceWidget
        // hands back the layout item of the widget it took out, ours to delete.
        auto* row = static_cast<QHBoxLayout*>(header_->layout());
        auto* icon = new SymbolView(QString::fromLatin1(look.symbol), SymbolScale::small, header_);
        delete row->replaceWidget(statusIcon_, icon);
        delete statusIcon_;
        statusIcon_ = icon;
    }
    statusIcon_->setColour(look.colour);
    tag_->setText(look.tag);
}

void GridCellView::refreshControls()
{
    const AdapterKind kind = cell_->kind();
    const bool embedded = kind == AdapterKind::embedded;
    const bool split = embedded && store_.paneCount(cell_->id()) >= 2;
    const bool chosen = store_.broadcastTargets().contains(cell_->id());
    SymbolButton* check = control(Control::broadcast);
    check->setSymbol(chosen ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"));
    check->setTint(chosen ? DS::orange() : DS::secondaryText(palette()));
    check->setVisible(store_.broadcastMode() && embedded);
    control(Control::split)->setVisible(embedded);
    control(Control::axis)->setVisible(split);
    control(Control::unsplit)->setVisible(split);
    control(Control::close)->setVisible(embedded);
    control(Control::detach)->setVisible(kind == AdapterKind::iterm2);
}

TerminalController* GridCellView::adapter() const
{
    switch (cell_->kind()) {
    case AdapterKind::embedded: return &store_.embedded();
    case AdapterKind::iterm2: return &store_.iterm2();
    default: return nullptr;
    }
}

void GridCellView::fetchContent()
{
    if (content_ || expanded_ || store_.isLiveResizing()) return;
    TerminalController* source = adapter();
    QWidget* view = source ? source->cellContentView(cell_->id()) : nullptr;
    if (!view) return;
    content_ = view;
    view->setParent(this);
    view->stackUnder(frame_);
}

void GridCellView::releaseContent()
{
    if (!content_) return;
    QWidget* old = content_;
    content_ = nullptr;
    handBackPanes(old);
    old->hide();
    old->deleteLater();
}

void GridCellView::rebuildContent()
{
    // A pane loses the keyboard focus when its layout goes: it gets it back
    // in the new layout, or the cell's first pane does when it was removed.
    QWidget* focused = window()->focusWidget();
    const bool hadFocus = content_ && focused && content_->isAncestorOf(focused);
    const QPointer<QWidget> previous = hadFocus ? focused : nullptr;
    // Cleared first, so no other terminal is told it gained the focus meanwhile.
    if (hadFocus) focused->clearFocus();
    releaseContent();
    fetchContent();
    refreshBody();
    if (!hadFocus || !content_ || !content_->isVisible()) return;
    QWidget* target = previous && content_->isAncestorOf(previous) ? previous.data()
                                                                   : content_->findChild<corvel::TerminalView*>();
    if (target) target->setFocus(Qt::OtherFocusReason);
}

void GridCellView::refreshBody()
{
    const bool resizing = store_.isLiveResizing();
    if (!resizing && !content_) fetchContent();
    header_->setVisible(!expanded_);
    frame_->setVisible(!expanded_);
    placeholder_->setVisible(!expanded_ && resizing);
    preview_->setVisible(!expanded_ && !resizing && !content_);
    layoutChildren();
    // A focused pane that hides (live resize) gets the focus back when it
    // shows again, from the window's TerminalFocusKeeper.
    if (content_) content_->setVisible(!expanded_ && !resizing);
}

int GridCellView::headerHeight() const
{
    return header_->sizeHint().height();
}

QRect GridCellView::bodyRect() const
{
    const int top = headerHeight() + 1;
    return QRect(0, top, width(), std::max(height() - top, 0));
}

void GridCellView::layoutChildren()
{
    header_->setGeometry(0, 0, width(), headerHeight());
    const QRect body = bodyRect();
    placeholder_->setGeometry(body);
    preview_->setGeometry(body);
    // Hidden content keeps its size: it is resized once, when it shows again.
    if (content_ && !expanded_ && !store_.isLiveResizing()) content_->setGeometry(body);
    frame_->setGeometry(rect());
    frame_->raise();
}

void GridCellView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void GridCellView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) refreshControls();
}

void GridCellView::paintEvent(QPaintEvent*)
{
    if (expanded_) return;  // the expanded card stands in for the tile
    QPainter p(this);
    p.fillRect(rect(), DS::windowBackground(palette()));
    // One device pixel (or more) on a device-pixel edge: crisp at 1.5 too.
    const qreal ratio = p.device()->devicePixelRatioF();
    const qreal top = std::floor(headerHeight() * ratio) / ratio;
    p.fillRect(QRectF(0, top, width(), std::max(1.0, std::round(ratio)) / ratio), DS::separator(palette()));
}

// ---- editing, expanding, closing ----

void GridCellView::startEditing()
{
    if (editor_) return;
    const QString id = cell_->id();
    editor_ = new LabelEditor(
        cell_->projectLabel(),
        [this, id] {
            store_.setLabel(id, editor_->text());
            stopEditing();
        },
        [this] { stopEditing(); }, header_);
    auto* row = static_cast<QHBoxLayout*>(header_->layout());
    delete row->replaceWidget(label_, editor_);
    label_->hide();
    editor_->show();
}

void GridCellView::stopEditing()
{
    if (!editor_) return;
    auto* row = static_cast<QHBoxLayout*>(header_->layout());
    delete row->replaceWidget(editor_, label_);
    label_->show();
    editor_->hide();
    // The editor's own key handler is still running.
    editor_->deleteLater();
    editor_ = nullptr;
}

void GridCellView::expand()
{
    store_.toggleExpand(cell_->id());
}

void GridCellView::askToClose()
{
    const QString id = cell_->id();
    if (cell_->kind() != AdapterKind::embedded) {
        if (cell_->kind() == AdapterKind::iterm2) store_.closeCell(id);
        return;
    }
    if (confirm_) return;
    auto* box = new QMessageBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setText(QStringLiteral("이 내장 터미널을 닫을까요? 실행 중인 작업이 종료됩니다."));
    QPushButton* close = box->addButton(QStringLiteral("닫기"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("취소"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::buttonClicked, this, [this, id, close](QAbstractButton* clicked) {
        if (clicked == close) store_.closeCell(id);
    });
    confirm_ = box;
    box->open();
    cancel->setFocus(Qt::OtherFocusReason);
}

QPixmap GridCellView::dragPreview() const
{
    const StatusLook look = statusLook(cell_->status());
    const QFont font = dsFont(12, QFont::DemiBold);
    const QFontMetrics fm(font);
    const int symbol = symbolSize(SymbolScale::medium);
    const QString text = fm.elidedText(cell_->projectLabel(), Qt::ElideRight, 320);
    const int w = 12 + symbol + 6 + fm.horizontalAdvance(text) + 12;
    const int h = std::max(symbol, fm.height()) + 16;
    const qreal ratio = devicePixelRatioF();
    QPixmap pm(QSize(w, h) * ratio);
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(0.5, 0.5, w - 1, h - 1);
    p.setBrush(DS::windowBackground(palette()));
    p.setPen(QPen(DS::separator(palette()), 1));
    p.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    SymbolIcons::draw(p, QRectF(12, (h - symbol) / 2.0, symbol, symbol), QString::fromLatin1(look.symbol), symbol,
                      look.colour);
    p.setFont(font);
    p.setPen(DS::primaryText(palette()));
    p.drawText(QRectF(12 + symbol + 6, 0, w, h), Qt::AlignVCenter | Qt::AlignLeft, text);
    return pm;
}

// ---- mouse: drag from the header or preview, click into a preview ----

bool GridCellView::pressStartsDrag(const QPoint& pos) const
{
    if (expanded_) return false;
    if (header_->geometry().contains(pos)) return true;
    return preview_->isVisible() && preview_->geometry().contains(pos);
}

void GridCellView::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && pressStartsDrag(pos)) {
        pressPos_ = pos;
        previewPress_ = preview_->isVisible() && preview_->geometry().contains(pos);
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void GridCellView::mouseMoveEvent(QMouseEvent* event)
{
    if (pressPos_ && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - *pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
        pressPos_.reset();
        previewPress_ = false;
        emit dragRequested(cell_->id());
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void GridCellView::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressPos_ && previewPress_ && event->button() == Qt::LeftButton;
    pressPos_.reset();
    previewPress_ = false;
    // A click into a non-embedded cell's preview expands it; an embedded
    // cell's content area keeps its clicks.
    if (click && cell_->kind() != AdapterKind::embedded && preview_->geometry().contains(event->position().toPoint())) {
        expand();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void GridCellView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && !editor_ && label_->isVisible() &&
        label_->geometry().translated(header_->pos()).contains(pos)) {
        pressPos_.reset();
        startEditing();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void GridCellView::contextMenuEvent(QContextMenuEvent* event)
{
    if (expanded_ || !header_->geometry().contains(event->pos())) {
        QWidget::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    menu.addAction(QStringLiteral("이름 변경"), this, [this] { startEditing(); });
    menu.addAction(QStringLiteral("확대"), this, [this] { expand(); });
    if (cell_->kind() == AdapterKind::iterm2) {
        const QString id = cell_->id();
        menu.addAction(QStringLiteral("그리드에서 분리(세션 유지)"), this, [this, id] { store_.closeCell(id); });
    }
    QPointer<GridCellView> self(this);
    menu.exec(event->globalPos());
    if (self) event->accept();
}

// ---- drops ----

void GridCellView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    frame_->setHighlighted(true);
}

void GridCellView::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasText())
        event->acceptProposedAction();
    else
        event->ignore();
}

void GridCellView::dragLeaveEvent(QDragLeaveEvent* event)
{
    frame_->setHighlighted(false);
    QWidget::dragLeaveEvent(event);
}

void GridCellView::dropEvent(QDropEvent* event)
{
    frame_->setHighlighted(false);
    const QString payload = event->mimeData()->text();
    const auto target = store_.index(cell_->id());
    if (!event->mimeData()->hasText() || !target) {
        event->ignore();
        return;
    }
    if (store_.handleDrop(payload, *target))
        event->acceptProposedAction();
    else
        event->ignore();
}

}  // namespace tilebay
