// The small floating bar of a terminal view's find function: a search field,
// previous and next buttons, three option check boxes ("Aa", ".*", "Word")
// and a close button on a translucent rounded panel. It holds no search
// logic: it reports what the user does through five optional callbacks (a
// callback that is not set is skipped), which FindBarController connects to a
// find target.
//
// A bar narrower than its natural width (sizeHint) keeps the search field
// usable: the option check boxes give way first, right to left ("Word",
// ".*", "Aa"; a hidden option keeps its state and still applies), then the
// field shrinks from its preferred 200 px to its usable 120 px, then the
// previous and next buttons go (Return and Shift+Return still step). The
// close button stays. minimumUsableWidth() is the narrowest bar that keeps
// the field at its usable width.
//
// The bar floats over the terminal like a popover of the application: its
// panel and controls take the application's palette (and its changes), not
// the one they would inherit from the view, whose window colour an embedder
// may set to the terminal's background.
//
// Keys in the search field: Return asks for the next match, Shift+Return for
// the previous one, Escape closes the bar (also when the field is empty).
// Every edit of the field reports the new text; text set by the program does
// not.
//
// Owned by its terminal view (Qt parent); it owns its controls. GUI thread only.
#pragma once

#include "corvel/terminal/SearchOptions.h"

#include <QWidget>

#include <functional>
#include <vector>

class QCheckBox;
class QLineEdit;
class QToolButton;

namespace corvel {

class TerminalFindBarView final : public QWidget {
    Q_OBJECT
public:
    explicit TerminalFindBarView(QWidget* parent = nullptr);

    std::function<void(const QString&)> onSearchChanged;
    std::function<void()> onFindNext;
    std::function<void()> onFindPrevious;
    std::function<void()> onClose;
    std::function<void(const SearchOptions&)> onOptionsChanged;

    QLineEdit* searchField() const { return searchField_; }
    QToolButton* previousButton() const { return previousButton_; }
    QToolButton* nextButton() const { return nextButton_; }
    QToolButton* closeButton() const { return closeButton_; }
    QCheckBox* caseSensitiveButton() const { return caseSensitiveButton_; }
    QCheckBox* regexButton() const { return regexButton_; }
    QCheckBox* wholeWordButton() const { return wholeWordButton_; }

    // The options that the three check boxes show.
    SearchOptions options() const;

    // The width with every part shown and the field at its preferred width.
    QSize sizeHint() const override;
    int minimumUsableWidth() const;
    // Shows the parts that fit `width`, in the order above; the bar does
    // this on every resize.
    void fitToWidth(int width);

    static constexpr int cornerRadius = 8;
    static constexpr int spacing = 6;
    static constexpr int horizontalMargin = 8;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Return in the field: the previous match with Shift held, else the next.
    void searchFieldAction(bool shift);
    void optionChanged();
    void takeApplicationPalette();
    // Every part but the field, in layout order.
    std::vector<QWidget*> partsBesideTheField() const;
    // The bar's width with the field at `fieldWidth` and `parts` beside it.
    int widthWith(const std::vector<QWidget*>& parts, int fieldWidth) const;

    QLineEdit* searchField_;
    QToolButton* previousButton_;
    QToolButton* nextButton_;
    QToolButton* closeButton_;
    QCheckBox* caseSensitiveButton_;
    QCheckBox* regexButton_;
    QCheckBox* wholeWordButton_;
};

}  // namespace corvel
