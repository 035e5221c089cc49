#pragma once

#include <QByteArray>
#include <QImage>

// Encodes an image as a 24-bit uncompressed bottom-up BMP with the 40-byte
// information header and no colour table; rows padded to 4 bytes.
// Returns an empty array for a null image.
[[nodiscard]] QByteArray EncodeBmp24(const QImage& image);
