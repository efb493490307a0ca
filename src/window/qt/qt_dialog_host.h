// The dialog host the player sees: the launcher window as Qt widgets, its web panels as Qt WebEngine
// views, and the launcher's own loop draining Qt's event queue instead of QApplication::exec().
#pragma once

#include <QPixmap>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "window/dialog_host.h"
#include "window/dialog_templates.h"

class QMessageBox;
class QWidget;
class QtSkinWindow;
class QtPaintCounter;

class QtDialogHost : public IDialogHost {
public:
    // The QApplication must exist before the host and outlive it.
    QtDialogHost();
    ~QtDialogHost() override;
    QtDialogHost(const QtDialogHost&) = delete;
    QtDialogHost& operator=(const QtDialogHost&) = delete;

    bool CreateDialogWindow(int templateId, IDialogEvents* events) override;
    bool IsWindowAlive() override;
    void DestroyWindow() override;
    void ShowWindow() override;
    bool SetWindowRegion(int width, int height) override;
    void MoveWindow(const Rect& rect) override;
    Size ScreenSize() override;
    void SetWindowIcon(int iconId) override;
    void AppendSystemMenuItem(int commandId, const std::string& text) override;
    void RedrawWindow() override;
    void BeginWindowDrag() override;
    bool PumpEvents(int maxWaitMs) override;

    void MoveControl(int id, const Rect& rect, bool repaint) override;
    Rect ControlRect(int id) override;
    void SetControlZOrder(int id, ZOrder order) override;
    void ShowControl(int id, bool shown) override;
    void EnableControl(int id, bool enabled) override;
    void SetControlRegion(int id, const Rect& region) override;
    void SetControlImage(int id, int bitmapId) override;
    void SetControlText(int id, const std::string& text) override;
    std::string ControlText(int id) override;
    void SetControlFont(int id, const std::string& face, int points) override;
    void SetControlColors(int id, uint32_t textRgb, uint32_t backgroundRgb) override;

    int ComboAddString(int id, const std::string& text) override;
    int ComboInsertString(int id, int row, const std::string& text) override;
    int ComboGetCurSel(int id) override;
    void ComboSetCurSel(int id, int row) override;
    std::string ComboItemText(int id, int row) override;
    void ComboSetBackgroundColor(int id, uint32_t rgb) override;

    void SetCheck(int id, int state) override;
    int GetCheck(int id) override;

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;

    void SetTimer(unsigned id, unsigned periodMs) override;
    void KillTimer(unsigned id) override;

    std::unique_ptr<IModalBox> CreateModalBox(int templateId) override;
    int RunModal(IModalBox& box) override;

    void Navigate(int id, const std::string& url) override;
    void OpenUrl(const std::string& url) override;

    // When set, message boxes are answered by this function instead of the player, and not shown.
    std::function<int(const std::string& text, const std::string& caption, unsigned flags)> answerBoxes;
    // When set, called with each message box right after it opens; a click on one of its buttons
    // answers it as the player's would.
    std::function<void(QMessageBox& box)> onBoxShown;

    // Paint events received since the window was created: by one control, and by the window itself
    // (its background). -1 for a control the window does not have.
    int PaintCount(int id) const;
    int WindowPaintCount() const;
    // The widgets behind the window and its controls; null once the window is destroyed.
    QWidget* Window() const;
    QWidget* ControlWidget(int id) const;

    // The picture of a bitmap resource, decoded on first use; null when there is no such bitmap.
    const QPixmap* Picture(int bitmapId);

private:
    struct Control {
        ControlKind kind;
        QWidget* widget;  // owned by the window
        QtPaintCounter* paints;
        Rect rect;
    };
    Control* Find(int id);
    const Control* Find(int id) const;
    void PlaceWidget(Control& control);

    // Outlives nothing it is handed to: queued calls aimed at it are dropped with the host.
    std::unique_ptr<QObject> m_context;
    IDialogEvents* m_events = nullptr;
    std::unique_ptr<QtSkinWindow> m_window;
    // A destroyed window waits here until its deletion is dispatched, since it is usually destroyed
    // from inside one of its own event handlers.
    std::unique_ptr<QtSkinWindow> m_closingWindow;
    QtPaintCounter* m_windowPaints = nullptr;
    std::map<int, Control> m_controls;
    std::map<unsigned, std::unique_ptr<QTimer>> m_timers;
    std::map<int, QPixmap> m_pictures;
    QTimer m_wakeUp;
    bool m_quitDispatched = false;
};
