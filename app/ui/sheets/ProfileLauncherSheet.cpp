#include "app/ui/sheets/ProfileLauncherSheet.h"

#include "app/store/SessionStore.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/sheets/ProfileRow.h"
#include "app/ui/sheets/ProfileText.h"
#include "app/ui/sheets/SheetField.h"
#include "app/ui/sheets/SheetParts.h"
#include "app/ui/sheets/SheetSymbol.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace tilebay {

ProfileLauncherSheet::ProfileLauncherSheet(SessionStore& store, QWidget* parent) : SheetDialog(parent), store_(store)
{
    detachOnDismiss(&store_);
    setWindowTitle(QStringLiteral("프로필 열기"));
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto* bar = new QWidget(this);
    auto* barRow = new QHBoxLayout(bar);
    barRow->setContentsMargins(14, 14, 14, 14);
    barRow->setSpacing(8);
    barRow->addWidget(new SheetSymbol(QStringLiteral("magnifyingglass"), 15, bar));
    search_ = new SheetField(bar);
    search_->setPlaceholderText(QStringLiteral("프로필 검색…"));
    search_->setFont(dsFont(15));
    search_->setFrame(false);
    {
        // The plain style: no field of its own behind the text.
        QPalette clear = search_->palette();
        clear.setColor(QPalette::Base, Qt::transparent);
        search_->setPalette(clear);
    }
    search_->setSubmit([this] { run([this] { submit(); }); });
    barRow->addWidget(search_, 1);
    root->addWidget(bar);
    root->addWidget(new SheetRule(this));

    empty_ = new QWidget(this);
    auto* emptyColumn = new QVBoxLayout(empty_);
    emptyColumn->setContentsMargins(0, 30, 0, 30);
    emptyColumn->setSpacing(6);
    emptyColumn->addWidget(new SheetSymbol(QStringLiteral("square.stack.3d.up"), 24, empty_), 0, Qt::AlignHCenter);
    auto* emptyTitle = new SheetText(QStringLiteral("저장된 프로필이 없습니다"), dsFont(12), true, empty_);
    emptyColumn->addWidget(emptyTitle, 0, Qt::AlignHCenter);
    auto* emptyHint = new SheetText(QStringLiteral("새 터미널 만들 때 \u2018프로필로 저장\u2019 또는 설정에서 추가하세요."),
                                    dsFont(11), true, empty_);
    emptyHint->setAlignment(Qt::AlignHCenter);
    emptyHint->setWordWrap(true);
    emptyColumn->addWidget(emptyHint);
    root->addWidget(empty_);

    list_ = new QScrollArea(this);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setWidgetResizable(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    listContent_ = new QWidget(list_);
    auto* listColumn = new QVBoxLayout(listContent_);
    listColumn->setContentsMargins(10, 10, 10, 10);
    listColumn->setSpacing(4);
    listColumn->addStretch(1);
    list_->setWidget(listContent_);
    list_->viewport()->setAutoFillBackground(false);
    listContent_->setAutoFillBackground(false);
    root->addWidget(list_);
    root->addWidget(new SheetRule(this));

    auto* bottom = new QWidget(this);
    auto* bottomRow = new QHBoxLayout(bottom);
    bottomRow->setContentsMargins(14, 14, 14, 14);
    blank_ = new DSOutlineButton(QStringLiteral("빈 터미널"), bottom);
    blank_->setSymbol(QStringLiteral("plus"));
    close_ = new DSOutlineButton(QStringLiteral("닫기"), bottom);
    bottomRow->addWidget(blank_);
    bottomRow->addStretch(1);
    bottomRow->addWidget(close_);
    root->addWidget(bottom);

    connect(search_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    connect(&store_, &SessionStore::profilesChanged, this, [this] { rebuildRows(); });
    connect(blank_, &QAbstractButton::clicked, this, [this] {
        run([this] {
            store_.newEmbeddedSession(std::nullopt, std::nullopt, std::nullopt);
            dismiss();
        });
    });
    connect(close_, &QAbstractButton::clicked, this, [this] { dismiss(); });
    setDefaultAction([this] { submit(); });
    setCancelAction([this] { dismiss(); });

    rebuildRows();
    search_->setFocus(Qt::OtherFocusReason);
}

std::vector<ProfileRow*> ProfileLauncherSheet::shownRows() const
{
    std::vector<ProfileRow*> shown;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (shown_[i]) shown.push_back(rows_[i]);
    return shown;
}

void ProfileLauncherSheet::rebuildRows()
{
    auto* column = static_cast<QVBoxLayout*>(listContent_->layout());
    for (ProfileRow* row : rows_) {
        column->removeWidget(row);
        row->hide();
        row->deleteLater();  // it may be the row whose click is being handled
    }
    rows_.clear();
    const auto& profiles = store_.profiles();
    rows_.reserve(profiles.size());
    for (const TerminalProfile& profile : profiles) {
        auto* row = new ProfileRow(profile, listContent_);
        connect(row, &QAbstractButton::clicked, this, [this, row] {
            const TerminalProfile chosen = row->profile();
            run([this, chosen] { launch(chosen); });
        });
        column->insertWidget(column->count() - 1, row);
        rows_.push_back(row);
    }
    shown_.assign(rows_.size(), true);
    // The tab order follows the rows, between the search field and the buttons.
    QWidget* previous = search_;
    for (ProfileRow* row : rows_) {
        setTabOrder(previous, row);
        previous = row;
    }
    setTabOrder(previous, blank_);
    setTabOrder(blank_, close_);

    const bool none = profiles.empty();
    empty_->setVisible(none);
    list_->setVisible(!none);
    applyFilter();
    fitHeight();
}

void ProfileLauncherSheet::applyFilter()
{
    const QString key = ProfileText::searchKey(search_->text());
    bool changed = false;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const bool show = ProfileText::nameMatches(rows_[i]->name(), key);
        if (show == shown_[i]) continue;
        shown_[i] = show;
        rows_[i]->setVisible(show);
        changed = true;
    }
    if (changed) fitHeight();
}

void ProfileLauncherSheet::fitHeight()
{
    // The list is as tall as its rows, up to the limit, and the sheet follows.
    int content = 20;
    int shownCount = 0;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (shown_[i]) {
            content += rows_[i]->sizeHint().height();
            ++shownCount;
        }
    if (shownCount > 1) content += 4 * (shownCount - 1);
    list_->setFixedHeight(std::min(content, kListMaxHeight));
    layout()->activate();
    setFixedSize(kWidth, layout()->sizeHint().height());
}

void ProfileLauncherSheet::submit()
{
    const auto& profiles = store_.profiles();
    const QString key = ProfileText::searchKey(search_->text());
    for (const TerminalProfile& profile : profiles)
        if (ProfileText::nameMatches(QString::fromStdString(profile.name), key)) {
            const TerminalProfile chosen = profile;
            launch(chosen);
            return;
        }
}

void ProfileLauncherSheet::launch(const TerminalProfile& profile)
{
    store_.newEmbeddedSession(QString::fromStdString(profile.name), ProfileText::launchValue(profile.cwd),
                              ProfileText::launchValue(profile.startCommand));
    store_.setShowProfileLauncher(false);
    dismiss();
}

}  // namespace tilebay
