#include "res/SkinResources.h"

QString SkinBitmapPath(int id, int scale) {
    return scale >= 2 ? QStringLiteral(":/skin/%1@2x.bmp").arg(id)
                      : QStringLiteral(":/skin/%1.bmp").arg(id);
}

QPixmap LoadSkinBitmap(int id, qreal devicePixelRatio) {
    if (devicePixelRatio >= 1.5) {
        QPixmap big(SkinBitmapPath(id, 2));
        if (!big.isNull()) {
            big.setDevicePixelRatio(2.0);
            return big;
        }
    }
    QPixmap pixmap(SkinBitmapPath(id, 1));
    pixmap.setDevicePixelRatio(1.0);
    return pixmap;
}

QString AppIconPath(int size) { return QStringLiteral(":/icons/128-%1.png").arg(size); }

QIcon LoadAppIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(AppIconPath(size), QSize(size, size));
    }
    return icon;
}
