// The global hot key Ctrl+Alt+O. On X11 the key is grabbed on the root window
// of the application's display (with every combination of Caps Lock and Num
// Lock, which X counts as modifiers), and a native event filter takes the
// press out of Qt's event stream and runs `onTrigger` with the event's X time.
// A refused grab (another client owns the key) or a platform without X11
// (offscreen, Wayland) logs one line "Tilebay: 전역 단축키 등록 실패 — <reason>"
// and the application runs on without the hot key.
//
// One shared instance, made on first use and never released; it stays
// installed for the life of the process. Threads: the GUI thread only.
#pragma once

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <functional>
#include <string>

namespace tilebay {

class HotKeyManager final : public QAbstractNativeEventFilter {
public:
    static HotKeyManager& shared();

    // Run on each press of the hot key with the press's X server time.
    std::function<void(uint32_t time)> onTrigger;

    // Grabs the key and installs the filter once; true when the hot key works.
    // A failure is logged (once per call that fails) and leaves nothing grabbed.
    bool registerHotKey();
    bool registered() const { return registered_; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    HotKeyManager() = default;
    // The reason the grab failed, or empty when it succeeded.
    std::string grab();

    bool registered_ = false;
    bool filterInstalled_ = false;
    uint8_t keycode_ = 0;
    uint16_t numLockMask_ = 0;
};

}  // namespace tilebay
