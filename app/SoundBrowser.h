#pragma once

#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>

#include <utility>
#include <vector>

#include "app/JobRunner.h"

class QCheckBox;
class QFileSystemModel;
class QHBoxLayout;
class QLineEdit;
class QListWidget;
class QSlider;
class QTreeView;
class SlotModel;
class VolumeSource;

// The list of sound files: its keys and drags are the browser's own.
class SoundList : public QTreeWidget {
    Q_OBJECT
public:
    explicit SoundList(QWidget* parent = nullptr);

    // What a drag out of the list carries besides the files' URLs, so a
    // row can tell the browser's files from a desktop drop.
    static constexpr const char* BrowserFilesFormat = "application/x-gridlume-browser-files";
    // The files' URLs and the browser's format; null for no items.
    [[nodiscard]] QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;

signals:
    void ReplayAsked();  // Right, Space
    void StopAsked();    // Left, Escape
    void EnterPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    [[nodiscard]] QStringList mimeTypes() const override;
};

// The sound browser beside the panel: places, a folder tree, the sound
// files of the folder with their shape, and a preview that plays the
// selected file as a row would make it, through the model's audition.
class SoundBrowser : public QWidget {
    Q_OBJECT
public:
    // volumes: where the mounted cards come from (null: the machine's).
    // The model must outlive the browser.
    explicit SoundBrowser(SlotModel& model, const VolumeSource* volumes = nullptr,
                          QWidget* parent = nullptr);
    ~SoundBrowser() override;

    // Shows the folder's sound files (once the pane shows) and marks it in
    // the tree; the folder joins the recent ones. False when it is no
    // folder (nothing changes then).
    bool SetFolder(const QString& folder);
    [[nodiscard]] const QString& Folder() const { return m_folder; }
    // The folders files were played or chosen from, newest first, at most
    // MaxRecentFolders.
    [[nodiscard]] const QStringList& RecentFolders() const { return m_recent; }
    void SetRecentFolders(const QStringList& folders);
    static constexpr int MaxRecentFolders = 8;

    void SetPreviewOn(bool on);
    [[nodiscard]] bool PreviewOn() const;
    // 0 ... 100, the audition's gain in percent.
    void SetPreviewLevel(int percent);
    [[nodiscard]] int PreviewLevel() const;
    // How long the selection must rest before its file plays (ms).
    void SetSettleDelay(int ms) { m_settle.setInterval(ms); }

    // Lists the folder again (conversion was turned on or off).
    void Refresh();
    // The files listed (filtered ones too), in the list's order.
    [[nodiscard]] QStringList ListedFiles() const;
    // The selected files, in the list's order.
    [[nodiscard]] QStringList SelectedFiles() const;
    // Selects the file and makes it current, as a click would.
    bool SelectFile(const QString& path);
    // Plays path now, as a row would make it, unless a later preview was
    // asked for before it was made.
    void Preview(const QString& path);
    void StopPreview();
    [[nodiscard]] SoundList& List() { return *m_list; }
    [[nodiscard]] QLineEdit& Filter() { return *m_filter; }

signals:
    // Enter in the list, with the selected files.
    void FilesChosen(const QStringList& files);
    // A preview reached the audition (playing), or was made and dropped
    // because the selection had moved on.
    void PreviewStarted(const QString& path);
    void PreviewDropped(const QString& path);
    // The folder's files are listed; every file's details are in.
    void DetailsFilled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // A folder set while hidden is listed when the pane shows.
    void showEvent(QShowEvent* event) override;

private:
    void BuildFolderPane();
    void BuildFileList();
    QHBoxLayout* BuildPreviewRow();
    void ConnectControls();
    void BuildPlaces();
    void ListCards();
    void NoteFolderUsed();
    void OnCurrentChanged();
    void ApplyFilter(const QString& text);
    void FillDetails(QTreeWidgetItem* item, const QString& path);

    SlotModel& m_model;
    const VolumeSource* m_volumes;
    QListWidget* m_places = nullptr;
    QTreeView* m_tree = nullptr;
    QFileSystemModel* m_dirs = nullptr;
    QLineEdit* m_filter = nullptr;
    SoundList* m_list = nullptr;
    QCheckBox* m_previewOn = nullptr;
    QSlider* m_level = nullptr;
    QString m_folder;
    QString m_listedFolder;  // what the list shows
    QStringList m_recent;
    std::vector<std::pair<QString, QString>> m_cards;  // name, folder
    QTimer m_settle;                                   // restarted by each move of the selection
    quint64 m_previewAsked = 0;  // counts previews asked for; only the newest plays
    quint64 m_listing = 0;       // counts listings; details of an older one are dropped
    int m_detailsPending = 0;
    // Last: its jobs end before anything they report to goes.
    JobRunner m_jobs;
};
