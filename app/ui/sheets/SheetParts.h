// Small building blocks shared by the sheets and the import panel: texts in
// a design-system font and tone (the secondary tone follows the palette when
// the appearance changes), horizontal rules, check boxes and segments that
// stay legible on a dark surface, and the rounded fill behind list rows and
// chips. Stateless helpers; main thread.
#pragma once

#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QString>

class QPainter;
class QRectF;

namespace tilebay {

// A text label whose colour is the palette's text or secondary text colour,
// resolved at paint time.
class SheetText : public QLabel {
    Q_OBJECT
public:
    SheetText(const QString& text, const QFont& font, bool secondary, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The secondary tone comes from the parent's palette, whose text colour
    // is never altered, so the tone does not compound.
    void applyTone();
    bool secondary_;
};

// A 1 px horizontal rule in the separator colour that takes the full width.
class SheetRule : public QWidget {
    Q_OBJECT
public:
    explicit SheetRule(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A check box that stays visible on a dark surface. The style draws an
// unchecked box in tones a few grey levels from a dark window; with a dark
// palette the box is drawn as a mid-grey fill inside a light grey edge. With
// a light palette it is the style's own.
class SheetCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit SheetCheckBox(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// One segment of a segmented picker: a checkable button in a row of them.
// The style marks the chosen one on a dark surface by a few grey levels
// only; with a dark palette the chosen segment is drawn light with dark
// text. With a light palette it is the style's own look.
class SheetSegment : public QPushButton {
    Q_OBJECT
public:
    explicit SheetSegment(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

namespace SheetParts {

// The fill of a row or chip: a rounded rectangle of radius 10 in the
// secondary text colour at 8 % opacity, with an orange ring while `focused`.
void paintRowBackground(QPainter& painter, const QRectF& rect, const QPalette& palette, bool focused);

}  // namespace SheetParts

}  // namespace tilebay
