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

#include <algorithm>
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
constexpr int kSidePadding = 12;
constexpr int kMinimumGap = 4;  // the spacer between leading and trailing controls
constexpr int kSpacingWide = 12;
constexpr int kSpacingCompact = 6;
constexpr int kSliderWide = 110;
constexpr int kSliderCompact = 70;
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
    // Reached by Tab; a click leaves the keyboard focus where it was (in a terminal).
    zoomSlider_->setFocusPolicy(Qt::TabFocus);
    zoomGroup_ = group(this, {grid, zoomSlider_});
    zoomDivider_ = new Divider(kDividerHeight, this);

    legend_ = new StatusLegend(false,
                               {TerminalStatus::running, TerminalStatus::idle,
                                TerminalStatus::waiting, TerminalStatus::unknown},
                               this);
    legendDivider_ = new Divider(kDividerHeight, this);

    settings_ = new SymbolButton(QStringLiteral("gearshape"), SymbolScale::medium, this);
    settings_->setToolTip(kSettingsHelp);

    leading_ = {newTerminal_, profiles_, import_, broadcast_, cellCount_};
    trailing_ = {pollGroup_, pollDivider_, zoomGroup_, zoomDivider_,
                 legend_,    legendDivider_, settings_};

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

ToolbarForm ToolbarView::formFor(int width) const
{
    if (width >= kCompactBelow && naturalWidth(ToolbarForm::wide) <= width) return ToolbarForm::wide;
    if (width >= kTinyBelow && naturalWidth(ToolbarForm::compact) <= width) return ToolbarForm::compact;
    return ToolbarForm::tiny;
}

int ToolbarView::naturalWidth(ToolbarForm form) const
{
    // Computed from the controls' contents, whatever form is shown now.
    const bool compact = form != ToolbarForm::wide;
    const bool tiny = form == ToolbarForm::tiny;
    const auto title = [compact](const QString& text) { return compact ? QString() : text; };
    std::vector<int> widths{newTerminal_->sizeHintFor(title(kNewTerminalTitle)).width(),
                            profiles_->sizeHintFor(title(kProfilesTitle)).width(),
                            import_->sizeHintFor(title(kImportTitle)).width(),
                            broadcast_->sizeHintFor(title(kBroadcastTitle)).width()};
    if (!compact) {
        widths.push_back(cellCount_->sizeHint().width());
        widths.push_back(pollGroup_->sizeHint().width());
        widths.push_back(pollDivider_->sizeHint().width());
    }
    if (!tiny) {
        const int slider = compact ? kSliderCompact : kSliderWide;
        widths.push_back(zoomGroup_->sizeHint().width() - zoomSlider_->minimumWidth() + slider);
        widths.push_back(zoomDivider_->sizeHint().width());
        widths.push_back(legend_->widthFor(compact));
        widths.push_back(legendDivider_->sizeHint().width());
    }
    widths.push_back(settings_->sizeHint().width());
    int total = 2 * kSidePadding + kMinimumGap;
    // One gap after each control: the spacer in the middle has one on each side.
    for (int w : widths) total += w + (compact ? kSpacingCompact : kSpacingWide);
    return total;
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
    adapt();
    QWidget::resizeEvent(event);
}

bool ToolbarView::event(QEvent* event)
{
    // A child changed its size (a new count, a retitled button, a new font).
    if (event->type() == QEvent::LayoutRequest) adapt();
    return QWidget::event(event);
}

void ToolbarView::adapt()
{
    applyForm(formFor(width()));
    layoutRow();
}

void ToolbarView::layoutRow()
{
    // One row at the controls' own widths: the leading controls from the left
    // edge, the trailing ones from the right, the flexible gap of at least
    // 4 px between them. The form was chosen so that the row fits.
    std::vector<QWidget*> items;
    for (QWidget* w : leading_)
        if (!w->isHidden()) items.push_back(w);
    const size_t leadingCount = items.size();
    for (QWidget* w : trailing_)
        if (!w->isHidden()) items.push_back(w);
    std::vector<int> widths;
    for (QWidget* w : items) widths.push_back(w->sizeHint().width());

    auto place = [this](QWidget* w, int x, int width) {
        const int h = std::min(w->sizeHint().height(), kHeight);
        w->setGeometry(x, (kHeight - h) / 2, width, h);
    };
    int x = kSidePadding;
    for (size_t i = 0; i < leadingCount; ++i) {
        place(items[i], x, widths[i]);
        x += widths[i] + spacing_;
    }
    int right = width() - kSidePadding;
    for (size_t i = items.size(); i-- > leadingCount;) {
        right -= widths[i];
        place(items[i], right, widths[i]);
        right -= spacing_;
    }
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

    zoomSlider_->setFixedWidth(compact ? kSliderCompact : kSliderWide);
    legend_->setCompact(compact);
    spacing_ = compact ? kSpacingCompact : kSpacingWide;
    layoutRow();
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
    // A longer count or readout may no longer fit the wide form.
    adapt();
}

}  // namespace tilebay
