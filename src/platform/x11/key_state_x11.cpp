#include "platform/x11/key_state_x11.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace platform {

// A connection of its own: the toolkit's connection belongs to the toolkit's thread and event queue,
// and the key map query needs neither.
X11KeyState::X11KeyState() : m_display(XOpenDisplay(nullptr)) {
    if (m_display != nullptr) m_escapeKeycode = XKeysymToKeycode(m_display, XK_Escape);
}

X11KeyState::~X11KeyState() {
    if (m_display != nullptr) XCloseDisplay(m_display);
}

bool X11KeyState::IsEscapeDown() {
    if (m_display == nullptr || m_escapeKeycode == 0) return false;
    char keys[32] = {};
    XQueryKeymap(m_display, keys);
    return (static_cast<unsigned char>(keys[m_escapeKeycode / 8]) >> (m_escapeKeycode % 8)) & 1;
}

}  // namespace platform
