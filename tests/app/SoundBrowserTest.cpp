#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>

#include "AppTestSupport.h"
#include "app/SoundBrowser.h"

namespace {

using apptest::WindowTest;

class BrowserTest : public WindowTest {
protected:
    QString folder;

    void SetUp() override {
        folder = QString::fromStdString(dir.file("kit"));
        ASSERT_TRUE(QDir().mkpath(folder));
        for (const char* name : {"kick10.wav", "kick2.wav", "snare.wav", "notes.txt"})
            Wav(std::string("kit/") + name, 1, 4410);
    }

    SoundBrowser& OpenOn(const QString& path) {
        window->BrowseFolder(path);
        SoundBrowser& browser = *window->Browser();
        WaitFor([&] { return browser.ListedFiles().size() == 3; });
        return browser;
    }

    static void WaitFor(const std::function<bool()>& done) {
        const QDeadlineTimer deadline(10000);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
};

TEST_F(BrowserTest, PaneWidensTheWindowBesideThePanelAndIsKeptInItsOwnSection) {
    Open();
    ASSERT_EQ(window->Browser(), nullptr);  // never made until used
    SoundBrowser& browser = OpenOn(folder);
    EXPECT_GT(window->width(), 640);
    EXPECT_EQ(window->height(), 640);
    EXPECT_EQ(window->Panel().geometry(), QRect(0, 0, 640, 640));
    EXPECT_EQ(browser.geometry().left(), 640);
    // Natural order, sound files only.
    EXPECT_EQ(browser.ListedFiles(),
              QStringList({folder + "/kick2.wav", folder + "/kick10.wav", folder + "/snare.wav"}));
    // A folder becomes recent once a file of it was played.
    QSignalSpy started(&browser, &SoundBrowser::PreviewStarted);
    browser.Preview(browser.ListedFiles()[0]);
    ASSERT_TRUE(started.wait(10000));
    browser.SetPreviewLevel(40);
    browser.SetPreviewOn(false);

    window->SetBrowserOpen(false);
    EXPECT_EQ(window->size(), QSize(640, 640));
    window->SetBrowserOpen(true);
    window->close();
    const QByteArray ini = ReadIni();
    EXPECT_TRUE(ini.contains("[SoundBrowser]\n")) << ini.constData();

    Open();
    WaitFor([&] { return window->IsBrowserOpen(); });
    ASSERT_TRUE(window->IsBrowserOpen());
    EXPECT_EQ(window->Browser()->Folder(), folder);
    EXPECT_EQ(window->Browser()->PreviewLevel(), 40);
    EXPECT_FALSE(window->Browser()->PreviewOn());
    EXPECT_EQ(window->Browser()->RecentFolders().value(0), folder);

    // Closed at exit: the next start keeps it closed, its settings as they were.
    window->SetBrowserOpen(false);
    window->close();
    Open();
    EXPECT_FALSE(window->IsBrowserOpen());
    EXPECT_EQ(window->size(), QSize(640, 640));
    ASSERT_NE(window->Browser(), nullptr);
    EXPECT_EQ(window->Browser()->PreviewLevel(), 40);
}

TEST_F(BrowserTest, OnlyTheFileTheSelectionSettlesOnPlays) {
    Open();
    SoundBrowser& browser = OpenOn(folder);
    browser.StopPreview();  // whatever the list's first focus selected
    QStringList started;
    QObject::connect(&browser, &SoundBrowser::PreviewStarted,
                     [&started](const QString& path) { started.append(path); });
    const QStringList files = browser.ListedFiles();

    // Asked one after the other: the first one's row is dropped unheard.
    browser.Preview(files[0]);
    browser.Preview(files[1]);
    // Results of one lane arrive in order: nothing older can come later.
    WaitFor([&] { return !started.isEmpty(); });
    EXPECT_EQ(started, QStringList{files[1]});
    EXPECT_TRUE(window->Model().IsAuditionPlaying());

    // Arrowing through the list plays only where the keys came to rest.
    started.clear();
    browser.List().setFocus();
    browser.SelectFile(files[0]);
    QTest::keyClick(&browser.List(), Qt::Key_Down);
    QTest::keyClick(&browser.List(), Qt::Key_Down);
    WaitFor([&] { return !started.isEmpty(); });
    EXPECT_EQ(started, QStringList{files[2]});

    // Left stops; Escape stops too and leaves the program running; Space replays.
    QTest::keyClick(&browser.List(), Qt::Key_Left);
    EXPECT_FALSE(window->Model().IsAuditionPlaying());
    QTest::keyClick(&browser.List(), Qt::Key_Space);
    WaitFor([&] { return started.size() == 2; });
    EXPECT_EQ(started.value(1), files[2]);
    QTest::keyClick(&browser.List(), Qt::Key_Escape);
    QTest::keyClick(&browser.Filter(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->Model().IsAuditionPlaying());
}

TEST_F(BrowserTest, EnterHandsOnTheSelectedFilesAndADragCarriesThem) {
    Open();
    SoundBrowser& browser = OpenOn(folder);
    QSignalSpy chosen(&browser, &SoundBrowser::FilesChosen);
    browser.List().selectAll();
    QTest::keyClick(&browser.List(), Qt::Key_Return);
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen[0][0].toStringList(), browser.ListedFiles());
    // A held Enter's repeats put nothing more on the rows.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(&browser.List(), &repeat);
    EXPECT_EQ(chosen.size(), 1);

    // The filter hides what does not match; hidden files are not chosen.
    QTest::keyClicks(&browser.Filter(), "KICK");
    EXPECT_EQ(browser.SelectedFiles().size(), 2);

    QList<QTreeWidgetItem*> items;
    for (int i = 0; i < 2; ++i) items.append(browser.List().topLevelItem(i));
    const std::unique_ptr<QMimeData> data(browser.List().mimeData(items));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->urls().size(), 2);
    EXPECT_TRUE(data->hasFormat(SoundList::BrowserFilesFormat));
}

}  // namespace
