// The single-copy lock and socket, against a hostile runtime folder and
// hostile local programs.

#include <gtest/gtest.h>

#include <QDir>
#include <QLocalSocket>
#include <QTest>

#include "SoundFileWriter.h"
#include "app/SingleInstance.h"

namespace {

// Never a silent exit: a lock that cannot be made runs the copy alone with
// the reason, a socket path too long for a local socket is a reason too.
TEST(SingleInstance, ALockThatCannotBeMadeOrASocketTooLongIsAReason) {
    testsupport::TempDir dir;
    const QString root = QString::fromStdString(dir.path());
    ASSERT_TRUE(QDir(root).mkpath("held/x.lock"));
    SingleInstance folder(root + "/held", "x");
    EXPECT_EQ(folder.TryBecomeFirst(), SingleInstance::Role::Alone);
    EXPECT_TRUE(folder.LockProblem().contains("not a file"));

    const QString deep = root + "/" + QString(110, QLatin1Char('r'));
    ASSERT_TRUE(QDir(deep).mkpath("."));
    SingleInstance first(deep, "x");
    EXPECT_EQ(first.TryBecomeFirst(), SingleInstance::Role::First);
    EXPECT_TRUE(first.ListenProblem().contains("longer than"))
        << first.ListenProblem().toStdString();
    SingleInstance later(deep, "x");
    EXPECT_EQ(later.TryBecomeFirst(), SingleInstance::Role::Later);
    EXPECT_FALSE(later.AskFirstToComeForward(QString(), 500));
}

// A connection that sends nothing is closed after a short while.
TEST(SingleInstance, AnIdleConnectionIsClosed) {
    testsupport::TempDir dir;
    SingleInstance first(QString::fromStdString(dir.path()), "x");
    ASSERT_EQ(first.TryBecomeFirst(), SingleInstance::Role::First);
    QLocalSocket idle;
    idle.connectToServer(first.SocketPath());
    ASSERT_TRUE(idle.waitForConnected(2000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return idle.state() == QLocalSocket::UnconnectedState; }, 10000));
}

// A later copy's bank is opened, or else its folder browsed; a bank wins.
TEST(SingleInstance, ALaterCopyHandsOnABankOrAFolderToBrowse) {
    testsupport::TempDir dir;
    SingleInstance first(QString::fromStdString(dir.path()), "x");
    ASSERT_EQ(first.TryBecomeFirst(), SingleInstance::Role::First);
    QStringList banks, folders;
    QObject::connect(&first, &SingleInstance::OpenBankRequested,
                     [&banks](const QString& path) { banks.append(path); });
    QObject::connect(&first, &SingleInstance::BrowseRequested,
                     [&folders](const QString& path) { folders.append(path); });
    SingleInstance later(QString::fromStdString(dir.path()), "x");
    ASSERT_TRUE(later.AskFirstToComeForward(QString(), 2000, QString(), "/kits/a b,%"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !folders.isEmpty(); }, 10000));
    EXPECT_EQ(folders, QStringList{"/kits/a b,%"});
    ASSERT_TRUE(later.AskFirstToComeForward(QString(), 2000, "/b/K.glw", "/kits"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !banks.isEmpty(); }, 10000));
    EXPECT_EQ(banks, QStringList{"/b/K.glw"});
    EXPECT_EQ(folders.size(), 1);
}

}  // namespace
