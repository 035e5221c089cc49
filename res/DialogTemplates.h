#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include <array>

// Dialog templates in dialog units and their conversion to pixels.

// Average character width and character height of a dialog font, in pixels.
struct DialogBaseUnits {
    int cx = 0;
    int cy = 0;
};

enum class DialogItemKind { Static, Icon, Button, DefaultButton, ListBox, Edit };

// What a template's control is for; Label for text the code never changes.
enum class DialogItemRole { Label, Ok, Save, Cancel, VolumeList, FileName };

// One control of a template.
struct DialogItem {
    DialogItemRole role;
    DialogItemKind kind;
    const char* text;  // nullptr for none
    int x, y, w, h;    // dialog units
};

// The dialogs' font: "Arial" at 9 points, which resolves to Liberation Sans.
[[nodiscard]] QFont DialogFont();

// Base units of font: cx from the average width of the 52 Latin letters
// (rounded as the classic dialog manager does), cy the font's line height.
[[nodiscard]] DialogBaseUnits DialogBaseUnitsOf(const QFont& font);

// Converts a rectangle or size in dialog units to pixels:
// x = dlu * cx / 4, y = dlu * cy / 8, each rounded to nearest.
[[nodiscard]] QRect DluToPixels(const QRect& dlu, DialogBaseUnits units);
[[nodiscard]] QSize DluToPixels(const QSize& dlu, DialogBaseUnits units);

// About box, template 100.
inline constexpr QSize AboutTemplateSize{247, 55};
inline constexpr const char* AboutTemplateCaption = "GRIDLUME User Voice Manager Info";
inline constexpr std::array<DialogItem, 5> AboutTemplate{{
    {DialogItemRole::Label, DialogItemKind::Icon, nullptr, 11, 17, 20, 20},
    {DialogItemRole::Label, DialogItemKind::Static, "GRIDLUME User Voice Manager Version 1.0.0", 37,
     10, 149, 8},
    {DialogItemRole::Label, DialogItemKind::Static, "Copyright (C) 2026 Vantor Corporation", 37, 25,
     166, 8},
    {DialogItemRole::Ok, DialogItemKind::DefaultButton, "OK", 190, 7, 50, 14},
    {DialogItemRole::Label, DialogItemKind::Static, "All rights reserved.", 76, 40, 69, 8},
}};

// Save dialog, template 159: no system menu, so no close box.
inline constexpr QSize FileSaveTemplateSize{187, 121};
inline constexpr const char* FileSaveTemplateCaption = "FileSave";
inline constexpr std::array<DialogItem, 6> FileSaveTemplate{{
    {DialogItemRole::Save, DialogItemKind::Button, "Save", 65, 100, 50, 14},
    {DialogItemRole::Cancel, DialogItemKind::Button, "Cancel", 122, 100, 50, 14},
    {DialogItemRole::Label, DialogItemKind::Static, "Volume", 15, 7, 30, 8},
    {DialogItemRole::VolumeList, DialogItemKind::ListBox, nullptr, 15, 18, 157, 35},
    {DialogItemRole::Label, DialogItemKind::Static, "FileName", 15, 62, 38, 8},
    {DialogItemRole::FileName, DialogItemKind::Edit, nullptr, 15, 74, 157, 12},
}};
