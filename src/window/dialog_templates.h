// The dialog templates as tables: each control's id, kind, first rectangle (pixels) and first picture
// or text.
#pragma once

#include <span>
#include <string>

#include "window/dialog_host.h"

enum class ControlKind { PushButton, Image, Text, ComboBox, CheckBox, WebView };

struct ControlTemplate {
    int id;
    ControlKind kind;
    Rect rect;
    int bitmapId;      // first picture of an image control, 0 for none
    const char* text;  // first text of a text control
};

struct DialogTemplate {
    int id;
    Size size;
    std::span<const ControlTemplate> controls;
};

// Template 102, the launcher window; template 229, the installing box; template 230, the box shown
// while the compatibility prefix is made.
const DialogTemplate* FindDialogTemplate(int templateId);

inline constexpr int IDD_INSTALLING = 229;
inline constexpr int IDD_PREPARING = 230;
