#include "app/ui/sheets/ProfileRow.h"

#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/icons/SymbolIcons.h"
#include "app/ui/sheets/ProfileText.h"
#include "app/ui/sheets/SheetParts.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>

namespace tilebay {

namespace {

constexpr int kPadX = 12;
constexpr int kPadY = 9;
constexpr int kGap = 10;
constexpr int kLineGap = 2;
constexpr int kIcon = 15;    // the terminal symbol
constexpr int kReturn = 13;  // the return symbol, small

}  // namespace

ProfileRow::ProfileRow(TerminalProfile profile, QWidget* parent)
    : QAbstractButton(parent),
      profile_(std::move(profile)),
      name_(QString::fromStdString(profile_.name)),
      subtitle_(ProfileText::launcherSubtitle(profile_)),
      nameFont_(dsFont(13, QFont::DemiBold)),
      subtitleFont_(dsFont(11, QFont::Normal, FontDesign::monospaced)),
      height_(kPadY + QFontMetrics(nameFont_).height() + kLineGap + QFontMetrics(subtitleFont_).height() + kPadY)
{
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setText(name_);
    setToolTip(subtitle_);
}

QSize ProfileRow::sizeHint() const
{
    return {2 * kPadX + kIcon + 2 * kGap + kReturn + 120, height_};
}

QSize ProfileRow::minimumSizeHint() const
{
    return {2 * kPadX + kIcon + 2 * kGap + kReturn, sizeHint().height()};
}

void ProfileRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    SheetParts::paintRowBackground(p, QRectF(rect()), palette(), hasFocus());

    const QFontMetrics nameMetrics(nameFont_);
    const QFontMetrics subMetrics(subtitleFont_);
    const qreal midY = height() / 2.0;
    SymbolIcons::draw(p, QRectF(kPadX, midY - kIcon / 2.0, kIcon, kIcon), QStringLiteral("terminal"), kIcon,
                      DS::orange());
    const int returnX = width() - kPadX - kReturn;
    SymbolIcons::draw(p, QRectF(returnX, midY - kReturn / 2.0, kReturn, kReturn), QStringLiteral("return"), kReturn,
                      DS::secondaryText(palette()));

    const int textX = kPadX + kIcon + kGap;
    const int room = std::max(0, returnX - kGap - textX);
    const int top = (height() - (nameMetrics.height() + kLineGap + subMetrics.height())) / 2;
    p.setPen(DS::primaryText(palette()));
    p.setFont(nameFont_);
    p.drawText(QPointF(textX, top + nameMetrics.ascent()), nameMetrics.elidedText(name_, Qt::ElideRight, room));
    p.setPen(DS::secondaryText(palette()));
    p.setFont(subtitleFont_);
    p.drawText(QPointF(textX, top + nameMetrics.height() + kLineGap + subMetrics.ascent()),
               subMetrics.elidedText(subtitle_, Qt::ElideRight, room));
}

void ProfileRow::keyPressEvent(QKeyEvent* event)
{
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
        event->accept();
        if (!event->isAutoRepeat()) click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

}  // namespace tilebay
