#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class ProfileStore;
class QShortcut;
class SoundBrowser;
class WindowContext;

// The sound browser's glue: a pane beside the panel that widens the window
// while it is open; Ctrl+B and "Browse sounds..." open and close it. Kept
// in the profile's own section once it was used.
class BrowseController : public QObject {
    Q_OBJECT
public:
    explicit BrowseController(WindowContext& context, QObject* parent = nullptr);
    ~BrowseController() override;

    void SetBrowserOpen(bool open);
    [[nodiscard]] bool IsBrowserOpen() const;
    // Opens the browser on folder (once shown, for the command line's
    // --browse); the folder is kept when it cannot be shown.
    void BrowseFolder(const QString& folder);
    void BrowseWhenShown(const QString& folder);
    // The window was shown for the first time.
    void OnShown();
    // Null until the browser was first opened or restored.
    [[nodiscard]] SoundBrowser* Browser() { return m_browser.get(); }
    [[nodiscard]] QKeySequence ShortcutKey() const;
    // The browser lists what the rows take: again when conversion changes.
    void Refresh();

    // The browser's section of the profile.
    void LoadSettings(ProfileStore& profile);
    void SaveSettings(ProfileStore& profile);

signals:
    // Enter in the browser: these files go on the rows.
    void FilesChosen(const QStringList& files);

private:
    SoundBrowser& EnsureBrowser();

    WindowContext& m_context;
    // Made when first used; its section is written only then, or when the
    // profile held it.
    std::unique_ptr<SoundBrowser> m_browser;
    std::unique_ptr<QShortcut> m_browseShortcut;
    bool m_browserKeyRead = false;
    bool m_shown = false;
    QString m_folderToBrowse;  // opened once shown
};
