#include "app/hot_keys.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QGuiApplication>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>
#include <cstdlib>

namespace quorvex::app {

namespace {

uint32_t KeysymOf(int functionKey) {
    return XK_F1 + static_cast<uint32_t>(functionKey - Qt::Key_F1);
}

// The modifier bit NumLock is mapped to; Mod2 on nearly every server.
uint16_t NumLockMask(xcb_connection_t* c, xcb_key_symbols_t* symbols) {
    uint16_t mask = 0;
    xcb_keycode_t* numLock = xcb_key_symbols_get_keycode(symbols, XK_Num_Lock);
    auto* map = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    if (map && numLock) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map);
        const int perModifier = map->keycodes_per_modifier;
        for (int mod = 0; mod < 8; ++mod) {
            for (int i = 0; i < perModifier; ++i) {
                for (const xcb_keycode_t* k = numLock; *k != XCB_NO_SYMBOL; ++k) {
                    if (codes[mod * perModifier + i] == *k) mask |= static_cast<uint16_t>(1 << mod);
                }
            }
        }
    }
    std::free(map);
    std::free(numLock);
    return mask ? mask : static_cast<uint16_t>(XCB_MOD_MASK_2);
}

}  // namespace

HotKeys::HotKeys(QWidget* window, std::vector<Key> keys) : m_keys(std::move(keys)) {
    std::vector<bool> systemWide(m_keys.size(), false);
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        m_connection = x11->connection();
    }
    if (m_connection) {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
        if (symbols) {
            m_numLock = NumLockMask(m_connection, symbols);
            for (size_t i = 0; i < m_keys.size(); ++i) systemWide[i] = GrabSystemWide(i, symbols);
            xcb_key_symbols_free(symbols);
        }
        if (!m_grabs.empty()) {
            qGuiApp->installNativeEventFilter(this);
            m_filtering = true;
        }
    }
    m_allSystemWide = true;
    for (size_t i = 0; i < m_keys.size(); ++i) {
        if (systemWide[i]) continue;
        m_allSystemWide = false;
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key(m_keys[i].functionKey)),
                                       window, nullptr, nullptr, Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, i] { m_keys[i].action(); });
    }
}

HotKeys::~HotKeys() { Release(); }

bool HotKeys::GrabSystemWide(size_t key, void* keySymbols) {
    auto* symbols = static_cast<xcb_key_symbols_t*>(keySymbols);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, KeysymOf(m_keys[key].functionKey));
    if (!codes) return false;
    // The grab matches modifiers exactly, so the lock keys need their own variants.
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, m_numLock,
                              static_cast<uint16_t>(XCB_MOD_MASK_LOCK | m_numLock)};
    const size_t first = m_grabs.size();
    std::vector<xcb_void_cookie_t> cookies;
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (; roots.rem; xcb_screen_next(&roots)) {
        for (const xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k) {
            for (uint16_t lock : locks) {
                const auto mods = static_cast<uint16_t>(XCB_MOD_MASK_1 | lock);
                cookies.push_back(xcb_grab_key_checked(m_connection, 0, roots.data->root, mods, *k,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
                m_grabs.push_back({key, roots.data->root, *k, mods});
            }
        }
    }
    std::free(codes);
    bool ok = !cookies.empty();
    for (const auto& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            ok = false;  // BadAccess: another client holds this combination
            std::free(error);
        }
    }
    if (!ok) {
        // All or nothing: a key that worked only with some lock states would confuse.
        for (size_t i = first; i < m_grabs.size(); ++i) {
            xcb_ungrab_key(m_connection, m_grabs[i].keycode, m_grabs[i].root, m_grabs[i].modifiers);
        }
        xcb_flush(m_connection);
        m_grabs.resize(first);
    }
    return ok;
}

void HotKeys::Release() {
    if (m_filtering) {
        qGuiApp->removeNativeEventFilter(this);
        m_filtering = false;
    }
    if (m_connection && !m_grabs.empty()) {
        for (const Grabbed& g : m_grabs) {
            xcb_ungrab_key(m_connection, g.keycode, g.root, g.modifiers);
        }
        xcb_flush(m_connection);
    }
    m_grabs.clear();
}

bool HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    const auto locks = static_cast<uint16_t>(XCB_MOD_MASK_LOCK | m_numLock);
    if ((press->state & 0xFF & ~locks) != XCB_MOD_MASK_1) return false;
    for (const Grabbed& g : m_grabs) {
        if (g.keycode == press->detail) {
            // Not inside the event filter: the action may open a modal box.
            const size_t key = g.key;
            QMetaObject::invokeMethod(
                this, [this, key] { m_keys[key].action(); }, Qt::QueuedConnection);
            return true;
        }
    }
    return false;
}

}  // namespace quorvex::app
