#pragma once
// Hot keys grabbed on the X11 root window so they work whichever window has the focus; a key
// that cannot be grabbed (another client holds it, or the platform is not X11) becomes a
// shortcut of the window instead.

#include <QAbstractNativeEventFilter>
#include <QKeyCombination>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <vector>

class QShortcut;
class QWidget;
struct xcb_connection_t;

namespace quorvex::app {

class HotKeys : public QObject, public QAbstractNativeEventFilter {
  public:
    struct Key {
        QKeyCombination keys;  // one key with its modifiers, e.g. Alt+F7
        std::function<void()> action;
    };
    // Where a key works.
    enum class Reach {
        SystemWide,
        Held,       // another X client holds it: only while the window has the focus
        WindowOnly  // not X11, or a key the server has no key code for
    };

    HotKeys(QWidget* window, std::vector<Key> keys);
    ~HotKeys() override;
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    Reach ReachOf(size_t key) const { return m_reach[key]; }
    // Gives the grabbed keys back to the X server and drops the window shortcuts.
    void Release();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    struct Grabbed {
        size_t key;
        uint32_t root;
        uint8_t keycode;
        uint16_t modifiers;  // the key's own, without the lock variants
        uint16_t withLocks;
    };
    Reach GrabSystemWide(size_t key, void* keySymbols);

    std::vector<Key> m_keys;
    std::vector<Reach> m_reach;
    xcb_connection_t* m_connection = nullptr;
    std::vector<Grabbed> m_grabs;
    std::vector<QPointer<QShortcut>> m_shortcuts;
    uint16_t m_numLock = 0;
    bool m_filtering = false;
};

}  // namespace quorvex::app
