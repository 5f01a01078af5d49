#include "app/ui/toolbar/ToolbarView.h"

#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/design/Divider.h"
#include "app/ui/design/ElidedLabel.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/design/SymbolView.h"
#include "app/ui/toolbar/StatusLegend.h"
#include "app/ui/toolbar/ToolbarStore.h"

#include <QHBoxLayout>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QSlider>

#include <cmath>

namespace tilebay {

namespace {

const QString kNewTerminalTitle = QStringLiteral("새 터미널");
const QString kProfilesTitle = QStringLiteral("프로필");
const QString kImportTitle = QStringLiteral("iTerm2 가져오기");
const QString kBroadcastTitle = QStringLiteral("브로드캐스트");
const QString kBroadcastHelp = QStringLiteral("선택한 내장 셀에 같은 명령을 동시 입력");
const QString kSettingsHelp = QStringLiteral("설정");

constexpr int kDividerHeight = 16;
constexpr int kZoomMin = 500;   // the slider works in thousandths of the zoom
constexpr int kZoomMax = 3000;

QWidget* group(QWidget* parent, std::initializer_list<QWidget*> children)
{
    auto* box = new QWidget(parent);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    for (QWidget* child : children) layout->addWidget(child, 0, Qt::AlignVCenter);
    return box;
}

}  // namespace

ToolbarView::ToolbarView(ToolbarStore& store, QWidget* parent) : QWidget(parent), store_(store)
{
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    newTerminal_ = new DSPrimaryButton(kNewTerminalTitle, this);
    newTerminal_->setSymbol(QStringLiteral("plus"));
    newTerminal_->setToolTip(kNewTerminalTitle);

    profiles_ = new DSOutlineButton(kProfilesTitle, this);
    profiles_->setSymbol(QStringLiteral("square.stack.3d.up"));
    profiles_->setToolTip(kProfilesTitle);

    import_ = new DSOutlineButton(kImportTitle, this);
    import_->setSymbol(QStringLiteral("rectangle.on.rectangle"));
    import_->setToolTip(kImportTitle);

    broadcast_ = new DSOutlineButton(kBroadcastTitle, this);
    broadcast_->setSymbol(QStringLiteral("dot.radiowaves.left.and.right"));
    broadcast_->setToolTip(kBroadcastHelp);

    cellCount_ = new ElidedLabel(QString(), this);
    cellCount_->setFont(dsFont(12));
    cellCount_->setTone(TextTone::secondary);

    auto* timer = new SymbolView(QStringLiteral("timer"), SymbolScale::small);
    pollReadout_ = new ElidedLabel(QString());
    pollReadout_->setFont(dsFont(11));
    pollReadout_->setTone(TextTone::secondary);
    pollGroup_ = group(this, {timer, pollReadout_});
    pollDivider_ = new Divider(kDividerHeight, this);

    auto* grid = new SymbolView(QStringLiteral("rectangle.grid.3x2"), SymbolScale::small);
    zoomSlider_ = new QSlider(Qt::Horizontal);
    zoomSlider_->setRange(kZoomMin, kZoomMax);
    zoomSlider_->setSingleStep(50);  // the arrow keys move the zoom by 0.05
    zoomSlider_->setPageStep(250);
    zoomGroup_ = group(this, {grid, zoomSlider_});
    zoomDivider_ = new Divider(kDividerHeight, this);

    legend_ = new StatusLegend(false,
                               {TerminalStatus::running, TerminalStatus::idle,
                                TerminalStatus::waiting, TerminalStatus::unknown},
                               this);
    legendDivider_ = new Divider(kDividerHeight, this);

    settings_ = new SymbolButton(QStringLiteral("gearshape"), SymbolScale::medium, this);
    settings_->setToolTip(kSettingsHelp);

    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(12, 0, 12, 0);
    row_->setSpacing(12);
    for (QWidget* w : {static_cast<QWidget*>(newTerminal_), static_cast<QWidget*>(profiles_),
                       static_cast<QWidget*>(import_), static_cast<QWidget*>(broadcast_),
                       static_cast<QWidget*>(cellCount_)})
        row_->addWidget(w, 0, Qt::AlignVCenter);
    row_->addSpacerItem(new QSpacerItem(4, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
    for (QWidget* w : {pollGroup_, static_cast<QWidget*>(pollDivider_), zoomGroup_,
                       static_cast<QWidget*>(zoomDivider_), static_cast<QWidget*>(legend_),
                       static_cast<QWidget*>(legendDivider_), static_cast<QWidget*>(settings_)})
        row_->addWidget(w, 0, Qt::AlignVCenter);

    connect(newTerminal_, &QAbstractButton::clicked, this, [this] { store_.promptNewTerminal(); });
    connect(profiles_, &QAbstractButton::clicked, this,
            [this] { store_.setShowProfileLauncher(true); });
    connect(import_, &QAbstractButton::clicked, this, [this] {
        // Always shows the panel (never hides it) and lists the sessions again.
        store_.setShowImport(true);
        store_.refreshImportList();
    });
    connect(broadcast_, &QAbstractButton::clicked, this, [this] { store_.toggleBroadcastMode(); });
    connect(settings_, &QAbstractButton::clicked, this, [this] { store_.setShowSettings(true); });
    connect(zoomSlider_, &QSlider::valueChanged, this,
            [this](int value) { store_.setZoom(value / 1000.0); });
    connect(&store_, &ToolbarStore::changed, this, &ToolbarView::syncFromStore);

    form_ = ToolbarForm::tiny;  // differs from the first applied form, so all is set
    applyForm(ToolbarForm::wide);
    syncFromStore();
}

ToolbarForm ToolbarView::formForWidth(int width)
{
    if (width < kTinyBelow) return ToolbarForm::tiny;
    if (width < kCompactBelow) return ToolbarForm::compact;
    return ToolbarForm::wide;
}

QSize ToolbarView::sizeHint() const
{
    return {kCompactBelow, kHeight};
}

QSize ToolbarView::minimumSizeHint() const
{
    // The row adapts to any width; it never holds the window open.
    return {0, kHeight};
}

void ToolbarView::resizeEvent(QResizeEvent* event)
{
    applyForm(formForWidth(event->size().width()));
    QWidget::resizeEvent(event);
}

void ToolbarView::applyForm(ToolbarForm form)
{
    if (form == form_) return;
    form_ = form;
    const bool compact = form != ToolbarForm::wide;
    const bool tiny = form == ToolbarForm::tiny;

    newTerminal_->setText(compact ? QString() : kNewTerminalTitle);
    profiles_->setText(compact ? QString() : kProfilesTitle);
    import_->setText(compact ? QString() : kImportTitle);
    broadcast_->setText(compact ? QString() : kBroadcastTitle);

    cellCount_->setVisible(!compact);
    pollGroup_->setVisible(!compact);
    pollDivider_->setVisible(!compact);
    zoomGroup_->setVisible(!tiny);
    zoomDivider_->setVisible(!tiny);
    legend_->setVisible(!tiny);
    legendDivider_->setVisible(!tiny);

    zoomSlider_->setFixedWidth(compact ? 70 : 110);
    legend_->setCompact(compact);
    row_->setSpacing(compact ? 6 : 12);
}

void ToolbarView::syncFromStore()
{
    cellCount_->setText(QStringLiteral("%1개 셀").arg(store_.cellCount()));
    pollReadout_->setText(QStringLiteral("폴링 %1ms · 유휴 %2s")
                              .arg(store_.pollIntervalMs())
                              .arg(store_.idleThresholdSec()));
    broadcast_->setTint(store_.broadcastMode() ? DS::orange() : QColor());
    const QSignalBlocker block(zoomSlider_);
    zoomSlider_->setValue(static_cast<int>(std::lround(store_.zoom() * 1000.0)));
}

}  // namespace tilebay
