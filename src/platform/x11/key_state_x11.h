// The Escape key's state from the X server, whichever window has the keyboard focus.
#pragma once

#include "platform/key_state.h"

struct _XDisplay;

namespace platform {

class X11KeyState : public IKeyState {
public:
    // Connects to the display DISPLAY names; without one, no key ever counts as held down.
    X11KeyState();
    ~X11KeyState() override;
    X11KeyState(const X11KeyState&) = delete;
    X11KeyState& operator=(const X11KeyState&) = delete;

    bool IsEscapeDown() override;

private:
    _XDisplay* m_display = nullptr;
    unsigned m_escapeKeycode = 0;
};

}  // namespace platform
