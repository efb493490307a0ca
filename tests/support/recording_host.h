// A dialog host for tests: it keeps every control's state, answers message boxes from a script,
// fires timers on demand and dispatches events that a test queues.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "window/dialog_host.h"

struct RecordedControl {
    Rect rect;
    bool shown = true;
    bool enabled = true;
    int bitmapId = 0;
    int imageSets = 0;  // how often a picture was handed to the control
    std::string text;
    std::vector<std::string> texts;  // every text set, oldest first
    std::vector<std::string> items;
    int curSel = -1;
    int check = 0;
    ZOrder order = ZOrder::Top;
    Rect region;
    std::string font;
    uint32_t background = 0xFFFFFFFF;
    uint32_t textColor = 0;
    uint32_t textBackground = 0xFFFFFFFF;
    int moves = 0;  // how often the control was moved
    std::vector<std::string> navigations;
};

struct RecordedMessageBox {
    std::string text;
    std::string caption;
    unsigned flags;
};

// A modal box whose end may come from any thread.
class RecordingModalBox : public IModalBox {
public:
    explicit RecordingModalBox(int templateId) : templateId(templateId) {}
    void EndDialog(int result) override;
    // Waits for the end; IDCANCEL after escapeAfterMs when that is not negative.
    int Wait(int escapeAfterMs);
    const int templateId;

private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    std::optional<int> m_result;
};

class RecordingHost : public IDialogHost {
public:
    // Queues an event for the next drain.
    void Post(std::function<void()> event) { m_events.push_back(std::move(event)); }
    // The answers the next message boxes get, in order; IDOK once the script is used up.
    void AnswerNextBoxes(std::vector<int> answers);
    void FireTimer(unsigned id);

    RecordedControl& Control(int id) { return m_controls[id]; }
    bool HasControl(int id) const { return m_controls.count(id) != 0; }

    std::vector<RecordedMessageBox> boxes;
    std::map<unsigned, unsigned> timers;  // running timers and their periods
    std::vector<std::string> openedUrls;
    std::vector<int> pumpWaits;  // maxWaitMs of every drain
    Rect windowRect;
    Size screen{1920, 1080};
    bool shown = false;
    int redraws = 0;
    int windowIcon = 0;
    std::vector<std::pair<int, std::string>> systemMenu;
    IDialogEvents* events = nullptr;

    bool CreateDialogWindow(int templateId, IDialogEvents* events) override;
    bool IsWindowAlive() override { return m_alive; }
    void DestroyWindow() override;
    void ShowWindow() override { shown = m_alive; }
    bool SetWindowRegion(int width, int height) override;
    void MoveWindow(const Rect& rect) override { windowRect = rect; }
    Size ScreenSize() override { return screen; }
    void SetWindowIcon(int iconId) override { windowIcon = iconId; }
    void AppendSystemMenuItem(int commandId, const std::string& text) override;
    void RedrawWindow() override { ++redraws; }
    void BeginWindowDrag() override { ++drags; }
    int drags = 0;
    bool PumpEvents(int maxWaitMs) override;

    void MoveControl(int id, const Rect& rect, bool repaint) override;
    Rect ControlRect(int id) override { return m_controls[id].rect; }
    void SetControlZOrder(int id, ZOrder order) override { m_controls[id].order = order; }
    void ShowControl(int id, bool shown) override { m_controls[id].shown = shown; }
    void EnableControl(int id, bool enabled) override { m_controls[id].enabled = enabled; }
    void SetControlRegion(int id, const Rect& region) override { m_controls[id].region = region; }
    void SetControlImage(int id, int bitmapId) override;
    void SetControlText(int id, const std::string& text) override;
    std::string ControlText(int id) override { return m_controls[id].text; }
    void SetControlFont(int id, const std::string& face, int points) override;
    void SetControlColors(int id, uint32_t textRgb, uint32_t backgroundRgb) override {
        m_controls[id].textColor = textRgb;
        m_controls[id].textBackground = backgroundRgb;
    }

    int ComboAddString(int id, const std::string& text) override;
    int ComboInsertString(int id, int row, const std::string& text) override;
    int ComboGetCurSel(int id) override { return m_controls[id].curSel; }
    void ComboSetCurSel(int id, int row) override;
    std::string ComboItemText(int id, int row) override;
    void ComboSetBackgroundColor(int id, uint32_t rgb) override { m_controls[id].background = rgb; }

    void SetCheck(int id, int state) override { m_controls[id].check = state; }
    int GetCheck(int id) override { return m_controls[id].check; }

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void SetTimer(unsigned id, unsigned periodMs) override { timers[id] = periodMs; }
    void KillTimer(unsigned id) override { timers.erase(id); }
    void Navigate(int id, const std::string& url) override { m_controls[id].navigations.push_back(url); }
    void OpenUrl(const std::string& url) override { openedUrls.push_back(url); }

    std::unique_ptr<IModalBox> CreateModalBox(int templateId) override;
    int RunModal(IModalBox& box) override;
    // The modal boxes shown (their template ids) and, when set, the time after which the player ends
    // a box that is still open with Escape.
    std::vector<int> modalRuns;
    int modalEscapeAfterMs = -1;

    // Called when a message box opens, before it is answered (a test may act "while it is shown").
    std::function<void(const RecordedMessageBox&)> onMessageBox;

private:
    std::map<int, RecordedControl> m_controls;
    std::deque<std::function<void()>> m_events;
    std::deque<int> m_answers;
    bool m_alive = false;
    bool m_quitQueued = false;
};
