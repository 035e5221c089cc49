#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include "app/BrowserPlaces.h"
#include "app/SoundList.h"
#include "jobs/JobRunner.h"

class FolderTree;
class QLineEdit;
class QTreeView;
class SlotModel;
class SoundFilterEdit;
class SoundFolderReader;
class SoundPreview;
class VolumeSource;

// The sound browser beside the panel: places (BrowserPlaces), a folder
// tree (FolderTree), a filter (SoundFilterEdit) and the sound files of the
// folder with their details (SoundList, filled by a SoundFolderReader), and
// a preview (SoundPreview) that plays the selected file as a row would make
// it, through the model's audition. The browser ties them together: which
// folder is shown, which moves of the list play, and what Enter chooses.
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
    [[nodiscard]] const QStringList& RecentFolders() const;
    void SetRecentFolders(const QStringList& folders);
    static constexpr int MaxRecentFolders = BrowserPlaces::MaxRecentFolders;

    void SetPreviewOn(bool on);
    [[nodiscard]] bool PreviewOn() const;
    // 0 ... 100, the audition's gain in percent.
    void SetPreviewLevel(int percent);
    [[nodiscard]] int PreviewLevel() const;

    // Lists the folder again (conversion was turned on or off).
    void Refresh();
    // Selects the file and makes it current, as a click would (its file
    // plays when preview is on).
    bool SelectFile(const QString& path);
    void StopPreview();
    [[nodiscard]] SoundList& List() { return *m_list; }
    [[nodiscard]] QTreeView& Tree();
    [[nodiscard]] QLineEdit& Filter();
    [[nodiscard]] SoundPreview& Preview() { return *m_preview; }

signals:
    // Enter in the list or the filter, with the selected files.
    void FilesChosen(const QStringList& files);
    // The folder's files are listed; the details of the rows shown (and
    // of a page either side) are in. Details are read only for those.
    void DetailsFilled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // A folder set while hidden is listed when the pane shows.
    void showEvent(QShowEvent* event) override;

private:
    void ConnectControls();
    // Which moves of the list's current row play.
    void OnCurrentChanged();
    // Plays the current file (when there is one and preview is on).
    void PlayCurrent();
    void Choose(const QStringList& files);

    SlotModel& m_model;
    BrowserPlaces* m_places = nullptr;
    FolderTree* m_tree = nullptr;
    SoundList* m_list = nullptr;
    SoundFilterEdit* m_filter = nullptr;
    SoundFolderReader* m_reader = nullptr;
    SoundPreview* m_preview = nullptr;
    QString m_folder;
    QString m_listedFolder;  // what the list shows
    // Last: its jobs end before anything they report to goes.
    JobRunner m_jobs;
};
