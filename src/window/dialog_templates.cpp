#include "window/dialog_templates.h"

#include "window/control_ids.h"

namespace {

// Controls the build sequence moves start outside the visible window, where the template puts them.
// The version text is 201 x 16 dialog units of 9-point MS Sans Serif: 302 x 20 pixels here.
constexpr ControlTemplate kLauncherControls[] = {
    {IDC_START_BUTTON, ControlKind::PushButton, {-200, -200, 50, 14}, 0, ""},
    {IDC_EXPLORER_BANNER, ControlKind::WebView, {-600, 0, 446, 300}, 0, ""},
    {IDC_EXPLORER_NOTICE, ControlKind::WebView, {-600, 300, 350, 205}, 0, ""},
    {IDC_BANNER_LINK, ControlKind::Image, {-500, 0, 382, 215}, 0, ""},
    {IDC_CLOSE, ControlKind::Image, {735, 5, 20, 20}, IDB_CLOSE, ""},
    {IDC_START, ControlKind::Image, {-200, -100, 142, 50}, 0, ""},
    {IDC_REINSTALL, ControlKind::Image, {-200, -200, 67, 30}, 0, ""},
    {IDC_COMMUNITY, ControlKind::Image, {491, 110, 67, 30}, IDB_COMMUNITY, ""},
    {IDC_PROGRESS, ControlKind::Image, {40, 460, 12, 12}, IDB_PROGRESS, ""},
    {IDC_RESOLUTION, ControlKind::ComboBox, {-300, 0, 94, 150}, 0, ""},
    {IDC_WINDOW_MODE, ControlKind::CheckBox, {-300, 40, 14, 14}, 0, ""},
    {IDC_SERVER, ControlKind::ComboBox, {-300, 80, 74, 150}, 0, ""},
    {IDC_PERCENT, ControlKind::Text, {-8, -178, 14, 13}, 0, "0%"},
    {IDC_VERSION, ControlKind::Text, {-400, 0, 302, 20}, 0, ""},
    {IDC_DOT0, ControlKind::Image, {-100, 0, 13, 13}, 0, ""},
    {IDC_DOT1, ControlKind::Image, {-100, 20, 13, 13}, 0, ""},
    {IDC_DOT2, ControlKind::Image, {-100, 40, 13, 13}, 0, ""},
    {IDC_DOT3, ControlKind::Image, {-100, 60, 13, 13}, 0, ""},
    {IDC_DOT4, ControlKind::Image, {-100, 80, 13, 13}, 0, ""},
};

// The installing box: 159 x 69 dialog units of 8-point MS Shell Dlg, one centred text.
constexpr ControlTemplate kInstallingControls[] = {
    {-1, ControlKind::Text, {11, 11, 218, 89}, 0, "현재 필수 설치 프로그램들을\n 설치중입니다"},
};

// The preparing box: the installing box's shape, with its own text.
constexpr ControlTemplate kPreparingControls[] = {
    {-1,
     ControlKind::Text,
     {11, 11, 218, 89},
     0,
     "게임 실행 환경을 준비하고 있습니다.\n잠시만 기다려 주십시오."},
};

constexpr DialogTemplate kTemplates[] = {
    {IDD_ORL_DIALOG, {760, 429}, kLauncherControls},
    {IDD_INSTALLING, {239, 112}, kInstallingControls},
    {IDD_PREPARING, {239, 112}, kPreparingControls},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int templateId) {
    for (const DialogTemplate& t : kTemplates) {
        if (t.id == templateId) return &t;
    }
    return nullptr;
}
