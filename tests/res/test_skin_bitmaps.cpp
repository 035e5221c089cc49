#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>

#include "res/SkinLayout.h"
#include "res/SkinResources.h"

namespace {

uint32_t U32(const QByteArray& b, int at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

uint16_t U16(const QByteArray& b, int at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}

QSize ExpectedSize(int id) {
    if (id == 149) return {640, 640};
    if (id == 130 || id == 132 || id == 138) return {58, 25};
    if (id == 137 || id == 139 || id == 140 || id == 170) return {100, 39};
    return {25, 25};
}

QByteArray ReadResource(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage Bitmap(int id) { return QImage(SkinBitmapPath(id)).convertToFormat(QImage::Format_RGB32); }

const QRgb Yellow = qRgb(255, 255, 0);
const QRgb Orange = qRgb(255, 159, 0);
const QRgb Gold = qRgb(255, 218, 0);
const QRgb NearWhite = qRgb(252, 254, 252);
const QRgb BadgeRing = qRgb(236, 238, 236);
const QRgb PlateRing = qRgb(204, 206, 204);
const QRgb BadgeCorner = qRgb(212, 214, 212);
const QRgb PlateCorner = qRgb(228, 230, 228);

struct Look {
    QRgb face;
    QRgb ring;
};

}  // namespace

TEST(SkinBitmaps, EveryIdIsA24BitBottomUpBmpOfItsSizeAtBothScales) {
    ASSERT_EQ(SkinBitmapIds().size(), 17 + 48);
    for (const int id : SkinBitmapIds()) {
        for (const int scale : {1, 2}) {
            SCOPED_TRACE(QStringLiteral("id %1 scale %2").arg(id).arg(scale).toStdString());
            const QByteArray b = ReadResource(SkinBitmapPath(id, scale));
            ASSERT_GE(b.size(), 54);
            const QSize size = ExpectedSize(id) * scale;
            const uint32_t stride = (static_cast<uint32_t>(size.width()) * 3 + 3) & ~3u;
            EXPECT_EQ(b.left(2), QByteArray("BM"));
            EXPECT_EQ(U32(b, 2), static_cast<uint32_t>(b.size()));
            EXPECT_EQ(U32(b, 10), 54u);  // no colour table
            EXPECT_EQ(U32(b, 14), 40u);
            EXPECT_EQ(U32(b, 18), static_cast<uint32_t>(size.width()));
            EXPECT_EQ(U32(b, 22), static_cast<uint32_t>(size.height()));  // positive: bottom-up
            EXPECT_EQ(U16(b, 26), 1);
            EXPECT_EQ(U16(b, 28), 24);
            EXPECT_EQ(U32(b, 30), 0u);  // uncompressed
            EXPECT_EQ(U32(b, 46), 0u);
            EXPECT_EQ(static_cast<uint32_t>(b.size()),
                      54 + stride * static_cast<uint32_t>(size.height()));
            const QPixmap pixmap = LoadSkinBitmap(id, scale);
            ASSERT_FALSE(pixmap.isNull());
            EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), ExpectedSize(id));
        }
    }
    EXPECT_TRUE(LoadSkinBitmap(131).isNull());
    EXPECT_TRUE(LoadSkinBitmap(219).isNull());
}

TEST(SkinBitmaps, BadgesCarryTheColoursOfTheirLook) {
    std::map<int, Look> looks{
        {134, {Yellow, BadgeRing}},    {142, {Orange, Yellow}},    {143, {Yellow, Gold}},
        {146, {NearWhite, BadgeRing}}, {135, {Yellow, BadgeRing}}, {144, {Orange, Yellow}},
        {163, {Yellow, Gold}},         {148, {Orange, Yellow}},    {147, {NearWhite, BadgeRing}},
    };
    for (int slot = 0; slot < 16; ++slot) {
        looks[187 + slot] = {Yellow, BadgeRing};
        looks[171 + slot] = {Orange, Yellow};
        looks[203 + slot] = {Yellow, Gold};
    }
    for (const auto& [id, look] : looks) {
        SCOPED_TRACE(id);
        const QImage image = Bitmap(id);
        EXPECT_EQ(image.pixel(0, 0), BadgeCorner);
        EXPECT_EQ(image.pixel(24, 24), BadgeCorner);
        EXPECT_EQ(image.pixel(12, 5), look.face);  // above the glyph
        EXPECT_EQ(image.pixel(12, 2), look.ring);
        EXPECT_EQ(image.pixel(2, 12), look.ring);
        int ink = 0;  // a black glyph sits in the middle
        for (int y = 7; y < 18; ++y) {
            for (int x = 7; x < 18; ++x) {
                ink += qGray(image.pixel(x, y)) < 80 ? 1 : 0;
            }
        }
        EXPECT_GT(ink, 12);
    }
}

TEST(SkinBitmaps, PlatesCarryTheColoursOfTheirLook) {
    const std::map<int, Look> looks{
        {132, {Yellow, PlateRing}},    {138, {Orange, Yellow}}, {130, {Yellow, Gold}},
        {137, {Yellow, PlateRing}},    {139, {Orange, Yellow}}, {140, {Yellow, Gold}},
        {170, {NearWhite, PlateRing}},
    };
    for (const auto& [id, look] : looks) {
        SCOPED_TRACE(id);
        const QImage image = Bitmap(id);
        const int mid = image.height() / 2;
        EXPECT_EQ(image.pixel(0, 0), PlateCorner);
        EXPECT_EQ(image.pixel(image.width() - 1, image.height() - 1), PlateCorner);
        EXPECT_EQ(image.pixel(7, mid), look.face);
        EXPECT_EQ(image.pixel(2, mid), look.ring);
        EXPECT_EQ(image.pixel(image.width() - 3, mid), look.ring);
    }
}

TEST(SkinBitmaps, BackgroundShowsFieldsAndBadgesWhereTheControlsGo) {
    const QImage bg = Bitmap(BmpBackground);
    ASSERT_EQ(bg.size(), QSize(640, 640));
    EXPECT_EQ(bg.pixel(5, 320), PlateCorner);  // the panel face
    EXPECT_EQ(bg.pixel(634, 320), PlateCorner);
    for (int slot = 0; slot < SkinSlotCount; ++slot) {
        SCOPED_TRACE(slot);
        const QRect label = SkinLabelRect(slot);
        for (int y = label.top(); y <= label.bottom(); ++y) {
            for (int x = label.left(); x <= label.right(); ++x) {
                ASSERT_EQ(bg.pixel(x, y), qRgb(236, 238, 236)) << x << "," << y;
            }
        }
        for (const QRect& badge :
             {SkinLoadButtonRect(slot), SkinClearButtonRect(slot), SkinPlayButtonRect(slot)}) {
            EXPECT_EQ(bg.pixel(badge.left() + 12, badge.top() + 5), Yellow);
            EXPECT_EQ(bg.pixel(badge.left() + 12, badge.top() + 2), BadgeRing);
            EXPECT_EQ(bg.pixel(badge.left(), badge.top()), BadgeCorner);
        }
    }
    // The plates lie exactly under the Close and Save buttons.
    const QImage exitPlate = Bitmap(BmpCloseNormal);
    const QImage savePlate = Bitmap(BmpSaveNormal);
    EXPECT_EQ(bg.copy(SkinCloseButtonRect()), exitPlate);
    EXPECT_EQ(bg.copy(SkinSaveButtonRect()), savePlate);
}

TEST(SkinBitmaps, DoubleSizeArtIsChosenForHighDensityScreens) {
    const QPixmap sharp = LoadSkinBitmap(BmpBackground, 2.0);
    EXPECT_EQ(sharp.width(), 1280);
    EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_DOUBLE_EQ(LoadSkinBitmap(BmpBackground, 1.25).devicePixelRatio(), 1.0);
}

TEST(SkinBitmaps, AppIconHasEverySize) {
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QImage image(AppIconPath(size));
        EXPECT_EQ(image.size(), QSize(size, size)) << size;
    }
    EXPECT_FALSE(LoadAppIcon().isNull());
}
