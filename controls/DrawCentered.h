#pragma once

class QPainter;
class QPixmap;

// Draws image centred in the rectangle (left, top)-(right, bottom), right
// and bottom exclusive; an image larger than the rectangle shows its middle
// part, an odd excess cut from the right or bottom. Sizes are logical
// pixels, so double-size art paints at the same place. Returns false, with
// nothing drawn, for a null painter or a null or empty image.
[[nodiscard]] bool DrawCentered(QPainter* painter, int left, int top, int right, int bottom,
                                const QPixmap* image);
