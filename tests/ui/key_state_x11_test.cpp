#include <gtest/gtest.h>

// Xlib's macros (None, Bool) clash with names inside gtest, so its headers come after gtest's.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/x11/key_state_x11.h"
#include "support/x_server.h"

namespace {

class ScopedDisplay {
public:
    explicit ScopedDisplay(const char* value) {
        if (const char* old = getenv("DISPLAY")) m_old = old;
        if (value != nullptr) {
            setenv("DISPLAY", value, 1);
        } else {
            unsetenv("DISPLAY");
        }
    }
    ~ScopedDisplay() {
        if (m_old) {
            setenv("DISPLAY", m_old->c_str(), 1);
        } else {
            unsetenv("DISPLAY");
        }
    }

private:
    std::optional<std::string> m_old;
};

void FakeKey(Display* display, KeySym key, bool down) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), down ? True : False, CurrentTime);
    XSync(display, False);
}

}  // namespace

TEST(X11KeyState, SeesEscapeHeldOnTheDisplayWhateverWindowHasFocus) {
    XServer server;
    ASSERT_FALSE(server.display.empty());
    ScopedDisplay scoped(server.display.c_str());
    platform::X11KeyState keys;
    Display* keyboard = XOpenDisplay(server.display.c_str());
    ASSERT_NE(keyboard, nullptr);

    EXPECT_FALSE(keys.IsEscapeDown());
    FakeKey(keyboard, XK_a, true);
    EXPECT_FALSE(keys.IsEscapeDown());
    FakeKey(keyboard, XK_Escape, true);
    EXPECT_TRUE(keys.IsEscapeDown());
    FakeKey(keyboard, XK_Escape, false);
    EXPECT_FALSE(keys.IsEscapeDown());
    FakeKey(keyboard, XK_a, false);
    XCloseDisplay(keyboard);
}

TEST(X11KeyState, WithoutDisplayNoKeyCountsAsHeld) {
    ScopedDisplay scoped(nullptr);
    platform::X11KeyState keys;
    EXPECT_FALSE(keys.IsEscapeDown());
}
