// The find bar's controls, their symbols, the layout and what gives way in a
// narrow bar, and the key handling.
#include "corvel/qt/TerminalFindBarView.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QToolButton>

#include <algorithm>

namespace corvel {

namespace {

// The buttons' symbols, drawn as line artwork on a 24 by 24 grid with round
// caps and joins, like the rest of the interface's symbols.
enum class Symbol { chevronUp, chevronDown, xmark };

constexpr int kSymbolSize = 13;    // the symbol's box, in pixels
constexpr int kSymbolMargin = 3;   // room around it inside the button
constexpr double kStroke = 1.8;    // line width on the 24-unit grid
constexpr int kUsableField = 120;  // the field's width before the step buttons give way
constexpr int kPreferredField = 200;

void drawSymbol(QPainter& painter, const QRectF& box, Symbol symbol, const QColor& colour)
{
    const double unit = box.width() / 24.0;
    const auto at = [&](double x, double y) { return QPointF(box.left() + x * unit, box.top() + y * unit); };
    QPainterPath path;
    switch (symbol) {
    case Symbol::chevronUp:
        path.moveTo(at(6, 15));
        path.lineTo(at(12, 9));
        path.lineTo(at(18, 15));
        break;
    case Symbol::chevronDown:
        path.moveTo(at(6, 9));
        path.lineTo(at(12, 15));
        path.lineTo(at(18, 9));
        break;
    case Symbol::xmark:
        path.moveTo(at(6.5, 6.5));
        path.lineTo(at(17.5, 17.5));
        path.moveTo(at(17.5, 6.5));
        path.lineTo(at(6.5, 17.5));
        break;
    }
    painter.setPen(QPen(colour, kStroke * unit, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

// A flat button showing one symbol in the text colour: faded while
// disabled, lighter while pressed.
class SymbolButton final : public QToolButton {
public:
    SymbolButton(Symbol symbol, const QString& tooltip, QWidget* parent) : QToolButton(parent), symbol_(symbol)
    {
        setToolTip(tooltip);
        setAccessibleName(tooltip);
        setAutoRaise(true);
        setFocusPolicy(Qt::NoFocus);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override { return {kSymbolSize + 2 * kSymbolMargin, kSymbolSize + 2 * kSymbolMargin}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity((isEnabled() ? 1.0 : 0.4) * (isDown() ? 0.6 : 1.0));
        const QRectF box(QPointF(0, 0), QSizeF(kSymbolSize, kSymbolSize));
        drawSymbol(painter, box.translated(QRectF(rect()).center() - box.center()), symbol_,
                   palette().color(QPalette::WindowText));
    }

private:
    Symbol symbol_;
};

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
      previousButton_(new SymbolButton(Symbol::chevronUp, QStringLiteral("Previous"), this)),
      nextButton_(new SymbolButton(Symbol::chevronDown, QStringLiteral("Next"), this)),
      closeButton_(new SymbolButton(Symbol::xmark, QStringLiteral("Close"), this)),
      caseSensitiveButton_(new QCheckBox(QStringLiteral("Aa"), this)),
      regexButton_(new QCheckBox(QStringLiteral(".*"), this)),
      wholeWordButton_(new QCheckBox(QStringLiteral("Word"), this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    takeApplicationPalette();

    searchField_->setPlaceholderText(QStringLiteral("Find"));
    searchField_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    searchField_->installEventFilter(this);
    connect(searchField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (onSearchChanged) onSearchChanged(text);
    });

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
    // The bar decides itself what gives way when it is narrow (fitToWidth);
    // the layout must not hold it at the width of everything.
    stack->setSizeConstraint(QLayout::SetNoConstraint);
    stack->setSpacing(spacing);
    stack->setContentsMargins(horizontalMargin, 6, horizontalMargin, 6);
    for (QWidget* w : std::initializer_list<QWidget*>{searchField_, previousButton_, nextButton_, caseSensitiveButton_,
                                                      regexButton_, wholeWordButton_, closeButton_}) {
        stack->addWidget(w, 0, Qt::AlignVCenter);
    }
    stack->setStretchFactor(searchField_, 1);
    setFocusProxy(searchField_);
}

int TerminalFindBarView::widthWith(const std::vector<QWidget*>& parts, int fieldWidth) const
{
    int width = 2 * horizontalMargin + fieldWidth;
    for (QWidget* part : parts) width += spacing + part->sizeHint().width();
    return width;
}

std::vector<QWidget*> TerminalFindBarView::partsBesideTheField() const
{
    return {previousButton_, nextButton_, caseSensitiveButton_, regexButton_, wholeWordButton_, closeButton_};
}

QSize TerminalFindBarView::sizeHint() const
{
    return {widthWith(partsBesideTheField(), kPreferredField), QWidget::sizeHint().height()};
}

int TerminalFindBarView::minimumUsableWidth() const
{
    return widthWith({closeButton_}, kUsableField);
}

void TerminalFindBarView::fitToWidth(int width)
{
    std::vector<QWidget*> shown = partsBesideTheField();
    const auto drop = [&](QWidget* part) { std::erase(shown, part); };
    // Options go right to left while the field would be under its preferred
    // width; then the field shrinks to its usable width; then the step
    // buttons go (Return and Shift+Return still step).
    for (QWidget* option : {static_cast<QWidget*>(wholeWordButton_), static_cast<QWidget*>(regexButton_),
                            static_cast<QWidget*>(caseSensitiveButton_)}) {
        if (widthWith(shown, kPreferredField) <= width) break;
        drop(option);
    }
    if (widthWith(shown, kUsableField) > width) {
        drop(previousButton_);
        drop(nextButton_);
    }
    for (QWidget* part : partsBesideTheField())
        part->setVisible(std::find(shown.begin(), shown.end(), part) != shown.end());
    // Narrower still, the field takes what is left beside the close button.
    searchField_->setMinimumWidth(std::clamp(width - widthWith(shown, 0), 0, kUsableField));
}

bool TerminalFindBarView::event(QEvent* event)
{
    // The bar inherits its palette, so it hears of every change above it
    // (the application's included) and passes the application's on.
    if (event->type() == QEvent::PaletteChange) takeApplicationPalette();
    return QWidget::event(event);
}

void TerminalFindBarView::takeApplicationPalette()
{
    // The controls hold the application's palette with every role marked
    // as their own, so none is taken from the view.
    QPalette own = QGuiApplication::palette();
    own.setResolveMask(~QPalette::ResolveMask{0});
    for (QWidget* control : std::initializer_list<QWidget*>{searchField_, previousButton_, nextButton_,
                                                            caseSensitiveButton_, regexButton_, wholeWordButton_,
                                                            closeButton_})
        control->setPalette(own);
}

void TerminalFindBarView::resizeEvent(QResizeEvent* event)
{
    fitToWidth(event->size().width());
    QWidget::resizeEvent(event);
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
    // A translucent rounded panel in the application's window colour.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette colours = QGuiApplication::palette();
    QColor panel = colours.color(QPalette::Window);
    panel.setAlphaF(0.92);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(path, panel);
    QColor edge = colours.color(QPalette::Mid);
    edge.setAlphaF(0.6);
    painter.setPen(edge);
    painter.drawPath(path);
}

}  // namespace corvel
