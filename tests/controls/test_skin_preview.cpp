#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "res/SkinLayout.h"

// The preview shows a fresh start: every row empty, Save disabled.
TEST(SkinPreview, ShowsTheEmptyPanelWithEachColourInPlace) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("panel.png"));
    QProcess preview;
    preview.start(QStringLiteral(GLW_SKIN_PREVIEW), {out});
    ASSERT_TRUE(preview.waitForFinished(30000));
    ASSERT_EQ(preview.exitCode(), 0) << preview.readAllStandardError().toStdString();
    const QImage panel = QImage(out).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(panel.size(), QSize(640, 640));

    EXPECT_EQ(panel.pixel(5, 320), qRgb(228, 230, 228));
    for (int slot = 0; slot < SkinSlotCount; ++slot) {
        SCOPED_TRACE(slot);
        const QRect label = SkinLabelRect(slot);
        EXPECT_EQ(panel.pixel(label.left(), label.top()), qRgb(236, 238, 236));
        EXPECT_EQ(panel.pixel(label.right(), label.bottom()), qRgb(236, 238, 236));
        const QRect load = SkinLoadButtonRect(slot);
        EXPECT_EQ(panel.pixel(load.left() + 12, load.top() + 5), qRgb(255, 255, 0));
        for (const QRect& off : {SkinClearButtonRect(slot), SkinPlayButtonRect(slot)}) {
            EXPECT_EQ(panel.pixel(off.left() + 12, off.top() + 5), qRgb(252, 254, 252));
            EXPECT_EQ(panel.pixel(off.left() + 12, off.top() + 2), qRgb(236, 238, 236));
        }
    }
    const QRect save = SkinSaveButtonRect();
    EXPECT_EQ(panel.pixel(save.left() + 7, save.center().y()), qRgb(252, 254, 252));
    const QRect close = SkinCloseButtonRect();
    EXPECT_EQ(panel.pixel(close.left() + 7, close.center().y()), qRgb(255, 255, 0));
}
