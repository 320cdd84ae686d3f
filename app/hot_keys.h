#pragma once
// Alt+function-key hot keys: grabbed on the X11 root window so they work whichever window
// has the focus; a key that cannot be grabbed (another client holds it, or the platform is
// not X11) becomes a shortcut of the window instead.

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>
#include <functional>
#include <vector>

class QWidget;
struct xcb_connection_t;

namespace quorvex::app {

class HotKeys : public QObject, public QAbstractNativeEventFilter {
  public:
    struct Key {
        int functionKey;  // Qt::Key_F1 .. Qt::Key_F12, pressed with Alt
        std::function<void()> action;
    };

    HotKeys(QWidget* window, std::vector<Key> keys);
    ~HotKeys() override;
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    // True when every key works system-wide.
    bool AllSystemWide() const { return m_allSystemWide; }
    // Gives the grabbed keys back to the X server.
    void Release();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    struct Grabbed {
        size_t key;
        uint32_t root;
        uint8_t keycode;
        uint16_t modifiers;
    };
    bool GrabSystemWide(size_t key, void* keySymbols);

    std::vector<Key> m_keys;
    xcb_connection_t* m_connection = nullptr;
    std::vector<Grabbed> m_grabs;
    uint16_t m_numLock = 0;
    bool m_allSystemWide = false;
    bool m_filtering = false;
};

}  // namespace quorvex::app
