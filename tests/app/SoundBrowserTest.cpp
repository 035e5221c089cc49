#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>

#include "AppTestSupport.h"
#include "FakeSoundDevice.h"
#include "SndfileWriter.h"
#include "app/SoundBrowser.h"
#include "app/SoundListModel.h"
#include "app/SoundPreview.h"
#include "convert/SoundSource.h"

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
        window->Browse().BrowseFolder(path);
        SoundBrowser& browser = *window->Browse().Browser();
        WaitFor([&] { return browser.List().ListedFiles().size() == 3; });
        return browser;
    }

    static void WaitFor(const std::function<bool()>& done) {
        const QDeadlineTimer deadline(apptest::WaitMs);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
};

TEST_F(BrowserTest, PaneWidensTheWindowBesideThePanelAndIsKeptInItsOwnSection) {
    Open();
    ASSERT_EQ(window->Browse().Browser(), nullptr);  // never made until used
    SoundBrowser& browser = OpenOn(folder);
    EXPECT_GT(window->width(), 640);
    EXPECT_EQ(window->height(), 640);
    EXPECT_EQ(window->Context().panel.geometry(), QRect(0, 0, 640, 640));
    EXPECT_EQ(browser.geometry().left(), 640);
    // Natural order, sound files only.
    EXPECT_EQ(browser.List().ListedFiles(),
              QStringList({folder + "/kick2.wav", folder + "/kick10.wav", folder + "/snare.wav"}));
    // A folder becomes recent once a file of it was played.
    QSignalSpy started(&browser.Preview(), &SoundPreview::Started);
    browser.Preview().Play(browser.List().ListedFiles()[0]);
    ASSERT_TRUE(started.wait(apptest::WaitMs));
    browser.SetPreviewLevel(40);
    browser.SetPreviewOn(false);

    window->Browse().SetBrowserOpen(false);
    EXPECT_EQ(window->size(), QSize(640, 640));
    window->Browse().SetBrowserOpen(true);
    window->close();
    const QByteArray ini = ReadIni();
    EXPECT_TRUE(ini.contains("[SoundBrowser]\n")) << ini.constData();

    Open();
    WaitFor([&] { return window->Browse().IsBrowserOpen(); });
    ASSERT_TRUE(window->Browse().IsBrowserOpen());
    EXPECT_EQ(window->Browse().Browser()->Folder(), folder);
    EXPECT_EQ(window->Browse().Browser()->PreviewLevel(), 40);
    EXPECT_FALSE(window->Browse().Browser()->PreviewOn());
    EXPECT_EQ(window->Browse().Browser()->RecentFolders().value(0), folder);

    // Closed at exit: the next start keeps it closed, its settings as they were.
    window->Browse().SetBrowserOpen(false);
    window->close();
    Open();
    EXPECT_FALSE(window->Browse().IsBrowserOpen());
    EXPECT_EQ(window->size(), QSize(640, 640));
    ASSERT_NE(window->Browse().Browser(), nullptr);
    EXPECT_EQ(window->Browse().Browser()->PreviewLevel(), 40);
}

TEST_F(BrowserTest, OnlyTheFileTheSelectionSettlesOnPlays) {
    Open();
    SoundBrowser& browser = OpenOn(folder);
    QStringList started;
    QObject::connect(&browser.Preview(), &SoundPreview::Started,
                     [&started](const QString& path) { started.append(path); });
    const QStringList files = browser.List().ListedFiles();

    // Asked one after the other: the first one's row is dropped unheard.
    browser.Preview().Play(files[0]);
    browser.Preview().Play(files[1]);
    // Results of one lane arrive in order: nothing older can come later.
    WaitFor([&] { return !started.isEmpty(); });
    EXPECT_EQ(started, QStringList{files[1]});
    EXPECT_GT(enginetest::SourcesStarted(), 0);

    // Arrowing through the list plays only where the keys came to rest.
    started.clear();
    browser.List().setFocus();
    browser.SelectFile(files[0]);
    QTest::keyClick(&browser.List(), Qt::Key_Down);
    QTest::keyClick(&browser.List(), Qt::Key_Down);
    WaitFor([&] { return !started.isEmpty(); });
    EXPECT_EQ(started, QStringList{files[2]});

    // A held Up: its press plays at once, its repeats (X11's release and
    // press of one instant) pass files silently, and the file where it is
    // let go plays once the hold is over.
    started.clear();
    const auto send = [&](QEvent::Type type, ulong time) {
        QKeyEvent key(type, Qt::Key_Up, Qt::NoModifier, 0, 0, 0);
        key.setTimestamp(time);
        QApplication::sendEvent(&browser.List(), &key);
    };
    send(QEvent::KeyPress, 100);
    EXPECT_TRUE(browser.List().currentIndex().row() == 1);
    WaitFor([&] { return !started.isEmpty(); });
    EXPECT_EQ(started, QStringList{files[1]});
    send(QEvent::KeyRelease, 600);
    send(QEvent::KeyPress, 600);
    EXPECT_EQ(enginetest::SourcesStarted(), 0) << "a repeat played";
    send(QEvent::KeyRelease, 700);
    WaitFor([&] { return started.size() == 2; });
    EXPECT_EQ(started, QStringList({files[1], files[0]}));

    started.clear();
    QTest::keyClick(&browser.List(), Qt::Key_Down);
    WaitFor([&] { return !started.isEmpty(); });
    // Left stops; Escape stops too and leaves the program running; Space replays.
    QTest::keyClick(&browser.List(), Qt::Key_Left);
    EXPECT_EQ(enginetest::SourcesStarted(), 0);
    QTest::keyClick(&browser.List(), Qt::Key_Space);
    WaitFor([&] { return started.size() == 2; });
    EXPECT_EQ(started.value(1), files[1]);
    QTest::keyClick(&browser.List(), Qt::Key_Escape);
    QTest::keyClick(&browser.Filter(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(enginetest::SourcesStarted(), 0);
}

TEST_F(BrowserTest, EnterHandsOnTheSelectedFilesAndADragCarriesThem) {
    Open();
    SoundBrowser& browser = OpenOn(folder);
    QSignalSpy chosen(&browser, &SoundBrowser::FilesChosen);
    browser.List().selectAll();
    QTest::keyClick(&browser.List(), Qt::Key_Return);
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen[0][0].toStringList(), browser.List().ListedFiles());
    // A held Enter's repeats put nothing more on the rows.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(&browser.List(), &repeat);
    EXPECT_EQ(chosen.size(), 1);

    // The filter hides what does not match; hidden files are not chosen.
    QTest::keyClicks(&browser.Filter(), "KICK");
    EXPECT_EQ(browser.List().SelectedFiles().size(), 2);

    const QModelIndexList items = browser.List().selectionModel()->selectedIndexes();
    const std::unique_ptr<QMimeData> data(browser.List().model()->mimeData(items));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->urls().size(), 2);
    EXPECT_TRUE(data->hasFormat(SoundList::BrowserFilesFormat));
}

// Opening plays nothing; typed letters search the list (never a pad, never
// the target row), and Enter puts the file found on the target row only.
// The filter leads on: Down into its files, Enter puts its file on the row.
TEST_F(BrowserTest, TypingSearchesTheListAndEnterFillsOnlyTheTargetRow) {
    Open();
    ASSERT_TRUE(Load(2, Wav("c.wav", 1, 4410)));  // the pad "c" would strike
    window->Fill().SetTargetRow(5);
    SoundBrowser& browser = OpenOn(folder);
    QSignalSpy started(&browser.Preview(), &SoundPreview::Started);
    QTest::qWait(200);
    EXPECT_EQ(started.count(), 0) << "opening played a file";
    EXPECT_EQ(enginetest::SourcesStarted(), 0);

    browser.List().setFocus();
    QTest::keyClicks(&browser.List(), "snare");
    EXPECT_EQ(browser.List().SelectedFiles(), QStringList{folder + "/snare.wav"});
    EXPECT_FALSE(window->Context().model.IsSlotPlaying(2)) << "a letter struck a pad";
    EXPECT_EQ(window->Fill().TargetRow(), 5);
    QTest::keyClick(&browser.List(), Qt::Key_Return);
    WaitFor([&] { return window->Context().model.IsSlotLoaded(5); });
    EXPECT_EQ(window->Context().SlotPath(5), folder + "/snare.wav");
    for (int row : {0, 1, 3, 4, 6}) EXPECT_FALSE(window->Context().model.IsSlotLoaded(row)) << row;
    EXPECT_EQ(window->Fill().TargetRow(), 6);

    browser.Filter().setFocus();
    QTest::keyClicks(&browser.Filter(), "kick1");
    QTest::keyClick(&browser.Filter(), Qt::Key_Down);
    EXPECT_TRUE(browser.List().hasFocus());
    EXPECT_EQ(browser.List().SelectedFiles(), QStringList{folder + "/kick10.wav"});
    browser.Filter().setFocus();
    QTest::keyClick(&browser.Filter(), Qt::Key_Return);
    WaitFor([&] { return window->Context().model.IsSlotLoaded(6); });
    EXPECT_EQ(window->Context().SlotPath(6), folder + "/kick10.wav");
    EXPECT_FALSE(window->Context().model.IsSlotLoaded(7));
}

// Files the strict reader refuses are listed greyed, saying how to take
// them; details are read only near the rows shown; lengths read m:ss.t.
TEST_F(BrowserTest, RefusedFilesAreListedWithTheWayToTakeThemAndDetailsComeAsShown) {
    ASSERT_TRUE(testsupport::WriteSoundFile(dir.file("kit/loop.flac"),
                                            SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 1,
                                            std::vector<float>(4410, 0.25f)));
    for (int i = 0; i < 300; ++i) Wav("kit/z" + std::to_string(1000 + i) + ".wav", 1, 441);
    Open();
    window->Browse().BrowseFolder(folder);
    SoundBrowser& browser = *window->Browse().Browser();
    QSignalSpy filled(&browser, &SoundBrowser::DetailsFilled);
    WaitFor([&] { return browser.List().ListedFiles().size() == 304 && filled.count() > 0; });
    ASSERT_EQ(browser.List().ListedFiles().value(2), folder + "/loop.flac");
    QAbstractItemModel& files = *browser.List().model();
    WaitFor([&] { return !files.index(2, 0).data(Qt::ToolTipRole).toString().endsWith("flac"); });
    EXPECT_TRUE(
        files.index(2, 0).data(Qt::ToolTipRole).toString().contains("\"Convert other formats\""))
        << files.index(2, 0).data(Qt::ToolTipRole).toString().toStdString();
    EXPECT_TRUE(files.index(2, 0).data(Qt::ForegroundRole).isValid());  // greyed
    EXPECT_EQ(files.index(0, 1).data().toString(), "0:00.1");
    EXPECT_TRUE(files.index(303, 1).data().toString().isEmpty()) << "a row far off was read";
    browser.List().scrollToBottom();
    WaitFor([&] { return !files.index(303, 1).data().toString().isEmpty(); });
    EXPECT_EQ(files.index(303, 1).data().toString(), "0:00.0");

    SourceInfo info;
    info.sampleRate = 44100;
    info.frames = 44100LL * 1800;
    EXPECT_EQ(SoundLengthText(info), "30:00.0");
    info.frames = 44100LL * 5996 / 100;  // 59.96 s
    EXPECT_EQ(SoundLengthText(info), "1:00.0");
}

}  // namespace
