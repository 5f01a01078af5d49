// The caret: a small child widget that the terminal view places over the
// cursor's cell. It draws a block, an underline or a bar in the caret
// colour, the character under a block caret in the caret text colour, and a
// hollow box while the terminal view lacks the focus. Blinking styles fade
// its opacity through the shared CaretBlinker.
//
// Its frame in view coordinates (caretFrame) may lie on fractions of a
// logical pixel; the widget covers the whole pixels around it and paints the
// exact rectangle inside. It ignores the mouse. Owned by its TerminalView
// (its Qt parent), which it reaches through a guarded pointer. GUI thread only.
#pragma once

#include "corvel/screen/CharData.h"
#include "corvel/terminal/CursorStyle.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/qt/DeviceColor.h"

#include <QFont>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <optional>

namespace corvel {

class TerminalView;

class CaretView final : public QWidget {
    Q_OBJECT
public:
    CaretView(const QRectF& frame, CursorStyle cursorStyle, TerminalView* terminal);
    ~CaretView() override;

    static bool isBlinking(CursorStyle style)
    {
        return style == CursorStyle::blinkBlock || style == CursorStyle::blinkUnderline ||
               style == CursorStyle::blinkBar;
    }

    CursorStyle style() const { return style_; }
    void setStyle(CursorStyle style) { style_ = style; }

    // The frame in the terminal view's coordinates.
    QRectF caretFrame() const { return frame_; }
    void setCaretFrame(const QRectF& frame);
    void setCaretOrigin(const QPointF& origin) { setCaretFrame(QRectF(origin, frame_.size())); }
    void setCaretSize(const QSizeF& size) { setCaretFrame(QRectF(frame_.topLeft(), size)); }

    bool tracksFocus() const { return tracksFocus_; }
    void setTracksFocus(bool value) { tracksFocus_ = value; }
    bool focused() const { return focused_; }
    void setFocused(bool value);

    DeviceColor caretColor() const { return caretColor_; }
    void setCaretColor(const DeviceColor& color);
    // The application's selection colour, followed while it changes.
    DeviceColor defaultCaretColor() const { return defaultCaretColor_; }
    std::optional<DeviceColor> caretTextColor() const { return caretTextColor_; }
    void setCaretTextColor(const std::optional<DeviceColor>& color) { caretTextColor_ = color; }
    std::optional<DeviceColor> defaultCaretTextColor() const { return defaultCaretTextColor_; }

    // The cell under the cursor, drawn under a block caret.
    void setText(const CharData& ch);
    QString text() const { return text_; }

    // Stops any blink at full opacity; with `blink` starts it again from full.
    void updateAnimation(bool blink);
    // Blinks for the blinking styles, stops for the steady ones; redraws.
    void updateCursorStyle();
    void disableAnimations() { updateAnimation(false); }
    void updateView() { update(); }

    bool isAnimating() const { return animating_; }
    double opacity() const { return opacity_; }
    // Called by the blinker: the opacity at time `now`; repaints when it
    // moved by a visible step.
    void blinkStep(Nanos now);
    // Paints done so far.
    uint64_t paintCount() const { return paintCount_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // The default colour is the application's selection colour: when the
    // application changes its palette (its accent, light or dark), a caret
    // still in the default colour takes the new one.
    void changeEvent(QEvent* event) override;

private:
    void drawCursor(QPainter& painter, bool hasFocus);

    QPointer<TerminalView> terminal_;
    bool tracksFocus_ = true;
    CursorStyle style_;
    DeviceColor defaultCaretColor_;
    DeviceColor caretColor_;
    std::optional<DeviceColor> defaultCaretTextColor_;
    std::optional<DeviceColor> caretTextColor_;
    bool focused_ = false;

    QRectF frame_;
    QString text_;
    QFont textFont_;
    bool hasText_ = false;

    bool animating_ = false;
    Nanos blinkStart_ = 0;
    double opacity_ = 1.0;
    uint64_t paintCount_ = 0;
};

}  // namespace corvel
