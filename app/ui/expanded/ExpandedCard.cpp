#include "app/ui/expanded/ExpandedCard.h"

#include "app/core/AdapterError.h"
#include "app/ui/TerminalFocusKeeper.h"
#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/design/DSPalette.h"
#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/design/StatusLook.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/design/SymbolView.h"

#include "corvel/qt/TerminalView.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace tilebay {

namespace {

// A horizontal one-pixel rule in the separator colour.
class Rule final : public QWidget {
public:
    explicit Rule(QWidget* parent) : QWidget(parent) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), DS::separator(palette()));
    }
};

// The bars draw nothing of their own: the card's rounded background, in the
// window colour, shows through them (a filled bar would square its corners).
using Bar = QWidget;

// Black at 90 % behind the preview.
class PreviewBackdrop final : public QWidget {
public:
    explicit PreviewBackdrop(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), QColor(0, 0, 0, 230));
    }
};

QLineEdit* plainField(const QString& placeholder, const QFont& font, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setFrame(false);
    field->setPlaceholderText(placeholder);
    field->setFont(font);
    field->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette p = field->palette();
    p.setColor(QPalette::Base, Qt::transparent);
    field->setPalette(p);
    return field;
}

SymbolButton* plainSymbol(const char* symbol, const QString& help, QWidget* parent)
{
    auto* button = new SymbolButton(QString::fromLatin1(symbol), SymbolScale::small, parent);
    button->setToolTip(help);
    return button;
}

bool isInside(const QWidget* ancestor, const QWidget* widget)
{
    return widget && (widget == ancestor || ancestor->isAncestorOf(widget));
}

}  // namespace

ExpandedCard::ExpandedCard(SessionStore& store, std::shared_ptr<TerminalSession> cell, QWidget* parent)
    : QWidget(parent), store_(store), cell_(std::move(cell))
{
    setFocusPolicy(Qt::NoFocus);
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(0);
    column_->addWidget(makeHeader());
    column_->addWidget(makeDivider());
    column_->addWidget(makeSearchBar());
    searchDivider_ = makeDivider();
    column_->addWidget(searchDivider_);
    searchBar_->hide();
    searchDivider_->hide();

    contentArea_ = new QWidget(this);
    contentLayout_ = new QVBoxLayout(contentArea_);
    // Keeps the live content inside the rounded corners (the arc of an 18 px
    // corner is 5.3 px in from the edges at its middle).
    const bool last = cell_->kind() != AdapterKind::iterm2;
    contentLayout_->setContentsMargins(6, 0, 6, last ? 6 : 0);
    contentLayout_->setSpacing(0);
    column_->addWidget(contentArea_, 1);

    if (cell_->kind() == AdapterKind::iterm2) {
        column_->addWidget(makeDivider());
        column_->addWidget(makeCommandBar());
    }

    showContent();
    showStatus();
    connect(cell_.get(), &TerminalSession::statusChanged, this, [this] { showStatus(); });
    connect(cell_.get(), &TerminalSession::projectLabelChanged, this, [this] { showStatus(); });
    connect(cell_.get(), &TerminalSession::previewTextChanged, this, [this] { showPreviewText(); });
    connect(cell_.get(), &TerminalSession::paneRevisionChanged, this, [this] { showContent(); });
}

ExpandedCard::~ExpandedCard()
{
    handBack();
}

QWidget* ExpandedCard::makeDivider()
{
    return new Rule(this);
}

QWidget* ExpandedCard::makeHeader()
{
    auto* header = new Bar(this);
    auto* row = new QHBoxLayout(header);
    headerRow_ = row;
    row->setContentsMargins(14, 9, 14, 9);
    row->setSpacing(8);
    statusSymbol_ = new SymbolView(QStringLiteral("questionmark.circle"), SymbolScale::small, header);
    label_ = new QLabel(header);
    label_->setFont(dsFont(14, QFont::DemiBold));
    label_->setTextFormat(Qt::PlainText);
    tag_ = new QLabel(header);
    tag_->setFont(dsFont(10, QFont::DemiBold));
    row->addWidget(statusSymbol_);
    row->addWidget(label_);
    row->addWidget(tag_);
    row->addStretch(1);
    if (cell_->kind() == AdapterKind::iterm2) {
        openITerm2_ = new DSOutlineButton(QStringLiteral("iTerm2 창 열기"), header);
        openITerm2_->setSymbol(QStringLiteral("arrow.up.forward.app"));
        openITerm2_->setToolTip(QStringLiteral("iTerm2 창 열기"));
        connect(openITerm2_, &QAbstractButton::clicked, this, [this] { openITerm2(); });
        row->addWidget(openITerm2_);
    }
    collapseButton_ = new DSOutlineButton(QStringLiteral("복귀"), header);
    collapseButton_->setSymbol(QStringLiteral("arrow.down.right.and.arrow.up.left"));
    collapseButton_->setToolTip(QStringLiteral("복귀"));
    connect(collapseButton_, &QAbstractButton::clicked, this, [this] {
        if (onCollapse) onCollapse();
    });
    row->addWidget(collapseButton_);
    return header;
}

QWidget* ExpandedCard::makeSearchBar()
{
    searchBar_ = new Bar(this);
    auto* row = new QHBoxLayout(searchBar_);
    row->setContentsMargins(14, 8, 14, 8);
    row->setSpacing(8);
    auto* glass = new SymbolView(QStringLiteral("magnifyingglass"), SymbolScale::small, searchBar_);
    glass->setColour(DS::secondaryText(palette()));
    searchGlass_ = glass;
    searchField_ = plainField(QStringLiteral("검색"), dsFont(13), searchBar_);
    auto* previous = plainSymbol("chevron.up", QStringLiteral("이전"), searchBar_);
    auto* next = plainSymbol("chevron.down", QStringLiteral("다음"), searchBar_);
    auto* close = plainSymbol("xmark", QStringLiteral("닫기"), searchBar_);
    row->addWidget(glass);
    row->addWidget(searchField_, 1);
    row->addWidget(previous);
    row->addWidget(next);
    row->addWidget(close);
    const QString id = cell_->id();
    connect(searchField_, &QLineEdit::returnPressed, this,
            [this, id] { store_.search(id, searchField_->text(), true); });
    connect(previous, &QAbstractButton::clicked, this, [this, id] { store_.search(id, searchField_->text(), false); });
    connect(next, &QAbstractButton::clicked, this, [this, id] { store_.search(id, searchField_->text(), true); });
    connect(close, &QAbstractButton::clicked, this, [this] { closeSearch(); });
    return searchBar_;
}

QWidget* ExpandedCard::makeCommandBar()
{
    commandBar_ = new Bar(this);
    auto* row = new QHBoxLayout(commandBar_);
    row->setContentsMargins(14, 10, 14, 10);
    row->setSpacing(8);
    auto* chevron = new SymbolView(QStringLiteral("chevron.right"), SymbolScale::small, commandBar_);
    chevron->setColour(DS::orange());
    commandField_ = plainField(QStringLiteral("명령 입력 후 Enter — iTerm2 세션으로 전송"),
                               dsFont(13, QFont::Normal, FontDesign::monospaced), commandBar_);
    sendButton_ = new DSPrimaryButton(QStringLiteral("전송"), commandBar_);
    sendButton_->setEnabled(false);
    row->addWidget(chevron);
    row->addWidget(commandField_, 1);
    row->addWidget(sendButton_);
    connect(commandField_, &QLineEdit::textChanged, this,
            // Enabled exactly when the store would send something: it trims
            // every white space (ideographic spaces too) and line break.
            [this](const QString& text) { sendButton_->setEnabled(!text.trimmed().isEmpty()); });
    connect(commandField_, &QLineEdit::returnPressed, this, [this] { send(); });
    connect(sendButton_, &QAbstractButton::clicked, this, [this] { send(); });
    return commandBar_;
}

void ExpandedCard::showContent()
{
    handBack();
    if (preview_) {
        delete preview_;
        preview_ = nullptr;
        previewEmpty_ = nullptr;
        previewText_ = nullptr;
    }
    QWidget* live = nullptr;
    if (cell_->kind() == AdapterKind::embedded) live = store_.embedded().cellContentView(cell_->id());
    else if (cell_->kind() == AdapterKind::iterm2) live = store_.iterm2().cellContentView(cell_->id());
    if (live) {
        live_ = live;
        live->setParent(contentArea_);
        contentLayout_->addWidget(live, 1);
        live->show();
        return;
    }
    preview_ = new PreviewBackdrop(contentArea_);
    auto* stack = new QVBoxLayout(preview_);
    stack->setContentsMargins(0, 0, 0, 0);
    previewEmpty_ = new QLabel(preview_);
    previewEmpty_->setAlignment(Qt::AlignCenter);
    previewEmpty_->setFont(dsFont(13, QFont::Normal, FontDesign::monospaced));
    QPalette emptyPalette = previewEmpty_->palette();
    // The preview is always a dark surface: the secondary text of the dark look.
    emptyPalette.setColor(QPalette::WindowText, DS::secondaryText(darkPalette()));
    previewEmpty_->setPalette(emptyPalette);
    previewEmpty_->setText(cell_->kind() == AdapterKind::iterm2 ? QStringLiteral("iTerm2 흡수 셀 — 미리보기 대기…")
                                                                : QStringLiteral("미리보기 없음"));
    previewText_ = new QPlainTextEdit(preview_);
    previewText_->setReadOnly(true);
    previewText_->setFrameStyle(QFrame::NoFrame);
    previewText_->setFont(dsFont(12, QFont::Normal, FontDesign::monospaced));
    previewText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    previewText_->document()->setDocumentMargin(10);
    QPalette textPalette = previewText_->palette();
    textPalette.setColor(QPalette::Base, Qt::transparent);
    textPalette.setColor(QPalette::Text, QColor(255, 255, 255, 209));
    previewText_->setPalette(textPalette);
    previewText_->viewport()->setAutoFillBackground(false);
    stack->addWidget(previewEmpty_, 1);
    stack->addWidget(previewText_, 1);
    contentLayout_->addWidget(preview_, 1);
    showPreviewText();
}

void ExpandedCard::showPreviewText()
{
    if (!preview_) return;
    const QString& text = cell_->previewText();
    previewEmpty_->setVisible(text.isEmpty());
    previewText_->setVisible(!text.isEmpty());
    if (previewText_->toPlainText() != text) previewText_->setPlainText(text);
}

void ExpandedCard::showStatus()
{
    const StatusLook look = statusLook(cell_->status());
    const QString symbol = QString::fromLatin1(look.symbol);
    if (statusSymbol_->symbol() != symbol) {
        auto* fresh = new SymbolView(symbol, SymbolScale::small, statusSymbol_->parentWidget());
        delete headerRow_->replaceWidget(statusSymbol_, fresh);
        delete statusSymbol_;
        statusSymbol_ = fresh;
        fresh->show();
    }
    statusSymbol_->setColour(look.colour);
    label_->setText(cell_->projectLabel());
    tag_->setText(look.tag);
    QPalette p = tag_->palette();
    p.setColor(QPalette::WindowText, DS::secondaryText(palette()));
    tag_->setPalette(p);
}

void ExpandedCard::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::PaletteChange) return;
    if (tag_) showStatus();
    if (searchGlass_) searchGlass_->setColour(DS::secondaryText(palette()));
}

void ExpandedCard::handBack()
{
    if (!live_) return;
    QWidget* live = live_;
    live_ = nullptr;
    // Pane widgets leave before their layout goes: Qt deletes children with
    // their parent, and the panes belong to the adapter.
    const auto views = live->findChildren<corvel::TerminalView*>();
    for (corvel::TerminalView* view : views) {
        bool nested = false;
        for (QWidget* up = view->parentWidget(); up && up != live; up = up->parentWidget())
            if (qobject_cast<corvel::TerminalView*>(up)) nested = true;
        if (nested) continue;
        view->hide();
        view->setParent(nullptr);
    }
    contentLayout_->removeWidget(live);
    delete live;
}

void ExpandedCard::toggleSearch()
{
    if (showSearch_) {
        closeSearch();
        return;
    }
    showSearch_ = true;
    const bool shown = cell_->kind() == AdapterKind::embedded;
    searchBar_->setVisible(shown);
    searchDivider_->setVisible(shown);
    if (shown) {
        searchField_->setFocus(Qt::ShortcutFocusReason);
        searchField_->selectAll();
    }
}

void ExpandedCard::closeSearch()
{
    // Before the bar hides, the focus goes back to the terminal that had it
    // (Qt would pass it on along the Tab chain, perhaps to a button).
    if (isInside(searchBar_, window()->focusWidget())) {
        if (auto* keeper = window()->findChild<TerminalFocusKeeper*>())
            keeper->restore();
        else
            setFocus(Qt::OtherFocusReason);
    }
    showSearch_ = false;
    searchBar_->hide();
    searchDivider_->hide();
    if (SearchTarget* target = store_.embedded().primarySearch(cell_->id())) target->clearSearch();
}

void ExpandedCard::send()
{
    store_.sendToITerm2(cell_->id(), commandField_ ? commandField_->text() : QString());
    if (commandField_) commandField_->clear();
}

void ExpandedCard::openITerm2()
{
    const auto record = store_.cell(cell_->id());
    if (!record) return;
    TerminalController* adapter = nullptr;
    if (record->kind() == AdapterKind::embedded) adapter = &store_.embedded();
    else if (record->kind() == AdapterKind::iterm2) adapter = &store_.iterm2();
    if (!adapter) return;
    try {
        adapter->focus(record->id());
    } catch (const AdapterError&) {
        // The session is gone from the adapter: nothing to bring forward.
    }
}

void ExpandedCard::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    p.fillPath(shape, DS::windowBackground(palette()));
    QPainterPath border;
    border.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5, cornerRadius - 0.5);
    p.setPen(QPen(DS::separator(palette()), 1));
    p.drawPath(border);
}

void ExpandedCard::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (showSearch_) closeSearch();
        else if (onCollapse) onCollapse();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ExpandedCard::mousePressEvent(QMouseEvent* event)
{
    // A click on the card is not a click on the scrim behind it.
    event->accept();
}

}  // namespace tilebay
