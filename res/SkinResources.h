#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

#include "res/SkinIds.h"

// Bitmap resource ids of the skin.
enum SkinBitmapId : int {
    BmpCloseHover = 130,
    BmpCloseNormal = 132,
    BmpClearNormal = 134,
    BmpPlayNormal = 135,
    BmpSaveNormal = 137,
    BmpClosePressed = 138,
    BmpSavePressed = 139,
    BmpSaveHover = 140,
    BmpClearPressed = 142,
    BmpClearHover = 143,
    BmpPlayPressed = 144,
    BmpClearDisabled = 146,
    BmpPlayDisabled = 147,
    BmpPlayPlaying = 148,
    BmpBackground = 149,
    BmpPlayHover = 163,
    BmpSaveDisabled = 170,
    BmpLoadPressedFirst = 171,  // + slot, 171 ... 186
    BmpLoadNormalFirst = 187,   // + slot, 187 ... 202
    BmpLoadHoverFirst = 203,    // + slot, 203 ... 218
};

inline constexpr int AppIconId = 128;

// Resource path of bitmap id at scale 1 (":/skin/149.bmp") or 2
// (":/skin/149@2x.bmp").
[[nodiscard]] QString SkinBitmapPath(int id, int scale = 1);

// Loads bitmap id. With devicePixelRatio 1.5 or more the double-size art is
// taken and marked with ratio 2, so it paints at the same logical size.
// Returns a null pixmap for an id the skin does not have.
[[nodiscard]] QPixmap LoadSkinBitmap(int id, qreal devicePixelRatio = 1.0);

// The application icon (resource 128) with all its sizes: 16, 32, 48, 64,
// 128 and 256 pixels.
[[nodiscard]] QIcon LoadAppIcon();

// Resource path of the icon image of the given size (":/icons/128-32.png");
// sizes other than those above have no file.
[[nodiscard]] QString AppIconPath(int size);
