#include "support/recording_host.h"

#include "platform/resources.h"
#include "window/dialog_templates.h"

bool RecordingHost::CreateDialogWindow(int templateId, IDialogEvents* dialogEvents) {
    const DialogTemplate* dialog = FindDialogTemplate(templateId);
    if (dialog == nullptr) return false;
    events = dialogEvents;
    m_alive = true;
    windowRect = {0, 0, dialog->size.width, dialog->size.height};
    for (const ControlTemplate& control : dialog->controls) {
        RecordedControl& recorded = m_controls[control.id];
        recorded.rect = control.rect;
        recorded.text = control.text;
        if (control.bitmapId != 0) SetControlImage(control.id, control.bitmapId);
        recorded.imageSets = 0;
    }
    return true;
}

void RecordingHost::DestroyWindow() {
    if (!m_alive) return;
    m_alive = false;
    m_quitQueued = true;
}

bool RecordingHost::SetWindowRegion(int width, int height) { return width > 0 && height > 0; }

void RecordingHost::AppendSystemMenuItem(int commandId, const std::string& text) {
    systemMenu.emplace_back(commandId, text);
}

bool RecordingHost::PumpEvents(int maxWaitMs) {
    pumpWaits.push_back(maxWaitMs);
    for (;;) {
        if (m_quitQueued) {
            m_quitQueued = false;
            return false;
        }
        if (m_events.empty()) return true;
        auto event = std::move(m_events.front());
        m_events.pop_front();
        event();
    }
}

void RecordingHost::MoveControl(int id, const Rect& rect, bool) {
    m_controls[id].rect = rect;
    ++m_controls[id].moves;
}

void RecordingHost::SetControlImage(int id, int bitmapId) {
    RecordedControl& control = m_controls[id];
    control.bitmapId = bitmapId;
    ++control.imageSets;
    if (auto info = platform::BitmapResourceInfo(bitmapId)) {
        control.rect.width = info->width;
        control.rect.height = info->height;
    }
}

void RecordingHost::SetControlFont(int id, const std::string& face, int points) {
    m_controls[id].font = face + " " + std::to_string(points);
}

int RecordingHost::ComboAddString(int id, const std::string& text) {
    m_controls[id].items.push_back(text);
    return static_cast<int>(m_controls[id].items.size()) - 1;
}

int RecordingHost::ComboInsertString(int id, int row, const std::string& text) {
    auto& items = m_controls[id].items;
    if (row < 0 || row > static_cast<int>(items.size())) row = static_cast<int>(items.size());
    items.insert(items.begin() + row, text);
    return row;
}

void RecordingHost::ComboSetCurSel(int id, int row) {
    RecordedControl& control = m_controls[id];
    control.curSel = row >= 0 && row < static_cast<int>(control.items.size()) ? row : -1;
}

std::string RecordingHost::ComboItemText(int id, int row) {
    const auto& items = m_controls[id].items;
    if (row < 0 || row >= static_cast<int>(items.size())) return {};
    return items[static_cast<size_t>(row)];
}

void RecordingHost::AnswerNextBoxes(std::vector<int> answers) {
    m_answers.insert(m_answers.end(), answers.begin(), answers.end());
}

void RecordingHost::FireTimer(unsigned id) {
    if (events != nullptr) events->OnTimer(id);
}

int RecordingHost::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    boxes.push_back({text, caption, flags});
    if (onMessageBox) onMessageBox(boxes.back());
    if (m_answers.empty()) return IDOK;
    int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void RecordingModalBox::EndDialog(int result) {
    std::lock_guard lock(m_mutex);
    if (!m_result) m_result = result;
    m_ended.notify_all();
}

int RecordingModalBox::Wait(int escapeAfterMs) {
    std::unique_lock lock(m_mutex);
    if (escapeAfterMs < 0) {
        m_ended.wait(lock, [&] { return m_result.has_value(); });
    } else if (!m_ended.wait_for(lock, std::chrono::milliseconds(escapeAfterMs),
                                 [&] { return m_result.has_value(); })) {
        m_result = IDCANCEL;
    }
    return *m_result;
}

std::unique_ptr<IModalBox> RecordingHost::CreateModalBox(int templateId) {
    return std::make_unique<RecordingModalBox>(templateId);
}

int RecordingHost::RunModal(IModalBox& box) {
    auto& modal = static_cast<RecordingModalBox&>(box);
    modalRuns.push_back(modal.templateId);
    return modal.Wait(modalEscapeAfterMs);
}

void RecordingHost::SetControlText(int id, const std::string& text) {
    m_controls[id].text = text;
    m_controls[id].texts.push_back(text);
}
