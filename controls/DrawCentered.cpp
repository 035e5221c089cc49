#include "controls/DrawCentered.h"

#include <QPainter>
#include <QPixmap>

#include <cmath>

bool DrawCentered(QPainter* painter, int left, int top, int right, int bottom,
                  const QPixmap* image) {
    if (painter == nullptr || image == nullptr || image->isNull()) {
        return false;
    }
    const qreal ratio = image->devicePixelRatio();
    const int imageWidth = static_cast<int>(std::lround(image->width() / ratio));
    const int imageHeight = static_cast<int>(std::lround(image->height() / ratio));
    const int cx0 = (left + right) / 2;
    const int cy0 = (top + bottom) / 2;
    const int w = right - left;
    const int h = bottom - top;
    int srcX = 0;
    int copyW = imageWidth;
    if (imageWidth > w) {
        srcX = (imageWidth - w) / 2;
        copyW = w;
    }
    int srcY = 0;
    int copyH = imageHeight;
    if (imageHeight > h) {
        srcY = (imageHeight - h) / 2;
        copyH = h;
    }
    if (copyW <= 0 || copyH <= 0) {
        return true;  // nothing of the image fits
    }
    const QRect target(cx0 - copyW / 2, cy0 - copyH / 2, copyW, copyH);
    const QRectF source(srcX * ratio, srcY * ratio, copyW * ratio, copyH * ratio);
    painter->drawPixmap(QRectF(target), *image, source);
    return true;
}
