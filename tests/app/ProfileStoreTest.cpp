#include "app/ProfileStore.h"

#include <gtest/gtest.h>

#include <QFile>

#include "SoundFileWriter.h"

namespace {

TEST(ProfileStore, IntegersReadLikeAHandEditedProfile) {
    EXPECT_EQ(ParseProfileInt("12", 0), 12);
    EXPECT_EQ(ParseProfileInt(" -40 ", 0), -40);
    EXPECT_EQ(ParseProfileInt("+7", 0), 7);
    EXPECT_EQ(ParseProfileInt("25px", 0), 25);
    EXPECT_EQ(ParseProfileInt("", 3), 3);
    EXPECT_EQ(ParseProfileInt("x1", 3), 3);
    EXPECT_EQ(ParseProfileInt("-", 3), 3);
    EXPECT_EQ(ParseProfileInt("99999999999", 3), 3);
}

TEST(ProfileStore, MissingKeysGiveTheDefaults) {
    testsupport::TempDir dir;
    IniProfileStore store(QString::fromStdString(dir.file("none.ini")));
    EXPECT_EQ(store.GetProfileInt("WindowInfo", "PosX", 0), 0);
    EXPECT_EQ(store.GetProfileString("LoadVolumeInfo", "Volume", QString()), QString());
}

TEST(ProfileStore, HandEditedValuesAreReadAsWritten) {
    testsupport::TempDir dir;
    const QString path = QString::fromStdString(dir.file("hand.ini"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "[WindowInfo]\nPosX=-30\nPosY=abc\n[FilePathInfo]\nFile01=/home/u/a,b.wav\nFile02=\n");
    file.close();
    IniProfileStore store(path);
    EXPECT_EQ(store.GetProfileInt("WindowInfo", "PosX", 0), -30);
    EXPECT_EQ(store.GetProfileInt("WindowInfo", "PosY", 5), 5);
    // An unquoted comma must not split or lose the path.
    EXPECT_EQ(store.GetProfileString("FilePathInfo", "File01", QString()), "/home/u/a,b.wav");
    EXPECT_EQ(store.GetProfileString("FilePathInfo", "File02", "x"), "");
}

TEST(ProfileStore, EmptyStringsAreStoredAsEmptyValues) {
    testsupport::TempDir dir;
    const QString path = QString::fromStdString(dir.file("p.ini"));
    {
        IniProfileStore store(path);
        store.WriteProfileString("FilePathInfo", "File01", QString());
        store.WriteProfileInt("WindowInfo", "PosX", -5);
        EXPECT_TRUE(store.Flush());
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("File01=\n")) << text.constData();
    EXPECT_TRUE(text.contains("PosX=-5")) << text.constData();
}

}  // namespace
