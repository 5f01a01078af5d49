// Small building blocks shared by the sheets and the import panel: texts in
// a design-system font and tone (the secondary tone follows the palette when
// the appearance changes), horizontal rules, and the rounded fill behind
// list rows and chips. Stateless helpers; main thread.
#pragma once

#include <QFont>
#include <QLabel>
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

namespace SheetParts {

// The fill of a row or chip: a rounded rectangle of radius 10 in the
// secondary text colour at 8 % opacity, with an orange ring while `focused`.
void paintRowBackground(QPainter& painter, const QRectF& rect, const QPalette& palette, bool focused);

}  // namespace SheetParts

}  // namespace tilebay
