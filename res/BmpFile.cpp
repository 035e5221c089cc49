#include "res/BmpFile.h"

#include <cstdint>

namespace {

void PutU16(QByteArray& out, uint16_t v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
}

void PutU32(QByteArray& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.append(static_cast<char>((v >> shift) & 0xFF));
    }
}

}  // namespace

QByteArray EncodeBmp24(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const auto width = static_cast<uint32_t>(rgb.width());
    const auto height = static_cast<uint32_t>(rgb.height());
    const uint32_t stride = (width * 3 + 3) & ~3u;
    const uint32_t pixelBytes = stride * height;
    const uint32_t headerBytes = 14 + 40;

    QByteArray out;
    out.reserve(static_cast<qsizetype>(headerBytes + pixelBytes));
    out.append("BM");
    PutU32(out, headerBytes + pixelBytes);
    PutU16(out, 0);
    PutU16(out, 0);
    PutU32(out, headerBytes);
    PutU32(out, 40);
    PutU32(out, width);
    PutU32(out, height);  // positive: rows run bottom-up
    PutU16(out, 1);
    PutU16(out, 24);
    PutU32(out, 0);  // BI_RGB, uncompressed
    PutU32(out, pixelBytes);
    PutU32(out, 2835);  // 72 dpi
    PutU32(out, 2835);
    PutU32(out, 0);  // no colour table
    PutU32(out, 0);
    for (int y = rgb.height() - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            out.append(static_cast<char>(qBlue(line[x])));
            out.append(static_cast<char>(qGreen(line[x])));
            out.append(static_cast<char>(qRed(line[x])));
        }
        for (uint32_t pad = width * 3; pad < stride; ++pad) {
            out.append('\0');
        }
    }
    return out;
}
