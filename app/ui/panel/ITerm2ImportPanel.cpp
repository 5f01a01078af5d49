#include "app/ui/panel/ITerm2ImportPanel.h"

#include "app/store/SessionStore.h"
#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/panel/ImportChip.h"
#include "app/ui/panel/Spinner.h"
#include "app/ui/sheets/SheetParts.h"
#include "app/ui/sheets/SheetSymbol.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tilebay {

ITerm2ImportPanel::ITerm2ImportPanel(SessionStore& store, QWidget* parent) : QWidget(parent), store_(store)
{
    setFixedWidth(kWidth);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(12, 10, 12, 10);
    headerRow->addWidget(new SheetText(QStringLiteral("iTerm2 세션"), dsFont(13, QFont::DemiBold), false, header));
    headerRow->addStretch(1);
    refresh_ = new SymbolButton(QStringLiteral("arrow.clockwise"), SymbolScale::small, header);
    refresh_->setToolTip(QStringLiteral("새로고침"));
    close_ = new SymbolButton(QStringLiteral("xmark"), SymbolScale::small, header);
    close_->setToolTip(QStringLiteral("닫기"));
    headerRow->addWidget(refresh_);
    headerRow->addWidget(close_);
    root->addWidget(header);
    root->addWidget(new SheetRule(this));

    auto* explanation = new SheetText(QStringLiteral("세션을 그리드 슬롯으로 드래그하거나 클릭해 추가. 흡수해도 세션은 "
                                                     "종료되지 않습니다. (목록은 자동 갱신)"),
                                      dsFont(11), true, this);
    explanation->setWordWrap(true);
    explanation->setContentsMargins(12, 10, 12, 0);
    root->addWidget(explanation);

    loading_ = new QWidget(this);
    auto* loadingColumn = new QVBoxLayout(loading_);
    loadingColumn->setContentsMargins(0, 30, 0, 30);
    spinner_ = new Spinner(loading_);
    loadingColumn->addWidget(spinner_, 0, Qt::AlignHCenter);
    root->addWidget(loading_);

    empty_ = new QWidget(this);
    auto* emptyColumn = new QVBoxLayout(empty_);
    emptyColumn->setContentsMargins(16, 30, 16, 0);
    emptyColumn->setSpacing(8);
    emptyColumn->addWidget(new SheetSymbol(QStringLiteral("rectangle.on.rectangle"), 24, empty_), 0, Qt::AlignHCenter);
    emptyColumn->addWidget(new SheetText(QStringLiteral("가져올 세션 없음"), dsFont(12), true, empty_), 0,
                           Qt::AlignHCenter);
    auto* emptyNote = new SheetText(QStringLiteral("이미 모두 가져왔거나 열린 세션이 없습니다.\niTerm2에서 새 탭/창을 "
                                                   "열면 여기 자동으로 나타납니다.\n(첫 사용 시 자동화 권한 허용 필요)"),
                                    dsFont(11), true, empty_);
    emptyNote->setAlignment(Qt::AlignHCenter);
    emptyNote->setWordWrap(true);
    emptyColumn->addWidget(emptyNote);
    root->addWidget(empty_);

    list_ = new QScrollArea(this);
    list_->setFrameShape(QFrame::NoFrame);
    // A click on an entry leaves the keyboard focus where it was (in a terminal).
    list_->setFocusPolicy(Qt::NoFocus);
    list_->setWidgetResizable(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    listContent_ = new QWidget(list_);
    listColumn_ = new QVBoxLayout(listContent_);
    listColumn_->setContentsMargins(12, 12, 12, 12);
    listColumn_->setSpacing(8);
    listColumn_->addStretch(1);
    list_->setWidget(listContent_);
    list_->viewport()->setAutoFillBackground(false);
    listContent_->setAutoFillBackground(false);
    root->addWidget(list_, 1);

    // Below the spinner and the empty state; the list takes the room itself.
    trailingSpace_ = new QWidget(this);
    trailingSpace_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    root->addWidget(trailingSpace_, 1);

    timer_.setInterval(kRefreshIntervalMs);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &ITerm2ImportPanel::autoRefreshTick);
    connect(refresh_, &QAbstractButton::clicked, this, [this] { store_.refreshImportList(); });
    connect(close_, &QAbstractButton::clicked, this, [this] { store_.setShowImport(false); });
    connect(&store_, &SessionStore::showImportChanged, this, [this](bool shown) {
        if (!shown) timer_.stop();
    });
    connect(&store_, &SessionStore::importListChanged, this, [this] { rebuildChips(); });
    connect(&store_, &SessionStore::importLoadingChanged, this, [this] { updateContent(); });

    rebuildChips();
}

void ITerm2ImportPanel::autoRefreshTick()
{
    if (!store_.importLoading()) store_.refreshImportList();
}

void ITerm2ImportPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A window coming back from the minimised state is no new showing.
    if (event->spontaneous()) return;
    timer_.start();
    store_.refreshImportList();
}

void ITerm2ImportPanel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous()) timer_.stop();
}

void ITerm2ImportPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), DS::windowBackground(palette()));
}

void ITerm2ImportPanel::rebuildChips()
{
    if (dragging_) {
        rebuildPending_ = true;
        updateContent();
        return;
    }
    rebuildPending_ = false;
    for (ImportChip* chip : chips_) {
        listColumn_->removeWidget(chip);
        chip->hide();
        // A chip may be in the middle of its own click handler.
        chip->deleteLater();
    }
    chips_.clear();
    QWidget* previous = close_;
    for (const ITerm2SessionSnapshot& session : store_.importList()) {
        auto* chip = new ImportChip(session, listContent_);
        connect(chip, &ImportChip::activated, this, [this, chip] { absorb(*chip); });
        connect(chip, &ImportChip::dragStarted, this, [this] { dragging_ = true; });
        connect(chip, &ImportChip::dragEnded, this, [this] {
            dragging_ = false;
            // Leave the drag's own event handling before the chips go.
            if (rebuildPending_) QTimer::singleShot(0, this, [this] { rebuildChips(); });
        });
        listColumn_->insertWidget(listColumn_->count() - 1, chip);
        setTabOrder(previous, chip);
        previous = chip;
        chips_.push_back(chip);
    }
    updateContent();
}

void ITerm2ImportPanel::updateContent()
{
    if (store_.importLoading()) content_ = Content::loading;
    else if (store_.importList().isEmpty()) content_ = Content::empty;
    else content_ = Content::list;
    loading_->setVisible(content_ == Content::loading);
    empty_->setVisible(content_ == Content::empty);
    list_->setVisible(content_ == Content::list);
    trailingSpace_->setVisible(content_ != Content::list);
}

void ITerm2ImportPanel::absorb(const ImportChip& chip)
{
    // Copies: absorbing prunes the list, which rebuilds the chips.
    const QString guid = chip.session().guid;
    const QString name = chip.session().name;
    store_.absorbExternal(guid, name, static_cast<qsizetype>(store_.cells().size()));
}

}  // namespace tilebay
