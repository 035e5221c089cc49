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

// One control of a template. id -1 marks a static the code never addresses.
struct DialogItem {
    int id;
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

// Main window, template 102: control ids. Slot 0 is the bottom row; ids
// 1007, 1011, ... 1063 belong to no control.
inline constexpr int MainIdClose = 1000;
inline constexpr int MainIdSave = 1002;
[[nodiscard]] constexpr int MainLoadButtonId(int slot) { return slot == 0 ? 1003 : 1002 + 4 * slot; }
[[nodiscard]] constexpr int MainClearButtonId(int slot) { return 1004 + 4 * slot; }
[[nodiscard]] constexpr int MainPlayButtonId(int slot) { return 1005 + 4 * slot; }
[[nodiscard]] constexpr int MainLabelId(int slot) { return 1066 + slot; }

// About box, template 100.
inline constexpr QSize AboutTemplateSize{247, 55};
inline constexpr const char* AboutTemplateCaption = "GRIDLUME User Voice Manager Info";
inline constexpr std::array<DialogItem, 5> AboutTemplate{{
    {-1, DialogItemKind::Icon, nullptr, 11, 17, 20, 20},
    {-1, DialogItemKind::Static, "GRIDLUME User Voice Manager Version 1.0.0", 37, 10, 149, 8},
    {-1, DialogItemKind::Static, "Copyright (C) 2026 Vantor Corporation", 37, 25, 166, 8},
    {1, DialogItemKind::DefaultButton, "OK", 190, 7, 50, 14},
    {-1, DialogItemKind::Static, "All rights reserved.", 76, 40, 69, 8},
}};

// Save dialog, template 159: no system menu, so no close box.
inline constexpr int FileSaveIdSave = 1002;
inline constexpr int FileSaveIdCancel = 1003;
inline constexpr int FileSaveIdVolumes = 1004;
inline constexpr int FileSaveIdFileName = 1005;
inline constexpr QSize FileSaveTemplateSize{187, 121};
inline constexpr const char* FileSaveTemplateCaption = "FileSave";
inline constexpr std::array<DialogItem, 6> FileSaveTemplate{{
    {FileSaveIdSave, DialogItemKind::Button, "Save", 65, 100, 50, 14},
    {FileSaveIdCancel, DialogItemKind::Button, "Cancel", 122, 100, 50, 14},
    {-1, DialogItemKind::Static, "Volume", 15, 7, 30, 8},
    {FileSaveIdVolumes, DialogItemKind::ListBox, nullptr, 15, 18, 157, 35},
    {-1, DialogItemKind::Static, "FileName", 15, 62, 38, 8},
    {FileSaveIdFileName, DialogItemKind::Edit, nullptr, 15, 74, 157, 12},
}};
