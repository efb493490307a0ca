// The dialog-host port: everything the launcher window needs from a window toolkit. Controls are
// addressed by control id, pictures by bitmap id. The window's logic (CPLXDlg) talks only to this
// interface; the Qt host implements it for the player and a recording host implements it for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/modal_box.h"

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect&) const = default;
};

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

// Message-box buttons, icons and answers, with the values the window's flows are written with.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_ICONSTOP = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Notifications of a control, as OnCommand receives them.
inline constexpr int BN_CLICKED = 0;
inline constexpr int CBN_SELCHANGE = 1;

inline constexpr unsigned MK_LBUTTON = 0x1;

enum class ZOrder { Top, Bottom };

inline constexpr uint32_t kTransparent = 0xFFFFFFFF;

// What the host reports to the window, always on the user-interface thread.
class IDialogEvents {
public:
    virtual ~IDialogEvents() = default;
    virtual void OnMouseMove(unsigned flags, int x, int y) = 0;
    virtual void OnLButtonDown(unsigned flags, int x, int y) = 0;
    virtual void OnLButtonUp(unsigned flags, int x, int y) = 0;
    virtual void OnSetFocus() = 0;
    virtual void OnTimer(unsigned id) = 0;
    virtual void OnCommand(int controlId, int notification) = 0;
    // A web panel's top-level navigation completed / its document finished loading. browser names the
    // panel's page object, so a tracked document can be told apart from a later one.
    virtual void OnWebNavigateComplete(int controlId, uintptr_t browser, const std::string& url) = 0;
    virtual void OnWebDocumentComplete(int controlId, uintptr_t browser, const std::string& url) = 0;
    // The bitmap the background is painted with at this moment.
    virtual int BackgroundBitmapId() = 0;
};

class IDialogHost {
public:
    virtual ~IDialogHost() = default;

    // Window.
    // Creates the window and the controls of the template, with their first rectangles and pictures.
    virtual bool CreateDialogWindow(int templateId, IDialogEvents* events) = 0;
    virtual bool IsWindowAlive() = 0;
    // Destroys the window; the next drain reports the quit request.
    virtual void DestroyWindow() = 0;
    virtual void ShowWindow() = 0;
    virtual bool SetWindowRegion(int width, int height) = 0;
    virtual void MoveWindow(const Rect& rect) = 0;
    virtual Size ScreenSize() = 0;
    virtual void SetWindowIcon(int iconId) = 0;
    virtual void AppendSystemMenuItem(int commandId, const std::string& text) = 0;
    // Repaints the whole window with its background at once.
    virtual void RedrawWindow() = 0;
    // The left button went down on the window's background: the window follows the pointer until the
    // button is released (the window system's own move where it offers one).
    virtual void BeginWindowDrag() = 0;
    // Dispatches the events that are waiting; when there are none, waits for the next one for at most
    // maxWaitMs. False when the quit request was among them (the events before it were dispatched).
    virtual bool PumpEvents(int maxWaitMs) = 0;

    // Controls.
    virtual void MoveControl(int id, const Rect& rect, bool repaint) = 0;
    virtual Rect ControlRect(int id) = 0;
    virtual void SetControlZOrder(int id, ZOrder order) = 0;
    virtual void ShowControl(int id, bool shown) = 0;
    virtual void EnableControl(int id, bool enabled) = 0;
    // Shows only this rectangle (in the control's own coordinates) of the control.
    virtual void SetControlRegion(int id, const Rect& region) = 0;
    // Hands a picture to an image control (0: none). The control takes the picture's size, keeping its
    // top-left corner; a later move shows the picture scaled to the new rectangle.
    virtual void SetControlImage(int id, int bitmapId) = 0;
    virtual void SetControlText(int id, const std::string& text) = 0;
    virtual std::string ControlText(int id) = 0;
    virtual void SetControlFont(int id, const std::string& face, int points) = 0;
    // Text colour and background of a text or combo-box control; kTransparent lets the window's picture
    // show through.
    virtual void SetControlColors(int id, uint32_t textRgb, uint32_t backgroundRgb) = 0;

    // Combo boxes.
    virtual int ComboAddString(int id, const std::string& text) = 0;
    virtual int ComboInsertString(int id, int row, const std::string& text) = 0;
    virtual int ComboGetCurSel(int id) = 0;
    virtual void ComboSetCurSel(int id, int row) = 0;
    virtual std::string ComboItemText(int id, int row) = 0;
    virtual void ComboSetBackgroundColor(int id, uint32_t rgb) = 0;

    // Check box.
    virtual void SetCheck(int id, int state) = 0;
    virtual int GetCheck(int id) = 0;

    // Message boxes: the answer (IDOK, IDCANCEL).
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;

    // Window timers by id; a timer fires OnTimer(id) every period until it is killed.
    virtual void SetTimer(unsigned id, unsigned periodMs) = 0;
    virtual void KillTimer(unsigned id) = 0;

    // Modal boxes from a dialog template. RunModal shows the box until it is ended (by EndDialog, or by
    // the player: Escape gives IDCANCEL, Enter IDOK) and returns the result; a box that was ended
    // before it was shown closes at once.
    virtual std::unique_ptr<IModalBox> CreateModalBox(int templateId) = 0;
    virtual int RunModal(IModalBox& box) = 0;

    // Web panels.
    virtual void Navigate(int id, const std::string& url) = 0;

    // Opens a URL in the player's browser.
    virtual void OpenUrl(const std::string& url) = 0;
};
