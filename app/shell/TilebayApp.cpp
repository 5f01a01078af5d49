#include "app/shell/TilebayApp.h"

#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/HookedPaneKit.h"
#include "app/shell/HotKeyManager.h"
#include "app/shell/MainWindow.h"
#include "app/ui/design/DSPalette.h"
#include "app/ui/sheets/SheetDialog.h"
#include "app/ui/sheets/SheetPresenter.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

namespace tilebay {

namespace {

// Gives `window` the input focus with the time of the key press that asked
// for it, once the X server has mapped it (an unmapped window cannot take it).
class FocusOnExpose final : public QObject {
public:
    FocusOnExpose(QWindow* window, uint32_t time) : QObject(window), window_(window), time_(time)
    {
        if (window->isExposed()) apply();
        else window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && window_->isExposed()) apply();
        return false;
    }

private:
    void apply()
    {
        auto* native = qApp->nativeInterface<QNativeInterface::QX11Application>();
        if (native && native->connection()) {
            xcb_set_input_focus(native->connection(), XCB_INPUT_FOCUS_PARENT,
                                static_cast<xcb_window_t>(window_->winId()), time_);
            xcb_flush(native->connection());
        }
        window_->requestActivate();
        deleteLater();
    }

    QWindow* window_;
    uint32_t time_;
};

}  // namespace

SessionStore::Dependencies TilebayApp::standardDependencies()
{
    SessionStore::Dependencies deps;
    deps.embedded = std::make_unique<EmbeddedAdapter>(std::make_unique<HookedPaneKit>());
    deps.findTmux = [] { return PTYProcess::tmuxPath(TmuxLookup::standard()).has_value(); };
    return deps;
}

TilebayApp::TilebayApp(QApplication& app, SessionStore::Dependencies dependencies)
    : app_(app), systemPalette_(QGuiApplication::palette())
{
    store_ = std::make_unique<SessionStore>(std::move(dependencies));
    applyAppearance(app_, store_->appearance(), systemPalette_);
    connect(store_.get(), &SessionStore::appearanceChanged, this,
            [this](AppAppearance value) { applyAppearance(app_, value, systemPalette_); });
    window_ = std::make_unique<MainWindow>(*store_);
    window_->placeInitially();
    // The sheets hang on the store's flags; nothing opens before the window shows.
    new SheetPresenter(window_.get(), *store_);
}

TilebayApp::~TilebayApp()
{
    // The window's views hand their panes back before the store (and with it
    // the adapter that owns the panes) goes.
    window_.reset();
    store_.reset();
}

void TilebayApp::start()
{
    window_->show();
    window_->raise();
    window_->activateWindow();
    HotKeyManager& hotKey = HotKeyManager::shared();
    hotKey.onTrigger = [this](uint32_t time) { toggle(time); };
    hotKey.registerHotKey();
}

void TilebayApp::toggle(uint32_t time)
{
    bool anyShown = false;
    for (QWidget* widget : QApplication::topLevelWidgets()) anyShown = anyShown || widget->isVisible();
    // The state may still say active for a moment after everything was hidden.
    if (QGuiApplication::applicationState() == Qt::ApplicationActive && anyShown) {
        // Hide, never close: open sheets stay open and come back with the window.
        hidden_.clear();
        if (window_->isVisible()) hidden_.emplace_back(window_.get());
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget != window_.get() && widget->isVisible() && !(widget->windowType() == Qt::ToolTip) &&
                !(widget->windowType() == Qt::Popup))
                hidden_.emplace_back(widget);
        for (const QPointer<QWidget>& widget : hidden_) widget->hide();
        return;
    }
    showAgain(time);
}

void TilebayApp::showAgain(uint32_t time)
{
    if (hidden_.empty() && !window_->isVisible()) hidden_.emplace_back(window_.get());
    QWidget* topmost = window_.get();
    for (const QPointer<QWidget>& widget : hidden_) {
        if (!widget) continue;
        widget->show();
        widget->raise();
        topmost = widget;
    }
    hidden_.clear();
    topmost->activateWindow();
    if (QWindow* handle = topmost->windowHandle()) new FocusOnExpose(handle, time ? time : XCB_CURRENT_TIME);
}

}  // namespace tilebay
