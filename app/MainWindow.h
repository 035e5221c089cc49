#pragma once

#include <QDateTime>
#include <QDialog>
#include <QIcon>
#include <QPoint>
#include <QString>

#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "app/JobRunner.h"
#include "core/SlotModel.h"
#include "controls/SlotPanel.h"

class BlockedCloseFilter;
class PadInput;
class RowEditorDialog;
class PendingRowStep;
class RowHistory;
class RowFilesFolder;
class RowStepScope;
struct CheckedBank;
struct MadeBankRows;
class ProfileStore;
class QMenu;
class QShortcut;
class SaveBankDialog;
class SoundBrowser;
class VolumeSource;

// The window's title; a second copy brings this window forward only once
// it carries it.
inline constexpr const char* MainWindowTitle = "GRIDLUME User Voice Manager";

// The main window: the skinned panel (controls/SlotPanel.h) over the slot
// model. It turns clicks, drops and keys into the model's commands, shows
// the model's changes, runs the save dialog and keeps the settings.
//
// The window initialises itself when first shown (exec or show): it opens
// the model's sound device, reads the settings and restores the rows.
class MainWindow : public QDialog, public SlotModelListener {
    Q_OBJECT
public:
    // model: the slots, which the window drives and listens to. profile:
    // where settings are read and written (null: none are, and
    // initialisation stops after opening the sound device). volumes: what
    // the save dialog lists (null: the machine's mounted volumes). All must
    // outlive the window.
    explicit MainWindow(SlotModel& model, ProfileStore* profile,
                        const VolumeSource* volumes = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Row looks, kept in step with the model (playing when it plays).
    bool SetRowState(int slot, bool loaded);
    bool SetPlayButtonState(int slot, bool playing);
    // Save button: enabled while a slot is loaded.
    void UpdateSaveButton();

    // Puts a sound file into the slot. path: null opens the file dialog;
    // an empty path does nothing and succeeds. The file is read by a job of
    // the row (the row's controls wait meanwhile); RowLoadFinished tells
    // how it went. On a failure the row stays as it was; with showErrors
    // message 106 is shown with the reason, and the load button gets the
    // focus and a hover mark. When conversion is off and the converter
    // reads the file, the box offers Convert, which turns conversion on and
    // loads the file converted. Returns true when the load was started
    // (or there was nothing to load); false for a bad slot or no choice.
    // options: the part of the file and the level the row takes.
    bool LoadSlotFile(int slot, const QString* path, bool showErrors,
                      const VoiceOptions& options = {});
    // A job of the row (its load, or the row editor's work) is queued or
    // running, or the row waits to be restored; IsBusy: any of the rows or
    // jobs of the window.
    [[nodiscard]] bool IsRowBusy(int slot) const;
    [[nodiscard]] bool IsBusy() const;
    // Every row restored at start has been stored (or found missing).
    [[nodiscard]] bool AreRowsRestored() const;
    // Opens the row editor on a loaded row (double-click on its label, or
    // its context menu); after OK the row is loaded again with the chosen
    // options. False when the row is empty or it was not changed.
    bool EditRow(int slot);
    // "Slice across rows...": fills consecutive rows with the slices of
    // the row's file, asking first when that replaces filled rows.
    bool SliceAcrossRows(int slot);
    // "Match levels..." of the panel's context menu: measures the loaded
    // rows and, after Apply, loads each again with the loudness that
    // matches it, all in one step. False when nothing was changed.
    bool MatchLevels();
    // Loads rows again with new options, as one change.
    bool ApplyRowOptions(const std::vector<std::pair<int, VoiceOptions>>& changes);

    // "Convert other formats" of the panel's context menu: loads, drops
    // and restores convert the files the strict rules refuse. Kept in the
    // profile.
    void SetConvertFormats(bool on);
    [[nodiscard]] bool ConvertFormats() const;
    // Asks for a sound file; true with its path in out when one was chosen.
    bool BrowseForSoundFile(QString& out);
    // Empties the slot and its row. False for a bad slot or engine failure.
    bool ClearSlotRow(int slot);
    // Stops every playing slot, then plays this one from its start. False
    // when a stop or the start fails.
    bool PlaySlotRow(int slot);

    // The model's changes; from another thread they are posted to the
    // window's thread before any widget is touched.
    void SlotChanged(int slot, SlotChange change) override;

    // Save button: asks for the volume and name, then saves the bank on a
    // worker (app/BankSave.h), the rows and the button disabled meanwhile;
    // message 104 with the reason when the save fails, and the dialog again
    // with the name and volume chosen; else the volume is remembered and the
    // rows count as that bank (the next save proposes it, its earlier
    // versions are listed).
    void OnSaveButton();
    // A save runs.
    [[nodiscard]] bool IsSaving() const { return m_saving; }
    // Close button, the title bar's close, and an end asked for from
    // outside: closes the sound device and ends with Accepted.
    void OnCloseButton();
    [[nodiscard]] bool IsClosing() const { return m_closing; }
    // The window manager asked to close the window while a dialog blocks
    // it: with the row editor up, the editor closes as Cancel and then the
    // window as its close button does.
    void OnBlockedCloseRequest();

    // "MMDDhmmss-VOICE" for the given local time: hour 0-9 as a digit,
    // 10-23 as a letter A-N. MakeDefaultBankName uses the clock.
    [[nodiscard]] static QString MakeBankName(const QDateTime& time);
    [[nodiscard]] static QString MakeDefaultBankName();

    // Settings: read once while initialising, written once when the window
    // ends. Both return false when the window has no profile.
    bool LoadSettings();
    bool SaveSettings();

    // The position to store at exit: the window's own where the platform
    // (by its Qt platform name) places windows and reports where they are,
    // else the position read at start, kept as it was (Wayland).
    [[nodiscard]] static QPoint PositionToStore(const QString& platformName, QPoint current,
                                                QPoint read);

    // Opens the voice bank at path into the 16 rows, its file work on a
    // worker while the rows are disabled and the cursor shows busy: a
    // missing file shows message 113, a file the checker refuses message
    // 110 with its first problem, and nothing changes; with rows loaded,
    // message 111 asks first (Cancel changes nothing). The rows are copied
    // as row files into the user's data folder (a failure: message 112,
    // nothing changed) and every row loads from its copy, empty bank rows
    // cleared. Saves then propose the bank's name and volume. While a
    // dialog is open over the window or another bank is opening, the
    // request waits (OpenBankLater). True when the opening started.
    bool OpenBankFile(const QString& path);
    // A bank waits to be opened, or is being opened (its file work runs or
    // its question is up).
    [[nodiscard]] bool IsOpeningBank() const { return m_openingBank || !m_pendingBank.isEmpty(); }
    // "Open bank..." and Ctrl+O: asks for a bank file and opens it.
    void OnOpenBank();
    // Asks for a bank file; true with its path in out when one was chosen.
    bool BrowseForBankFile(QString& out);
    // Opens path once the window has been shown (the command line's bank).
    void OpenBankWhenShown(const QString& path);
    // Opens path from the event loop, after the caller has returned, and
    // only once no dialog is open over the window and no bank is opening;
    // of the requests waiting, only the last is kept.
    void OpenBankLater(const QString& path);
    // A file that opens as a bank rather than loading as a sound: ".glw".
    [[nodiscard]] static bool IsBankFile(const QString& path);
    // The user's data folder of the program (opened banks' rows, backups);
    // empty when the platform names none.
    [[nodiscard]] static QString UserDataFolder();

    // Filling rows (MainWindowFill.cpp).
    // The row that Enter in the browser and pads make current; shown
    // in the panel. Slot 0 is the bottom row.
    [[nodiscard]] int TargetRow() const { return m_targetRow; }
    void SetTargetRow(int slot);
    // Puts files on rows upward from firstSlot (-1: the target row) in
    // natural order of their names, one question before filled rows
    // are replaced, a word when some do not fit; the target then moves
    // to the row after the last one filled. True when loading started.
    bool PutFilesOnRows(const QStringList& files, int firstSlot = -1);
    // "Fill rows from folder...": asks for a folder and puts its sound
    // files on rows from the target row.
    bool FillRowsFromFolder();
    // Asks for sound files; true with their paths in out when any were
    // chosen.
    bool BrowseForSoundFiles(QStringList& out);
    // A filled row's label pressed writes the row, as made and marked, as a
    // WAV into a temporary folder on a worker (removed when the window
    // ends); dragging the label then carries that file. Empty until it is
    // written. Dropped on a row of this window, the file is kept in the
    // user's data folder and the row loads from there.
    [[nodiscard]] QString RowFileForDrag(int slot) const;

    // State, for the program's test build and for tests.
    [[nodiscard]] QString GetSlotPath(int slot) const;
    [[nodiscard]] const QString& GetLastVolume() const { return m_lastVolume; }
    [[nodiscard]] const SlotModel& Model() const { return m_model; }
    [[nodiscard]] SlotPanel& Panel() { return m_panel; }
    [[nodiscard]] bool IsInitialised() const { return m_initialised; }

    // The sound browser (app/MainWindowBrowse.cpp): a pane beside the
    // panel that widens the window while it is open; Ctrl+B and "Browse
    // sounds..." open and close it. Kept in the profile's own section once
    // it was used.
    void SetBrowserOpen(bool open);
    [[nodiscard]] bool IsBrowserOpen() const;
    // Opens the browser on folder (once shown, for the command line's
    // --browse); the folder is kept when it cannot be shown.
    void BrowseFolder(const QString& folder);
    void BrowseWhenShown(const QString& folder);
    // Null until the browser was first opened or restored.
    [[nodiscard]] SoundBrowser* Browser() { return m_browser.get(); }

    // Runs initialisation on the first show.
    void setVisible(bool visible) override;
    // Enter never closes the window.
    void accept() override {}
    // Escape: closes the sound device, ends with Rejected.
    void reject() override;
    void done(int result) override;

    // Undo and redo of the rows (app/MainWindowUndo.cpp). Every change of
    // the rows is one step; nothing is undone while row jobs, a save or a
    // bank's opening run. False when nothing was undone or redone.
    bool UndoRowChange();
    bool RedoRowChange();
    [[nodiscard]] RowHistory& History() { return *m_history; }
    // Row loads queued until the returned scope ends are one undo step
    // named text (inside another such scope: part of that one).
    [[nodiscard]] std::unique_ptr<RowStepScope> BeginRowStep(const QString& text);
    // "Earlier versions..." of the rows' bank: the copies kept of it; Open
    // there opens one as the bank itself (its name and card proposed).
    // False when no bank name is known or nothing was opened.
    bool ShowEarlierVersions();
    // Opens the copy at path into the rows as OpenBankFile does, the saves
    // then proposing bank (its name and card) as if that had been opened.
    bool OpenBankCopy(const QString& path, const QString& bank);

signals:
    // The window was shown for the first time, initialised.
    void Shown();
    // A load started by LoadSlotFile ended: loaded, or not.
    void RowLoadFinished(int slot, bool loaded);
    // The last row restored at start has been stored or found missing.
    void RowsRestored();
    // The target row moved (SetTargetRow).
    void TargetRowChanged(int slot);

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Up and Down move the target row.
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A single .glw file dropped anywhere on the window opens it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool Initialise();
    void ConnectControls();
    template <typename DropControl>
    void ConnectFileDrops(DropControl* control);
    void ShowAbout();
    [[nodiscard]] bool ShowLoadError(const LoadFailure& failure);
    // Shows once, when the fill's loads are done, the files the rows refused.
    void ReportFillRefusals(int firstSlot, const QStringList& files);
    void SetSlotLabel(int slot);
    // A row cut from a file that other rows also hold (a slice, with its
    // length) is told apart by its number, 1 for the earliest start among
    // them; 0 for any other row.
    [[nodiscard]] int SliceNumber(int slot) const;
    // step: the undo step the load belongs to; null for a row restored at
    // start, which changes nothing the musician did.
    void QueueRowLoad(int slot, const QString& path, bool showErrors, const VoiceOptions& options,
                      const std::shared_ptr<PendingRowStep>& step);
    void FinishRowLoad(int slot, const QString& path, bool showErrors, MadeRow row,
                       const std::shared_ptr<PendingRowStep>& step);
    // Enables the row's controls unless a job of the row runs, and marks it.
    void UpdateRowControls(int slot);
    // Queues the loads of the rows restored at start (once shown).
    void StartRestoring();
    // The row restored at start is in, or no longer awaited.
    void EndRestoring(int slot);
    // Drops every row's queued and running load (rows about to be replaced
    // all at once); rows still being restored count as restored.
    void CancelRowJobs();
    // The row under a point of the window, or -1.
    [[nodiscard]] int RowAt(QPoint point);
    void OnFileDragEntered(int slot);
    void OnFileDragLeft(int slot);
    void OnFileDropped(int slot, const QString& path);
    [[nodiscard]] QPoint PlaceOnScreen(QPoint saved) const;
    [[nodiscard]] static QString BankOriginLine(const SlotFormat& format);
    void ProposeSaveTarget(SaveBankDialog& dialog) const;
    // The save dialog (proposing name and volume when given) and the save
    // it asks for; a failed save comes back to it with the name kept.
    void RunSaveDialog(const QString& name, const QString& volume);
    // Rows and Save disabled and a busy cursor while a save runs.
    void SetSaving(bool saving);
    [[nodiscard]] bool CanOpenBankNow() const;
    void OpenPendingBank();
    void OnBankChecked(const QString& absolute, CheckedBank checked);
    void OnBankRowsMade(const QString& absolute, MadeBankRows made);
    // Disables the rows and the save button and shows the busy cursor, or
    // undoes that.
    void SetOpeningBank(bool opening);
    // Filling rows (MainWindowFill.cpp): the target row follows clicks,
    // pads and Up/Down; rows take files from the sound browser.
    void ConnectFill();
    [[nodiscard]] QString FillMenuText() const;
    void OnFilesDropped(int slot, const QStringList& files);
    bool MoveTargetByKey(int key);
    // One question before filled rows (their numbers) are replaced, with
    // more said after them; true for OK.
    bool AskToReplaceRows(int stringId, const QStringList& filled, const QString& more);
    void PrepareRowFile(int slot);
    // A row file of this window dropped on a row: copied on a worker into
    // the user's data folder and loaded from there. False for any other
    // file.
    bool KeepDroppedRowFile(int slot, const QString& path);
    // Removes the row folders that windows which died left behind.
    void RemoveStaleRowFiles();
    void OnRowDragAsked(int slot);
    void StartRowDrag(int slot);

    // Undo and redo of the rows (app/MainWindowUndo.cpp).
    void SetUpUndo();
    // Undo, Redo and Earlier versions... of the context menu.
    void AddUndoMenuItems(QMenu& menu);
    // The open step of a change of several rows, else a new one named text.
    [[nodiscard]] std::shared_ptr<PendingRowStep> RowStepFor(const QString& text);
    // Every row as it stands, for a change of all of them.
    [[nodiscard]] std::vector<RowState> TakeAllRows() const;
    void PushAllRows(const QString& text, std::vector<RowState> before, const QString& bankBefore);
    // The name the rows' bank is kept under (its file name without ".glw"),
    // and its place on the card; empty when not known.
    [[nodiscard]] QString VersionsBankName() const;
    [[nodiscard]] QString VersionsCardBank(const QString& name) const;
    QString m_openBankAs;  // the bank an opening copy stands for
    std::unique_ptr<RowHistory> m_history;
    std::shared_ptr<PendingRowStep> m_openStep;
    std::vector<std::unique_ptr<QShortcut>> m_undoShortcuts;

    // The sound browser's glue (app/MainWindowBrowse.cpp).
    SoundBrowser& EnsureBrowser();
    void ConnectBrowser();
    void LoadBrowserSettings();
    void SaveBrowserSettings();
    void PutBrowserFilesOnRows(const QStringList& files);
    void OnConvertFormatsChangedForBrowser();

    SlotModel& m_model;
    SlotPanel m_panel;  // a child: the window's whole client area
    QString m_lastVolume;
    QIcon m_icon;

    ProfileStore* m_profile = nullptr;
    const VolumeSource* m_volumes = nullptr;
    bool m_initStarted = false;
    bool m_initialised = false;     // every step ran, title set
    bool m_settingsLoaded = false;  // only settings that were read are written back
    bool m_settingsSaved = false;
    bool m_shownOnce = false;
    bool m_closing = false;
    bool m_convertKeyRead = false;  // the profile holds the option: written back even when off
    QPoint m_savedPosition;         // as read, kept where the platform cannot place windows
    QString m_openedBankPath;       // the last bank opened (or saved), absolute
    QString m_savedBankPath;        // the last bank saved: its file name is its name
    QString m_bankToOpen;           // opened once shown
    QString m_pendingBank;          // the newest request to open a bank, waiting
    bool m_pendingBankPosted = false;
    bool m_openingBank = false;
    static constexpr int PendingBankRetryMs = 100;
    std::unique_ptr<QShortcut> m_openShortcut;
    std::unique_ptr<PadInput> m_pads;  // keyboard and MIDI pads
    std::unique_ptr<BlockedCloseFilter> m_blockedClose;
    RowEditorDialog* m_rowEditor = nullptr;  // while EditRow runs it
    bool m_closeAfterEditor = false;
    std::array<bool, SlotCount> m_restoring{};  // restored at start, not yet stored
    bool m_saving = false;
    int m_targetRow = 0;
    std::shared_ptr<RowFilesFolder> m_rowFilesFolder;  // where rows taken out go; made on use
    std::array<QString, SlotCount> m_rowFiles;         // written for a drag, by slot
    LoadFailure m_lastLoadFailure;  // why the load RowLoadFinished reports failed
    int m_dragWanted = -1;          // a row dragged before its file was written
    // The sound browser: made when first used; its section is written only
    // then, or when the profile held it.
    std::unique_ptr<SoundBrowser> m_browser;
    std::unique_ptr<QShortcut> m_browseShortcut;
    bool m_browserKeyRead = false;
    QString m_folderToBrowse;  // opened once shown
    // Reads and writes files off the GUI thread: one lane per row, the
    // save's and the bank's. Last, so its work has ended before anything else of the window
    // goes.
    JobRunner m_jobs;
};
