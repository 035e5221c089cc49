#pragma once

#include <QImage>
#include <QList>

// The skin's artwork, drawn in code. The art program renders every bitmap
// with these functions at build time; nothing here is used at run time.

// Size in logical pixels of bitmap id; an empty size for an unknown id.
[[nodiscard]] QSize SkinArtSize(int id);

// Renders bitmap id at the given scale (1 or 2) as an opaque RGB32 image of
// SkinArtSize(id) * scale. A null image for an unknown id.
[[nodiscard]] QImage RenderSkinArt(int id, int scale);

// Renders the application icon (resource 128) as a square ARGB32 image of
// size x size pixels with transparent corners.
[[nodiscard]] QImage RenderAppIcon(int size);
