// Build-time art program: renders every skin bitmap (at scale 1 and 2) as a
// 24-bit BMP and the application icon in its sizes as PNG into one folder,
// which the build then compiles in as Qt resources.
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

#include "res/BmpFile.h"
#include "res/SkinArt.h"
#include "res/SkinIds.h"

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    return file.write(bytes) == bytes.size() && file.flush();
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: glw-skinart OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "glw-skinart: cannot make %s\n", argv[1]);
        return 1;
    }
    for (const int id : SkinBitmapIds()) {
        for (const int scale : {1, 2}) {
            const QString name =
                scale == 1 ? QStringLiteral("%1.bmp").arg(id) : QStringLiteral("%1@2x.bmp").arg(id);
            if (!WriteFile(out.filePath(name), EncodeBmp24(RenderSkinArt(id, scale)))) {
                std::fprintf(stderr, "glw-skinart: cannot write %s\n", qPrintable(name));
                return 1;
            }
        }
    }
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString name = out.filePath(QStringLiteral("128-%1.png").arg(size));
        if (!RenderAppIcon(size).save(name, "PNG")) {
            std::fprintf(stderr, "glw-skinart: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}
