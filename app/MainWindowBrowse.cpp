// The main window's sound browser: the pane beside the panel, its key and
// menu item, and its section of the profile.

#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QShortcut>
#include <QStandardPaths>

#include <algorithm>

#include "app/MainWindow.h"
#include "app/ProfileStore.h"
#include "app/SoundBrowser.h"

namespace {

const QString SectionBrowser = QStringLiteral("SoundBrowser");
const QString KeyOpen = QStringLiteral("Open");
const QString KeyFolder = QStringLiteral("Folder");
const QString KeyPreview = QStringLiteral("Preview");
const QString KeyLevel = QStringLiteral("PreviewLevel");

// The pane's width beside the 640-pixel panel.
constexpr int BrowserWidth = 440;

QString RecentKey(int i) { return QString::asprintf("Recent%02d", i + 1); }

// Where a browser never used opens: the user's music, else home.
QString FirstBrowseFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QFileInfo(music).isDir()) return music;
    return QDir::homePath();
}

}  // namespace

void MainWindow::ConnectBrowser() {
    m_browseShortcut = std::make_unique<QShortcut>(QKeySequence(tr("Ctrl+B")), this);
    connect(m_browseShortcut.get(), &QShortcut::activated, this,
            [this] { SetBrowserOpen(!IsBrowserOpen()); });
}

SoundBrowser& MainWindow::EnsureBrowser() {
    if (!m_browser) {
        m_browser = std::make_unique<SoundBrowser>(m_model, m_volumes, this);
        m_browser->hide();
        // Letters typed in the browser search its lists: the pads play
        // from MIDI, and from the keyboard once the panel has the focus.
        connect(m_browser.get(), &SoundBrowser::FilesChosen, this,
                &MainWindow::PutBrowserFilesOnRows);
    }
    return *m_browser;
}

bool MainWindow::IsBrowserOpen() const { return m_browser && m_browser->isVisible(); }

void MainWindow::SetBrowserOpen(bool open) {
    if (open == IsBrowserOpen()) return;
    if (!open) {
        m_browser->StopPreview();
        m_browser->hide();
        // The panel's window exactly as it was.
        setFixedSize(m_panel.size());
        m_panel.setFocus();
        return;
    }
    SoundBrowser& browser = EnsureBrowser();
    if (browser.Folder().isEmpty()) (void)browser.SetFolder(FirstBrowseFolder());
    // The panel keeps its place; the window grows to its right.
    browser.setGeometry(m_panel.width(), 0, BrowserWidth, m_panel.height());
    setFixedSize(m_panel.width() + BrowserWidth, m_panel.height());
    browser.show();
    browser.List().setFocus();
}

void MainWindow::BrowseFolder(const QString& folder) {
    SoundBrowser& browser = EnsureBrowser();
    (void)browser.SetFolder(folder);
    SetBrowserOpen(true);
}

void MainWindow::BrowseWhenShown(const QString& folder) {
    if (m_shownOnce) {
        BrowseFolder(folder);
    } else {
        m_folderToBrowse = folder;
    }
}

void MainWindow::OnConvertFormatsChangedForBrowser() {
    if (m_browser) m_browser->Refresh();
}

void MainWindow::PutBrowserFilesOnRows(const QStringList& files) {
    // Enter in the browser: the files go on the rows from the target row.
    (void)PutFilesOnRows(files);
}

void MainWindow::LoadBrowserSettings() {
    // A profile without the section gets none: the browser was never used.
    m_browserKeyRead = !m_profile->GetProfileString(SectionBrowser, KeyOpen, QString()).isEmpty();
    if (!m_browserKeyRead) return;
    SoundBrowser& browser = EnsureBrowser();
    QStringList recent;
    for (int i = 0; i < SoundBrowser::MaxRecentFolders; ++i) {
        const QString folder = m_profile->GetProfileString(SectionBrowser, RecentKey(i), QString());
        if (!folder.isEmpty()) recent.append(folder);
    }
    browser.SetRecentFolders(recent);
    browser.SetPreviewOn(m_profile->GetProfileInt(SectionBrowser, KeyPreview, 1) != 0);
    browser.SetPreviewLevel(
        std::clamp(m_profile->GetProfileInt(SectionBrowser, KeyLevel, 100), 0, 100));
    // Listed only once the pane shows.
    (void)browser.SetFolder(m_profile->GetProfileString(SectionBrowser, KeyFolder, QString()));
    if (m_profile->GetProfileInt(SectionBrowser, KeyOpen, 0) == 1 && m_folderToBrowse.isEmpty())
        m_folderToBrowse = browser.Folder().isEmpty() ? FirstBrowseFolder() : browser.Folder();
}

void MainWindow::SaveBrowserSettings() {
    if (!m_browser && !m_browserKeyRead) return;
    const bool open = IsBrowserOpen();
    m_profile->WriteProfileInt(SectionBrowser, KeyOpen, open ? 1 : 0);
    const QString folder = m_browser ? m_browser->Folder() : QString();
    if (m_browser) {
        m_profile->WriteProfileString(SectionBrowser, KeyFolder, folder);
        m_profile->WriteProfileInt(SectionBrowser, KeyPreview, m_browser->PreviewOn() ? 1 : 0);
        m_profile->WriteProfileInt(SectionBrowser, KeyLevel, m_browser->PreviewLevel());
        const QStringList& recent = m_browser->RecentFolders();
        for (int i = 0; i < SoundBrowser::MaxRecentFolders; ++i) {
            if (i < recent.size()) {
                m_profile->WriteProfileString(SectionBrowser, RecentKey(i), recent[i]);
            } else {
                m_profile->RemoveProfileKey(SectionBrowser, RecentKey(i));
            }
        }
    }
}
