#include "app/shell/HotKeyManager.h"

#include "app/core/AppLog.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <memory>

namespace tilebay {

namespace {

constexpr uint16_t kModifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;  // Ctrl+Alt

QNativeInterface::QX11Application* x11()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
}

// The modifier bit X assigns to Num Lock on this display (0 when none).
uint16_t numLockMask(Display* display)
{
    const KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map) return 0;
    uint16_t mask = 0;
    for (int mod = 0; mod < 8 && numLock != 0; ++mod)
        for (int k = 0; k < map->max_keypermod; ++k)
            if (map->modifiermap[mod * map->max_keypermod + k] == numLock) mask = static_cast<uint16_t>(1u << mod);
    XFreeModifiermap(map);
    return mask;
}

}  // namespace

HotKeyManager& HotKeyManager::shared()
{
    static HotKeyManager* manager = new HotKeyManager;  // never released
    return *manager;
}

bool HotKeyManager::registerHotKey()
{
    if (registered_) return true;
    const std::string reason = grab();
    if (!reason.empty()) {
        logFailure("전역 단축키 등록 실패", reason);
        return false;
    }
    if (!filterInstalled_) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        filterInstalled_ = true;
    }
    registered_ = true;
    return true;
}

std::string HotKeyManager::grab()
{
    QNativeInterface::QX11Application* native = x11();
    if (!native || !native->display() || !native->connection()) {
        const QString platform = QGuiApplication::platformName();
        return "no X11 display (platform " + (platform.isEmpty() ? std::string("none") : platform.toStdString()) +
               ")";
    }
    Display* display = native->display();
    xcb_connection_t* connection = native->connection();
    keycode_ = XKeysymToKeycode(display, XK_o);
    if (keycode_ == 0) return "no key code for 'o' on this keyboard";
    numLockMask_ = numLockMask(display);
    const xcb_window_t root = static_cast<xcb_window_t>(DefaultRootWindow(display));

    // Every lock combination is grabbed with a checked request, so a refusal
    // (BadAccess: another client grabbed the key first) is seen here.
    const std::array<uint16_t, 4> locks = {0, XCB_MOD_MASK_LOCK, numLockMask_,
                                           static_cast<uint16_t>(XCB_MOD_MASK_LOCK | numLockMask_)};
    std::array<xcb_void_cookie_t, 4> cookies{};
    const size_t count = numLockMask_ ? 4 : 2;
    for (size_t i = 0; i < count; ++i)
        cookies[i] = xcb_grab_key_checked(connection, 1, root, kModifiers | locks[i], keycode_,
                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    std::string reason;
    for (size_t i = 0; i < count; ++i) {
        std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(xcb_request_check(connection, cookies[i]),
                                                                         &std::free);
        if (error && reason.empty())
            reason = error->error_code == XCB_ACCESS ? "BadAccess: another client holds Ctrl+Alt+O"
                                                     : "X error " + std::to_string(error->error_code);
    }
    if (!reason.empty()) {
        // Leave nothing half-grabbed.
        for (size_t i = 0; i < count; ++i) xcb_ungrab_key(connection, keycode_, root, kModifiers | locks[i]);
        xcb_flush(connection);
    }
    return reason;
}

bool HotKeyManager::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!registered_ || eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
    const uint16_t state = key->state & ~(XCB_MOD_MASK_LOCK | numLockMask_);
    if (key->detail != keycode_ || (state & 0xff) != kModifiers) return false;
    // Only the root grab delivers this combination; both halves are taken.
    if (type == XCB_KEY_PRESS && onTrigger) onTrigger(key->time);
    return true;
}

}  // namespace tilebay
