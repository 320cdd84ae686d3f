#include "app/hot_keys.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QGuiApplication>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>
#include <cstdlib>
#include <utility>

namespace quorvex::app {

namespace {

// The X key symbol of a Qt key, or 0 for one this does not know.
uint32_t KeysymOf(Qt::Key key) {
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) {
        return XK_F1 + static_cast<uint32_t>(key - Qt::Key_F1);
    }
    // The keyboard map lists letters in lower case.
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return XK_a + static_cast<uint32_t>(key - Qt::Key_A);
    // Printable ASCII: the key symbol is the character.
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde) return static_cast<uint32_t>(key);
    static constexpr std::pair<Qt::Key, uint32_t> kNamed[] = {{Qt::Key_Escape, XK_Escape},
                                                              {Qt::Key_Tab, XK_Tab},
                                                              {Qt::Key_Backspace, XK_BackSpace},
                                                              {Qt::Key_Return, XK_Return},
                                                              {Qt::Key_Enter, XK_KP_Enter},
                                                              {Qt::Key_Insert, XK_Insert},
                                                              {Qt::Key_Delete, XK_Delete},
                                                              {Qt::Key_Pause, XK_Pause},
                                                              {Qt::Key_Print, XK_Print},
                                                              {Qt::Key_Home, XK_Home},
                                                              {Qt::Key_End, XK_End},
                                                              {Qt::Key_Left, XK_Left},
                                                              {Qt::Key_Up, XK_Up},
                                                              {Qt::Key_Right, XK_Right},
                                                              {Qt::Key_Down, XK_Down},
                                                              {Qt::Key_PageUp, XK_Prior},
                                                              {Qt::Key_PageDown, XK_Next},
                                                              {Qt::Key_ScrollLock, XK_Scroll_Lock},
                                                              {Qt::Key_Menu, XK_Menu}};
    for (const auto& [qt, x] : kNamed) {
        if (qt == key) return x;
    }
    return 0;
}

uint16_t ModifiersOf(Qt::KeyboardModifiers modifiers) {
    uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier) mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier) mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier) mask |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier) mask |= XCB_MOD_MASK_4;
    return mask;
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

HotKeys::HotKeys(QWidget* window, std::vector<Key> keys)
    : m_keys(std::move(keys)), m_reach(m_keys.size(), Reach::WindowOnly) {
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        m_connection = x11->connection();
    }
    if (m_connection) {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
        if (symbols) {
            m_numLock = NumLockMask(m_connection, symbols);
            for (size_t i = 0; i < m_keys.size(); ++i) m_reach[i] = GrabSystemWide(i, symbols);
            xcb_key_symbols_free(symbols);
        }
        if (!m_grabs.empty()) {
            qGuiApp->installNativeEventFilter(this);
            m_filtering = true;
        }
    }
    for (size_t i = 0; i < m_keys.size(); ++i) {
        if (m_reach[i] == Reach::SystemWide) continue;
        auto* shortcut = new QShortcut(QKeySequence(m_keys[i].keys), window, nullptr, nullptr,
                                       Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, i] { m_keys[i].action(); });
        m_shortcuts.emplace_back(shortcut);
    }
}

HotKeys::~HotKeys() { Release(); }

HotKeys::Reach HotKeys::GrabSystemWide(size_t key, void* keySymbols) {
    auto* symbols = static_cast<xcb_key_symbols_t*>(keySymbols);
    const uint32_t keysym = KeysymOf(m_keys[key].keys.key());
    xcb_keycode_t* codes = keysym ? xcb_key_symbols_get_keycode(symbols, keysym) : nullptr;
    if (!codes) return Reach::WindowOnly;
    const uint16_t modifiers = ModifiersOf(m_keys[key].keys.keyboardModifiers());
    // The grab matches modifiers exactly, so the lock keys need their own variants.
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, m_numLock,
                              static_cast<uint16_t>(XCB_MOD_MASK_LOCK | m_numLock)};
    const size_t first = m_grabs.size();
    std::vector<xcb_void_cookie_t> cookies;
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (; roots.rem; xcb_screen_next(&roots)) {
        for (const xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k) {
            for (uint16_t lock : locks) {
                const auto mods = static_cast<uint16_t>(modifiers | lock);
                cookies.push_back(xcb_grab_key_checked(m_connection, 0, roots.data->root, mods, *k,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
                m_grabs.push_back({key, roots.data->root, *k, modifiers, mods});
            }
        }
    }
    std::free(codes);
    Reach reach = cookies.empty() ? Reach::WindowOnly : Reach::SystemWide;
    for (const auto& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            // BadAccess: another client holds this combination.
            if (reach != Reach::Held) {
                reach = error->error_code == XCB_ACCESS ? Reach::Held : Reach::WindowOnly;
            }
            std::free(error);
        }
    }
    if (reach != Reach::SystemWide) {
        // All or nothing: a key that worked only with some lock states would confuse.
        for (size_t i = first; i < m_grabs.size(); ++i) {
            xcb_ungrab_key(m_connection, m_grabs[i].keycode, m_grabs[i].root, m_grabs[i].withLocks);
        }
        xcb_flush(m_connection);
        m_grabs.resize(first);
    }
    return reach;
}

void HotKeys::Release() {
    if (m_filtering) {
        qGuiApp->removeNativeEventFilter(this);
        m_filtering = false;
    }
    if (m_connection && !m_grabs.empty()) {
        for (const Grabbed& g : m_grabs) {
            xcb_ungrab_key(m_connection, g.keycode, g.root, g.withLocks);
        }
        xcb_flush(m_connection);
    }
    m_grabs.clear();
    for (const QPointer<QShortcut>& shortcut : m_shortcuts) delete shortcut.data();
    m_shortcuts.clear();
}

bool HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    const auto locks = static_cast<uint16_t>(XCB_MOD_MASK_LOCK | m_numLock);
    const auto modifiers = static_cast<uint16_t>(press->state & 0xFF & ~locks);
    for (const Grabbed& g : m_grabs) {
        if (g.keycode == press->detail && g.modifiers == modifiers) {
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
