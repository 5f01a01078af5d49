// Hangs the four sheets on the store's flags over one window. A raised flag
// builds a fresh sheet and opens it window-modal; when the sheet finishes,
// however it was closed, its flag is lowered. One sheet is open at a time: a
// flag raised meanwhile waits, and when the open sheet is gone the raised
// flags are served in a fixed order (settings, first-run guide, new
// terminal, profile launcher). A flag the store lowers closes its sheet.
// Nothing opens before the window is on screen: after each show, sheets wait
// for the window's first exposure (on X11, once the server mapped it), so a
// sheet never appears ahead of the window it belongs to.
//
// Main thread. The presenter is a child of the window; the store outlives
// it. Finished sheets are deleted on the next turn of the event loop.
#pragma once

#include "app/ui/sheets/FolderChooser.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <optional>

class QWidget;
class QWindow;

namespace tilebay {

class SessionStore;
class SheetDialog;

enum class SheetKind : unsigned char { settings, onboarding, newTerminal, profileLauncher };

class SheetPresenter : public QObject {
    Q_OBJECT
public:
    // The order in which waiting flags are served.
    static constexpr std::array<SheetKind, 4> kOrder{SheetKind::settings, SheetKind::onboarding,
                                                     SheetKind::newTerminal, SheetKind::profileLauncher};

    SheetPresenter(QWidget* window, SessionStore& store);

    // The open sheet, or null; and which one it is.
    SheetDialog* current() const { return current_; }
    std::optional<SheetKind> currentKind() const { return current_ ? std::optional(kind_) : std::nullopt; }

    // The folder chooser handed to each new-terminal sheet.
    void setFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }

signals:
    // A sheet was opened (after open()).
    void presented(tilebay::SheetKind kind, tilebay::SheetDialog* sheet);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool flag(SheetKind kind) const;
    void lowerFlag(SheetKind kind);
    void flagChanged(SheetKind kind, bool raised);
    void presentNext();
    // Follows the window's platform window (made on its first show).
    void watchHandle();
    SheetDialog* build(SheetKind kind);
    void finished(SheetDialog* sheet, SheetKind kind);

    QWidget* window_;
    SessionStore& store_;
    FolderChooser chooser_;
    QPointer<SheetDialog> current_;
    QPointer<QWindow> handle_;
    // Whether the window was exposed since it was last shown.
    bool mapped_ = false;
    SheetKind kind_ = SheetKind::settings;
};

}  // namespace tilebay
