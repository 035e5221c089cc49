#pragma once

#include <QStringList>
#include <QTimer>
#include <QTreeView>
#include <QWidget>

#include <utility>
#include <vector>

#include "app/JobRunner.h"
#include "controls/RepeatedKeyFilter.h"

class QCheckBox;
class QFileSystemModel;
class QHBoxLayout;
class QLineEdit;
class QListWidget;
class QSlider;
class SlotModel;
class SoundListModel;
struct SourceInfo;
class VolumeSource;

// A sound's length as the list shows it: minutes, seconds and tenths
// ("30:00.0"); empty for no rate.
[[nodiscard]] QString SoundLengthText(const SourceInfo& info);

// The list of sound files: its keys and drags are the browser's own.
// Letters and digits search the names as in any file list.
class SoundList : public QTreeView {
    Q_OBJECT
public:
    explicit SoundList(QWidget* parent = nullptr);

    // What a drag out of the list carries besides the files' URLs, so a
    // row can tell the browser's files from a desktop drop.
    static constexpr const char* BrowserFilesFormat = "application/x-gridlume-browser-files";

    // What moved the current row, while it moves.
    enum class Move {
        None,    // the program (a listing, the focus arriving)
        Fresh,   // a fresh press of a moving key, or a click
        Repeat,  // a held moving key's repeat
        Typing,  // a letter of the type-ahead search
    };
    [[nodiscard]] Move CurrentMove() const { return m_move; }
    // How long a released moving key waits for the repeat's press of the
    // same instant before the hold counts as over (X11 repeats come as a
    // release and a press with one timestamp).
    static constexpr int HoldEndGraceMs = 10;

signals:
    void ReplayAsked();  // Right, Space
    void StopAsked();    // Left, Escape
    void EnterPressed();
    // A moving key held down (its repeats moved the current row) was let go.
    void HoldEnded();
    // The rows shown changed (scrolled, resized).
    void ViewMoved();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Move m_move = Move::None;
    bool m_heldRepeated = false;
    KeyRepeats m_repeats;  // of the moving keys
    QTimer m_holdEnd;
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
    // How long the selection must rest, after type-ahead letters, before
    // its file plays (ms).
    void SetSettleDelay(int ms) { m_settle.setInterval(ms); }

    // Lists the folder again (conversion was turned on or off).
    void Refresh();
    // The files listed (filtered ones too), in the list's order.
    [[nodiscard]] QStringList ListedFiles() const;
    // The selected files, in the list's order.
    [[nodiscard]] QStringList SelectedFiles() const;
    // Selects the file and makes it current, as a click would (its file
    // plays when preview is on).
    bool SelectFile(const QString& path);
    // Plays path now, as a row would make it, unless a later preview was
    // asked for before it was made.
    void Preview(const QString& path);
    void StopPreview();
    [[nodiscard]] SoundList& List() { return *m_list; }
    [[nodiscard]] QTreeView& Tree() { return *m_tree; }
    [[nodiscard]] QLineEdit& Filter() { return *m_filter; }

signals:
    // Enter in the list, with the selected files.
    void FilesChosen(const QStringList& files);
    // A preview reached the audition (playing), or was made and dropped
    // because the selection had moved on.
    void PreviewStarted(const QString& path);
    void PreviewDropped(const QString& path);
    // The folder's files are listed; the details of the rows shown (and
    // of a page either side) are in. Details are read only for those.
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
    void RevealFolder();
    void ApplyFilter(const QString& text);
    void ReadDetailsSoon();
    void ReadDetails();
    [[nodiscard]] QString PathAt(int row) const;
    [[nodiscard]] int CurrentRow() const;
    void ChooseFromFilter();
    bool eventFilter(QObject* watched, QEvent* event) override;

    SlotModel& m_model;
    const VolumeSource* m_volumes;
    QListWidget* m_places = nullptr;
    QTreeView* m_tree = nullptr;
    bool m_revealing = false;  // the tree is being moved to m_folder, not by the musician
    QFileSystemModel* m_dirs = nullptr;
    QLineEdit* m_filter = nullptr;
    SoundList* m_list = nullptr;
    SoundListModel* m_files = nullptr;
    QCheckBox* m_previewOn = nullptr;
    QSlider* m_level = nullptr;
    QString m_folder;
    QString m_listedFolder;  // what the list shows
    QStringList m_recent;
    std::vector<std::pair<QString, QString>> m_cards;  // name, folder
    QTimer m_settle;                                   // restarted by each type-ahead letter
    QTimer m_detailsSoon;                              // gathers view moves into one read
    quint64 m_previewAsked = 0;     // counts previews asked for; only the newest plays
    quint64 m_listing = 0;          // counts listings; details of an older one are dropped
    bool m_detailsReading = false;  // one read of details at a time
    bool m_detailsAgain = false;    // the view moved while it read
    // Last: its jobs end before anything they report to goes.
    JobRunner m_jobs;
};
