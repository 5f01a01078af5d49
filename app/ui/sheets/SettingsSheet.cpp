#include "app/ui/sheets/SettingsSheet.h"

#include "app/store/SessionStore.h"
#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/design/ElidedLabel.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/sheets/ProfileText.h"
#include "app/ui/sheets/SheetParts.h"
#include "app/ui/sheets/Stepper.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tilebay {

namespace {

// The rounded group that holds one section's rows.
class FormGroup : public QWidget {
public:
    explicit FormGroup(QWidget* parent) : QWidget(parent)
    {
        column = new QVBoxLayout(this);
        column->setContentsMargins(12, 10, 12, 10);
        column->setSpacing(10);
    }
    QVBoxLayout* column;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor fill = DS::primaryText(palette());
        fill.setAlphaF(0.05f);
        p.setPen(QPen(DS::separator(palette()), 1));
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

QString appearanceLabel(AppAppearance value)
{
    switch (value) {
    case AppAppearance::system: return QStringLiteral("시스템");
    case AppAppearance::light: return QStringLiteral("라이트");
    case AppAppearance::dark: return QStringLiteral("다크");
    }
    return {};
}

QString themeLabel(TerminalTheme value)
{
    switch (value) {
    case TerminalTheme::dark: return QStringLiteral("다크");
    case TerminalTheme::solarizedDark: return QStringLiteral("솔라라이즈드");
    case TerminalTheme::dracula: return QStringLiteral("드라큘라");
    case TerminalTheme::light: return QStringLiteral("라이트");
    }
    return {};
}

QCheckBox* toggle(const QString& text, QWidget* parent)
{
    auto* box = new SheetCheckBox(text, parent);
    box->setFont(dsFont(13));
    return box;
}

SheetText* caption(const QString& text, QWidget* parent)
{
    auto* label = new SheetText(text, dsFont(11), true, parent);
    label->setWordWrap(true);
    return label;
}

QPushButton* standardButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFont(dsFont(13));
    return button;
}

const QString kTmuxFound = QStringLiteral(
    "내장 터미널을 tmux 세션에서 실행합니다. 앱을 닫아도 셸·claude가 백그라운드에 살아 있다가, 다시 열면 그대로 "
    "복원됩니다. (새 터미널부터, 또는 다음 실행의 복원 셀에 적용)");
const QString kTmuxMissing = QStringLiteral(
    "\u26A0\uFE0E tmux가 설치돼 있지 않습니다. 터미널에서 `apt install tmux` 후 켜면 적용됩니다. (미설치 시 일반 셸로 "
    "동작)");

}  // namespace

SettingsSheet::SettingsSheet(SessionStore& store, QWidget* parent) : SheetDialog(parent), store_(store)
{
    detachOnDismiss(&store_);
    setWindowTitle(QStringLiteral("설정"));
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto* title = new QWidget(this);
    auto* titleRow = new QHBoxLayout(title);
    titleRow->setContentsMargins(16, 16, 16, 16);
    titleRow->addWidget(new SheetText(QStringLiteral("설정"), dsFont(16, QFont::DemiBold), false, title));
    titleRow->addStretch(1);
    done_ = standardButton(QStringLiteral("완료"), title);
    titleRow->addWidget(done_);
    root->addWidget(title);
    root->addWidget(new SheetRule(this));

    form_ = new QScrollArea(this);
    form_->setFrameShape(QFrame::NoFrame);
    form_->setWidgetResizable(true);
    form_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    form_->setWidget(buildForm());
    form_->viewport()->setAutoFillBackground(false);
    form_->widget()->setAutoFillBackground(false);
    root->addWidget(form_, 1);

    connect(done_, &QPushButton::clicked, this, [this] { dismiss(); });
    setDefaultAction([this] { dismiss(); });

    // Handlers on the store's members: they run after every change while the
    // sheet is open, whoever made it, and go with the sheet.
    connect(&store_, &SessionStore::pollIntervalMsChanged, this, [this] {
        store_.persist();
        store_.startTimer();
        poll_->refresh();
    });
    connect(&store_, &SessionStore::idleThresholdSecChanged, this, [this] {
        store_.persist();
        idle_->refresh();
    });
    for (auto signal : {&SessionStore::absorbITerm2Changed, &SessionStore::stripTitleTailsChanged,
                        &SessionStore::useITerm2PythonAPIChanged})
        connect(&store_, signal, this, [this] {
            store_.persist();
            syncFromStore();
        });
    // Members that save themselves: the sheet only follows them.
    connect(&store_, &SessionStore::appearanceChanged, this, [this] { syncFromStore(); });
    connect(&store_, &SessionStore::terminalThemeChanged, this, [this] { syncFromStore(); });
    connect(&store_, &SessionStore::terminalFontSizeChanged, this, [this] { fontSize_->refresh(); });
    connect(&store_, &SessionStore::tmuxPersistenceChanged, this, [this] { syncFromStore(); });
    connect(&store_, &SessionStore::profilesChanged, this, [this] { rebuildProfiles(); });

    done_->setFocus(Qt::OtherFocusReason);
    setFixedSize(kSide, kSide);
}

QWidget* SettingsSheet::buildForm()
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(16, 12, 16, 16);
    column->setSpacing(6);

    auto section = [&](const QString& header) {
        if (!header.isEmpty()) {
            auto* label = new SheetText(header, dsFont(12, QFont::DemiBold), true, content);
            label->setContentsMargins(4, 8, 0, 0);
            column->addWidget(label);
        } else {
            column->addSpacing(10);
        }
        auto* group = new FormGroup(content);
        column->addWidget(group);
        return group;
    };
    auto labelled = [](const QString& text, QWidget* control, QWidget* parent) {
        auto* row = new QWidget(parent);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* label = new SheetText(text, dsFont(13), false, row);
        layout->addWidget(label);
        layout->addStretch(1);
        layout->addWidget(control);
        return row;
    };

    // 1: appearance.
    FormGroup* outlook = section(QStringLiteral("외관"));
    auto* segments = new QWidget(outlook);
    auto* segmentRow = new QHBoxLayout(segments);
    segmentRow->setContentsMargins(0, 0, 0, 0);
    segmentRow->setSpacing(0);
    appearance_ = new QButtonGroup(this);
    appearance_->setExclusive(true);
    for (AppAppearance value : allAppAppearances) {
        auto* button = new SheetSegment(appearanceLabel(value), segments);
        button->setAutoDefault(false);
        button->setFont(dsFont(13));
        appearance_->addButton(button, static_cast<int>(value));
        segmentRow->addWidget(button);
    }
    outlook->column->addWidget(labelled(QStringLiteral("테마"), segments, outlook));
    connect(appearance_, &QButtonGroup::idClicked, this, [this](int id) {
        const auto value = static_cast<AppAppearance>(id);
        if (value != store_.appearance()) store_.setAppearance(value);
    });

    // 2: profiles.
    FormGroup* profiles = section(QStringLiteral("프로필 (Ctrl+Shift+O로 빠르게 열기)"));
    profilesBox_ = profiles;
    profilesColumn_ = profiles->column;
    rebuildProfiles();

    // 3: embedded terminals.
    FormGroup* terminals = section(QStringLiteral("내장 터미널"));
    theme_ = new QComboBox(terminals);
    theme_->setFont(dsFont(13));
    for (TerminalTheme value : allTerminalThemes) theme_->addItem(themeLabel(value), static_cast<int>(value));
    terminals->column->addWidget(labelled(QStringLiteral("색 테마"), theme_, terminals));
    connect(theme_, &QComboBox::activated, this, [this](int index) {
        const auto value = static_cast<TerminalTheme>(theme_->itemData(index).toInt());
        if (value != store_.terminalTheme()) store_.setTerminalTheme(value);
    });
    fontSize_ = new Stepper(
        {9, 22, 1}, [this] { return store_.terminalFontSize(); },
        [this](double points) { store_.setTerminalFontSize(points); },
        [](double points) { return QStringLiteral("글꼴 크기: %1pt").arg(static_cast<long long>(std::trunc(points))); },
        terminals);
    terminals->column->addWidget(fontSize_);

    // 4: tmux.
    FormGroup* persistence = section(QStringLiteral("세션 영속화 (tmux)"));
    tmux_ = toggle(QStringLiteral("Cellwright을 닫아도 터미널 유지"), persistence);
    persistence->column->addWidget(tmux_);
    // Asked once per run by the store; the first sheet pays for the lookup.
    tmuxCaption_ = caption(store_.tmuxAvailable() ? kTmuxFound : kTmuxMissing, persistence);
    persistence->column->addWidget(tmuxCaption_);
    connect(tmux_, &QCheckBox::toggled, this, [this](bool on) { store_.setTmuxPersistence(on); });

    // 5: polling.
    FormGroup* polling = section(QStringLiteral("상태 폴링"));
    poll_ = new Stepper(
        {250, 5000, 250}, [this] { return static_cast<double>(store_.pollIntervalMs()); },
        [this](double ms) { store_.setPollIntervalMs(static_cast<qint64>(std::llround(ms))); },
        [](double ms) {
            return QStringLiteral("폴링 주기: %1 ms (하한 %2)")
                .arg(static_cast<long long>(ms))
                .arg(SessionStore::minPollIntervalMs);
        },
        polling);
    idle_ = new Stepper(
        {3, 60, 1}, [this] { return static_cast<double>(store_.idleThresholdSec()); },
        [this](double s) { store_.setIdleThresholdSec(static_cast<qint64>(std::llround(s))); },
        [](double s) { return QStringLiteral("유휴 임계: %1 s").arg(static_cast<long long>(s)); }, polling);
    polling->column->addWidget(poll_);
    polling->column->addWidget(idle_);

    // 6: iTerm2.
    FormGroup* iterm = section(QStringLiteral("iTerm2 흡수"));
    absorb_ = toggle(QStringLiteral("iTerm2 세션 자동 흡수"), iterm);
    stripTitles_ = toggle(QStringLiteral("제목 꼬리표 정리(예: \" (caffeinate)\")"), iterm);
    python_ = toggle(QStringLiteral("Python API 사용(켜져 있을 때만, 빠름)"), iterm);
    iterm->column->addWidget(absorb_);
    iterm->column->addWidget(stripTitles_);
    iterm->column->addWidget(python_);
    iterm->column->addWidget(caption(QStringLiteral("Python API는 iTerm2 설정에서 활성화 + iTerm2 재시작이 필요합니다. "
                                                    "꺼져 있으면 AppleScript로 동작합니다."),
                                     iterm));
    connect(absorb_, &QCheckBox::toggled, this, [this](bool on) { store_.setAbsorbITerm2(on); });
    connect(stripTitles_, &QCheckBox::toggled, this, [this](bool on) { store_.setStripTitleTails(on); });
    connect(python_, &QCheckBox::toggled, this, [this](bool on) { store_.setUseITerm2PythonAPI(on); });

    // 7: the guide.
    FormGroup* guide = section(QString());
    guide_ = standardButton(QStringLiteral("최초 실행 안내 다시 보기"), guide);
    guide->column->addWidget(guide_, 0, Qt::AlignLeft);
    connect(guide_, &QPushButton::clicked, this, [this] {
        run([this] {
            store_.setShowOnboarding(true);
            dismiss();
        });
    });

    column->addStretch(1);
    syncFromStore();
    return content;
}

void SettingsSheet::changeEvent(QEvent* event)
{
    SheetDialog::changeEvent(event);
    if (event->type() != QEvent::PaletteChange) return;
    for (SymbolButton* remove : deleteButtons_) remove->setTint(DS::secondaryText(palette()));
}

std::vector<QAbstractButton*> SettingsSheet::deleteButtons() const
{
    return {deleteButtons_.begin(), deleteButtons_.end()};
}

void SettingsSheet::rebuildProfiles()
{
    while (QLayoutItem* item = profilesColumn_->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->hide();
            w->deleteLater();  // its delete button may be the sender
        }
        delete item;
    }
    deleteButtons_.clear();
    profilesPlaceholder_ = nullptr;
    const auto& profiles = store_.profiles();
    if (profiles.empty()) {
        profilesPlaceholder_ =
            caption(QStringLiteral("새 터미널 만들 때 \u2018프로필로 저장\u2019을 켜면 여기 추가됩니다."), profilesBox_);
        profilesColumn_->addWidget(profilesPlaceholder_);
        return;
    }
    for (const TerminalProfile& profile : profiles) {
        auto* row = new QWidget(profilesBox_);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* name = new SheetText(QString::fromStdString(profile.name), dsFont(12, QFont::Medium), false, row);
        auto* subtitle = new ElidedLabel(ProfileText::settingsSubtitle(profile), row);
        subtitle->setFont(dsFont(10, QFont::Normal, FontDesign::monospaced));
        subtitle->setTone(TextTone::secondary);
        subtitle->setMinimumHeight(QFontMetrics(subtitle->font()).height());
        texts->addWidget(name);
        texts->addWidget(subtitle);
        layout->addLayout(texts, 1);
        auto* remove = new SymbolButton(QStringLiteral("trash"), SymbolScale::small, row);
        remove->setTint(DS::secondaryText(palette()));
        remove->setToolTip(QStringLiteral("삭제"));
        layout->addWidget(remove);
        const std::string id = profile.id;
        connect(remove, &QAbstractButton::clicked, this, [this, id] {
            std::vector<TerminalProfile> kept = store_.profiles();
            std::erase_if(kept, [&](const TerminalProfile& p) { return p.id == id; });
            store_.setProfiles(std::move(kept));
            store_.persist();
        });
        deleteButtons_.push_back(remove);
        profilesColumn_->addWidget(row);
    }
}

void SettingsSheet::syncFromStore()
{
    if (QAbstractButton* b = appearance_->button(static_cast<int>(store_.appearance()))) {
        const QSignalBlocker block(appearance_);
        b->setChecked(true);
    }
    {
        const QSignalBlocker block(theme_);
        theme_->setCurrentIndex(theme_->findData(static_cast<int>(store_.terminalTheme())));
    }
    auto set = [](QCheckBox* box, bool on) {
        const QSignalBlocker block(box);
        box->setChecked(on);
    };
    set(tmux_, store_.tmuxPersistence());
    set(absorb_, store_.absorbITerm2());
    set(stripTitles_, store_.stripTitleTails());
    set(python_, store_.useITerm2PythonAPI());
    fontSize_->refresh();
    poll_->refresh();
    idle_->refresh();
}

}  // namespace tilebay
