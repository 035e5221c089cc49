// The sound browser's glue: the pane beside the panel, its key and menu
// item, and its section of the profile.

#include "app/BrowseController.h"

#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QShortcut>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>

#include "app/ProfileStore.h"
#include "app/SoundBrowser.h"
#include "app/WindowContext.h"
#include "controls/SlotPanel.h"

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

BrowseController::BrowseController(WindowContext& context, QObject* parent)
    : QObject(parent), m_context(context) {
    m_browseShortcut = std::make_unique<QShortcut>(QKeySequence(tr("Ctrl+B")), &context.window);
    connect(m_browseShortcut.get(), &QShortcut::activated, this,
            [this] { SetBrowserOpen(!IsBrowserOpen()); });
}

BrowseController::~BrowseController() { m_context.browser = nullptr; }

QKeySequence BrowseController::ShortcutKey() const { return m_browseShortcut->key(); }

SoundBrowser& BrowseController::EnsureBrowser() {
    if (!m_browser) {
        m_browser =
            std::make_unique<SoundBrowser>(m_context.model, m_context.volumes, &m_context.window);
        m_browser->hide();
        m_context.browser = m_browser.get();
        // Letters typed in the browser search its lists: the pads play
        // from MIDI, and from the keyboard once the panel has the focus.
        connect(m_browser.get(), &SoundBrowser::FilesChosen, this, &BrowseController::FilesChosen);
    }
    return *m_browser;
}

bool BrowseController::IsBrowserOpen() const { return m_browser && m_browser->isVisible(); }

void BrowseController::SetBrowserOpen(bool open) {
    if (open == IsBrowserOpen()) return;
    QWidget& window = m_context.window;
    SlotPanel& panel = m_context.panel;
    if (!open) {
        m_browser->StopPreview();
        m_browser->hide();
        // The panel's window exactly as it was.
        window.setFixedSize(panel.size());
        panel.setFocus();
        return;
    }
    SoundBrowser& browser = EnsureBrowser();
    if (browser.Folder().isEmpty()) (void)browser.SetFolder(FirstBrowseFolder());
    // The panel keeps its place; the window grows to its right.
    browser.setGeometry(panel.width(), 0, BrowserWidth, panel.height());
    window.setFixedSize(panel.width() + BrowserWidth, panel.height());
    browser.show();
    browser.List().setFocus();
}

void BrowseController::BrowseFolder(const QString& folder) {
    SoundBrowser& browser = EnsureBrowser();
    (void)browser.SetFolder(folder);
    SetBrowserOpen(true);
}

void BrowseController::BrowseWhenShown(const QString& folder) {
    if (m_shown) {
        BrowseFolder(folder);
    } else {
        m_folderToBrowse = folder;
    }
}

void BrowseController::OnShown() {
    m_shown = true;
    if (!m_folderToBrowse.isEmpty()) BrowseFolder(m_folderToBrowse);
}

void BrowseController::Refresh() {
    if (m_browser) m_browser->Refresh();
}

void BrowseController::LoadSettings(ProfileStore& profile) {
    // A profile without the section gets none: the browser was never used.
    m_browserKeyRead = !profile.GetProfileString(SectionBrowser, KeyOpen, QString()).isEmpty();
    if (!m_browserKeyRead) return;
    SoundBrowser& browser = EnsureBrowser();
    QStringList recent;
    for (int i = 0; i < SoundBrowser::MaxRecentFolders; ++i) {
        const QString folder = profile.GetProfileString(SectionBrowser, RecentKey(i), QString());
        if (!folder.isEmpty()) recent.append(folder);
    }
    browser.SetRecentFolders(recent);
    browser.SetPreviewOn(profile.GetProfileInt(SectionBrowser, KeyPreview, 1) != 0);
    browser.SetPreviewLevel(
        std::clamp(profile.GetProfileInt(SectionBrowser, KeyLevel, 100), 0, 100));
    // Listed only once the pane shows.
    (void)browser.SetFolder(profile.GetProfileString(SectionBrowser, KeyFolder, QString()));
    if (profile.GetProfileInt(SectionBrowser, KeyOpen, 0) == 1 && m_folderToBrowse.isEmpty())
        m_folderToBrowse = browser.Folder().isEmpty() ? FirstBrowseFolder() : browser.Folder();
}

void BrowseController::SaveSettings(ProfileStore& profile) {
    if (!m_browser && !m_browserKeyRead) return;
    const bool open = IsBrowserOpen();
    profile.WriteProfileInt(SectionBrowser, KeyOpen, open ? 1 : 0);
    const QString folder = m_browser ? m_browser->Folder() : QString();
    if (m_browser) {
        profile.WriteProfileString(SectionBrowser, KeyFolder, folder);
        profile.WriteProfileInt(SectionBrowser, KeyPreview, m_browser->PreviewOn() ? 1 : 0);
        profile.WriteProfileInt(SectionBrowser, KeyLevel, m_browser->PreviewLevel());
        const QStringList& recent = m_browser->RecentFolders();
        for (int i = 0; i < SoundBrowser::MaxRecentFolders; ++i) {
            if (i < recent.size()) {
                profile.WriteProfileString(SectionBrowser, RecentKey(i), recent[i]);
            } else {
                profile.RemoveProfileKey(SectionBrowser, RecentKey(i));
            }
        }
    }
}
