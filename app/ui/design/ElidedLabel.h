// A one-line text that is cut at the tail with an ellipsis when it is wider
// than the room it is given. Its colour is a tone of the palette resolved at
// paint time (text or secondary text). The size hint is the
// whole text; the minimum width is that of the ellipsis alone. Main thread;
// owned by its parent widget.
#pragma once

#include <QWidget>

namespace tilebay {

enum class TextTone : unsigned char { primary, secondary };

class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return text_; }
    // The text as painted at the current width.
    QString displayedText() const;

    void setTone(TextTone tone);
    TextTone tone() const { return tone_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    TextTone tone_ = TextTone::primary;
};

}  // namespace tilebay
