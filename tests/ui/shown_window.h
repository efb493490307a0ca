// The top-level window of another program as a private X server shows it, seen from outside as a
// window manager sees it.
#pragma once

#include <QImage>
#include <QSize>
#include <string>

class ShownWindow {
public:
    // Watches display (":N") for a viewable top-level window of size.
    ShownWindow(const std::string& display, QSize size);
    ~ShownWindow();
    ShownWindow(const ShownWindow&) = delete;
    ShownWindow& operator=(const ShownWindow&) = delete;

    // What the screen shows over the window; a null image while no such window is shown.
    QImage Grab();
    // Asks the window to close as a window manager's close button does; false while none is shown.
    bool Close();

private:
    unsigned long Find();

    void* m_display = nullptr;
    QSize m_size;
};
