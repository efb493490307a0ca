#include "ui/shown_window.h"

// Xlib's macros (None, Bool, Status) clash with names inside Qt, so its headers come last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

Display* Of(void* display) { return static_cast<Display*>(display); }

// A window may go between the listing of the windows and the look at one of them; Xlib's own handler
// would end the test program for that, leaving the launcher it watches running.
int IgnoreError(Display*, XErrorEvent*) { return 0; }

}  // namespace

ShownWindow::ShownWindow(const std::string& display, QSize size)
    : m_display(XOpenDisplay(display.c_str())), m_size(size) {
    XSetErrorHandler(IgnoreError);
}

ShownWindow::~ShownWindow() {
    if (m_display != nullptr) XCloseDisplay(Of(m_display));
}

unsigned long ShownWindow::Find() {
    if (m_display == nullptr) return 0;
    Display* display = Of(m_display);
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count) == 0) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable && attributes.width == m_size.width() &&
            attributes.height == m_size.height())
            found = children[i];
    }
    if (children != nullptr) XFree(children);
    return found;
}

QImage ShownWindow::Grab() {
    Window window = Find();
    if (window == 0) return {};
    Display* display = Of(m_display);
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0) return {};
    // The screen's pixels rather than the window's: the web views draw through the GPU path.
    XImage* shown = XGetImage(display, DefaultRootWindow(display), attributes.x, attributes.y,
                              static_cast<unsigned int>(m_size.width()),
                              static_cast<unsigned int>(m_size.height()), AllPlanes, ZPixmap);
    if (shown == nullptr) return {};
    QImage image(m_size, QImage::Format_RGB32);
    for (int y = 0; y < m_size.height(); ++y) {
        for (int x = 0; x < m_size.width(); ++x) {
            unsigned long pixel = XGetPixel(shown, x, y);
            image.setPixel(x, y,
                           qRgb(static_cast<int>((pixel & shown->red_mask) >> 16),
                                static_cast<int>((pixel & shown->green_mask) >> 8),
                                static_cast<int>(pixel & shown->blue_mask)));
        }
    }
    XDestroyImage(shown);
    return image;
}

bool ShownWindow::Close() {
    Window window = Find();
    if (window == 0) return false;
    Display* display = Of(m_display);
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window;
    request.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    request.xclient.format = 32;
    request.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    request.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &request);
    XFlush(display);
    return true;
}
