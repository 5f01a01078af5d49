// The application: the one session store (made first: its construction
// restores the saved grid), the main window over it, the appearance put in
// force at once and on every change, and the global hot key, which hides
// every visible top-level window while the application is active and shows
// them again otherwise.
//
// Threads: the main thread. Ownership: main() owns it; it owns the store and
// the window (the window goes first, since its views read the store).
#pragma once

#include "app/store/SessionStore.h"

#include <QObject>
#include <QPalette>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <vector>

class QApplication;
class QWidget;

namespace tilebay {

class MainWindow;

class TilebayApp final : public QObject {
    Q_OBJECT
public:
    // The store's dependencies for a normal run: the embedded adapter with
    // its panes on pseudo-terminals, and tmux looked up on the machine.
    static SessionStore::Dependencies standardDependencies();

    TilebayApp(QApplication& app, SessionStore::Dependencies dependencies);
    ~TilebayApp() override;

    SessionStore& store() { return *store_; }
    MainWindow& window() { return *window_; }

    // Shows the window and registers the hot key (a refusal is logged).
    void start();
    // The hot key's action; `time` is the key press's X server time (0: now).
    void toggle(uint32_t time);

private:
    void showAgain(uint32_t time);

    QApplication& app_;
    // The platform's palette as it was at start: what "system" follows.
    QPalette systemPalette_;
    std::unique_ptr<SessionStore> store_;
    std::unique_ptr<MainWindow> window_;
    // Windows the hot key hid, main window first, the topmost last.
    std::vector<QPointer<QWidget>> hidden_;
};

}  // namespace tilebay
