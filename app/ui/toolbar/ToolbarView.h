// The strip across the top of the window: new terminal, profiles, iTerm2
// import and broadcast buttons, the cell count, the polling readout, the zoom
// slider, the status legend and the settings button. It is 44 px high and
// takes one of three forms from its own width: wide, compact below 820 px
// (buttons show only their symbols; count and readout go) and tiny below 560 px
// (slider and legend go as well). Its widgets are built once; a form change only
// shows, hides and retitles them. Store changes reach the controls with their
// signals blocked, so a zoom set elsewhere is never rounded back through the
// slider into the store.
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

    static ToolbarForm formForWidth(int width);
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
