#pragma once

#include <QRect>

// Pixel layout of the 640 x 640 main panel. The background art and the main
// window both place things with these, so the controls land exactly on the
// badges and fields painted into the background.

inline constexpr int SkinPanelSize = 640;
inline constexpr int SkinSlotCount = 16;

// Top of slot i's row of buttons; slot 0 is the bottom row.
[[nodiscard]] constexpr int SkinRowTop(int slot) { return 506 - 27 * slot; }

[[nodiscard]] constexpr QRect SkinLoadButtonRect(int slot) {
    return {109, SkinRowTop(slot), 25, 25};
}
[[nodiscard]] constexpr QRect SkinLabelRect(int slot) {
    return {146, SkinRowTop(slot) + 3, 323, 19};
}
[[nodiscard]] constexpr QRect SkinClearButtonRect(int slot) {
    return {481, SkinRowTop(slot), 25, 25};
}
[[nodiscard]] constexpr QRect SkinPlayButtonRect(int slot) {
    return {508, SkinRowTop(slot), 25, 25};
}
[[nodiscard]] constexpr QRect SkinCloseButtonRect() { return {292, 46, 58, 25}; }
[[nodiscard]] constexpr QRect SkinSaveButtonRect() { return {438, 554, 100, 39}; }
