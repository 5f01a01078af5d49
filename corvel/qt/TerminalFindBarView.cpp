// The find bar's controls, layout and key handling.
#include "corvel/qt/TerminalFindBarView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QToolButton>

namespace corvel {

namespace {

void configureButton(QToolButton* button, QStyle::StandardPixmap icon, const QString& tooltip)
{
    button->setIcon(button->style()->standardIcon(icon));
    button->setToolTip(tooltip);
    button->setAccessibleName(tooltip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
}

void configureOptionButton(QCheckBox* box, const QString& tooltip)
{
    QFont font = box->font();
    font.setPointSizeF(11);
    box->setFont(font);
    box->setToolTip(tooltip);
    box->setFocusPolicy(Qt::NoFocus);
}

}  // namespace

TerminalFindBarView::TerminalFindBarView(QWidget* parent)
    : QWidget(parent),
      searchField_(new QLineEdit(this)),
      previousButton_(new QToolButton(this)),
      nextButton_(new QToolButton(this)),
      closeButton_(new QToolButton(this)),
      caseSensitiveButton_(new QCheckBox(QStringLiteral("Aa"), this)),
      regexButton_(new QCheckBox(QStringLiteral(".*"), this)),
      wholeWordButton_(new QCheckBox(QStringLiteral("Word"), this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);

    searchField_->setPlaceholderText(QStringLiteral("Find"));
    searchField_->setMinimumWidth(200);
    searchField_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    searchField_->installEventFilter(this);
    connect(searchField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (onSearchChanged) onSearchChanged(text);
    });

    configureButton(previousButton_, QStyle::SP_ArrowUp, QStringLiteral("Previous"));
    configureButton(nextButton_, QStyle::SP_ArrowDown, QStringLiteral("Next"));
    configureButton(closeButton_, QStyle::SP_TitleBarCloseButton, QStringLiteral("Close"));
    connect(previousButton_, &QToolButton::clicked, this, [this] {
        if (onFindPrevious) onFindPrevious();
    });
    connect(nextButton_, &QToolButton::clicked, this, [this] {
        if (onFindNext) onFindNext();
    });
    connect(closeButton_, &QToolButton::clicked, this, [this] {
        if (onClose) onClose();
    });

    configureOptionButton(caseSensitiveButton_, QStringLiteral("Case Sensitive"));
    configureOptionButton(regexButton_, QStringLiteral("Regex"));
    configureOptionButton(wholeWordButton_, QStringLiteral("Whole Word"));
    for (QCheckBox* box : {caseSensitiveButton_, regexButton_, wholeWordButton_}) {
        connect(box, &QCheckBox::clicked, this, [this] { optionChanged(); });
    }

    auto* stack = new QHBoxLayout(this);
    stack->setSpacing(spacing);
    stack->setContentsMargins(8, 6, 8, 6);
    for (QWidget* w : std::initializer_list<QWidget*>{searchField_, previousButton_, nextButton_, caseSensitiveButton_,
                                                      regexButton_, wholeWordButton_, closeButton_}) {
        stack->addWidget(w, 0, Qt::AlignVCenter);
    }
    stack->setStretchFactor(searchField_, 1);
    setFocusProxy(searchField_);
}

SearchOptions TerminalFindBarView::options() const
{
    return {.caseSensitive = caseSensitiveButton_->isChecked(),
            .regex = regexButton_->isChecked(),
            .wholeWord = wholeWordButton_->isChecked()};
}

void TerminalFindBarView::searchFieldAction(bool shift)
{
    if (shift) {
        if (onFindPrevious) onFindPrevious();
    } else if (onFindNext) {
        onFindNext();
    }
}

void TerminalFindBarView::optionChanged()
{
    if (onOptionsChanged) onOptionsChanged(options());
}

bool TerminalFindBarView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == searchField_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            searchFieldAction(key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        case Qt::Key_Escape:
            if (onClose) onClose();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TerminalFindBarView::paintEvent(QPaintEvent*)
{
    // A translucent rounded panel in the window colour.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor panel = palette().color(QPalette::Window);
    panel.setAlphaF(0.92);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(path, panel);
    QColor edge = palette().color(QPalette::Mid);
    edge.setAlphaF(0.6);
    painter.setPen(edge);
    painter.drawPath(path);
}

}  // namespace corvel
