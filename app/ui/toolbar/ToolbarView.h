// The strip across the top of the window: new terminal, profiles, iTerm2
// import and broadcast buttons, the cell count, the polling readout, the zoom
// slider, the status legend and the settings button. It is 44 px high and
// takes one of three forms from its own width: wide (titles, count and
// readout), compact (buttons show only their symbols; count and readout go)
// and tiny (slider and legend go as well). Below 820 px it is never wide and
// below 560 px always tiny; above those widths a form is taken only when its
// whole row fits at the fonts in use (the titles, the count and the readout
// as they read now), so nothing on the bar is ever cut to an ellipsis: the
// bar takes the smaller form instead. Its widgets are built once; a form
// change only shows, hides and retitles them. Store changes reach the
// controls with their signals blocked, so a zoom set elsewhere is never
// rounded back through the slider into the store.
//
// Main thread; owned by its parent widget. The store must outlive the toolbar.
#pragma once

#include <QWidget>

#include <vector>

class QSlider;

namespace tilebay {

class Divider;
class DSOutlineButton;
class DSPrimaryButton;
class ElidedLabel;
class StatusLegend;
class SymbolButton;
class ToolbarStore;

enum class ToolbarForm : unsigned char { wide, compact, tiny };

class ToolbarView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 44;
    static constexpr int kCompactBelow = 820;
    static constexpr int kTinyBelow = 560;

    explicit ToolbarView(ToolbarStore& store, QWidget* parent = nullptr);

    // The form for a width: the widest that the width allows and that fits.
    ToolbarForm formFor(int width) const;
    // The width of the whole row in a form, nothing cut.
    int naturalWidth(ToolbarForm form) const;
    ToolbarForm form() const { return form_; }
    // The space between neighbouring controls: 12 px wide, 6 px compact.
    int spacing() const { return spacing_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The controls, for the window's focus chain and for inspection.
    DSPrimaryButton* newTerminalButton() const { return newTerminal_; }
    DSOutlineButton* profileButton() const { return profiles_; }
    DSOutlineButton* importButton() const { return import_; }
    DSOutlineButton* broadcastButton() const { return broadcast_; }
    ElidedLabel* cellCountLabel() const { return cellCount_; }
    ElidedLabel* pollReadout() const { return pollReadout_; }
    QSlider* zoomSlider() const { return zoomSlider_; }
    StatusLegend* legend() const { return legend_; }
    SymbolButton* settingsButton() const { return settings_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    // Takes the form for the current width and places the controls.
    void adapt();
    void applyForm(ToolbarForm form);
    void layoutRow();
    void syncFromStore();

    ToolbarStore& store_;
    ToolbarForm form_ = ToolbarForm::wide;
    int spacing_ = 12;
    std::vector<QWidget*> leading_;
    std::vector<QWidget*> trailing_;
    DSPrimaryButton* newTerminal_ = nullptr;
    DSOutlineButton* profiles_ = nullptr;
    DSOutlineButton* import_ = nullptr;
    DSOutlineButton* broadcast_ = nullptr;
    ElidedLabel* cellCount_ = nullptr;
    QWidget* pollGroup_ = nullptr;
    ElidedLabel* pollReadout_ = nullptr;
    Divider* pollDivider_ = nullptr;
    QWidget* zoomGroup_ = nullptr;
    QSlider* zoomSlider_ = nullptr;
    Divider* zoomDivider_ = nullptr;
    StatusLegend* legend_ = nullptr;
    Divider* legendDivider_ = nullptr;
    SymbolButton* settings_ = nullptr;
};

}  // namespace tilebay
