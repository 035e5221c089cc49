#pragma once

#include <QDateTime>
#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QPoint>
#include <QString>

#include <array>
#include <map>

#include "controls/SkinButton.h"
#include "controls/SkinStatic.h"
#include "engine/SoundEngine.h"

class ProfileStore;
class VolumeSource;

inline constexpr int MainSlotCount = 16;
// The window's title; a second copy brings this window forward only once
// it carries it.
inline constexpr const char* MainWindowTitle = "GRIDLUME User Voice Manager";
// Commands of the panel's context menu and the window's close request.
inline constexpr int SysCommandAbout = 0x0010;
inline constexpr int SysCommandClose = 0xF060;

// The main window: a 640 x 640 skinned panel with 16 slot rows (load
// button, file-name label, clear button, play button), a Save button and a
// Close button. It owns the sound engine, every skin bitmap and the slot
// paths. Slot 0 is the bottom row.
//
// The window initialises itself when first shown (exec or show). The sound
// engine's watcher thread calls SlotStopped; everything else runs on the GUI
// thread.
class CWaveComposerDlg : public QDialog, public SoundEngine::Listener {
    Q_OBJECT
public:
    // profile: where settings are read and written (null: none are, and
    // initialisation stops after opening the engine). volumes: what the save
    // dialog lists (null: the machine's mounted volumes). Both must outlive
    // the window.
    explicit CWaveComposerDlg(ProfileStore* profile, const VolumeSource* volumes = nullptr,
                              QWidget* parent = nullptr);
    ~CWaveComposerDlg() override;

    // Runs the window modally; returns Accepted (Close button, title-bar
    // close) or Rejected (Escape).
    [[nodiscard]] int DoModal() { return exec(); }

    // The child control with the given id (1000 ... 1081), or null.
    [[nodiscard]] QWidget* GetDlgItem(int id) const;

    // Row looks. Both return false for a slot outside 0 ... 15.
    bool SetRowState(int slot, bool loaded);
    bool SetPlayButtonState(int slot, bool playing);
    // Save button: enabled with image 137 while a slot is loaded, else
    // disabled with image 170.
    void UpdateSaveButton();

    // Puts a sound file into the slot. path: null opens the file dialog;
    // an empty path does nothing and succeeds. On an engine failure the row
    // stays as it was; with showErrors message 106 is shown and the load
    // button gets the focus and its hover look. A path too long for the
    // platform fails like an unreadable file. Returns true when loaded.
    bool LoadSlotFile(int slot, const QString* path, bool showErrors);
    // Asks for a sound file; true with its path in out when one was chosen.
    bool BrowseForSoundFile(QString& out);
    // Shows the file's base name without extension (empty path: empty
    // label) and, for a loaded slot, a tooltip describing it.
    bool SetSlotLabel(int slot, const QString& path);
    // Empties the slot and its row. False for a bad slot or engine failure.
    bool ClearSlotRow(int slot);
    // Stops every playing slot, then plays this one from its start. False
    // when a stop or the start fails.
    bool PlaySlotRow(int slot);

    // From the engine's watcher thread (any thread, never blocking): posts
    // to the GUI thread, which gives the play button its stopped look if
    // the slot is still loaded and no longer playing.
    void SlotStopped(int slot) override;

    // Save button: asks for the volume and name, exports the bank; message
    // 104 when the export fails, else the volume is remembered.
    void OnSaveButton();
    // Close button and the window's close request: closes the engine and
    // ends with Accepted.
    void OnCloseButton();
    // Context-menu and close commands (SysCommandAbout, SysCommandClose).
    void OnSysCommand(int id);

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
    [[nodiscard]] static QPoint PositionToStore(const QString& platformName, QPoint current, QPoint read);

    // State, for the program's test hooks and for tests.
    [[nodiscard]] const QString& GetSlotPath(int slot) const { return m_slotPaths.at(static_cast<size_t>(slot)); }
    [[nodiscard]] const QString& GetLastVolume() const { return m_lastVolume; }
    [[nodiscard]] const SoundEngine& GetEngine() const { return m_engine; }
    [[nodiscard]] bool IsInitialised() const { return m_initialised; }
    [[nodiscard]] const QPixmap* GetBitmap(int id) const;

    // Runs initialisation on the first show.
    void setVisible(bool visible) override;
    // Enter never closes the window.
    void accept() override {}
    // Escape: closes the engine, ends with Rejected.
    void reject() override;
    void done(int result) override;

signals:
    // The window was shown for the first time, initialised.
    void Shown();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool OnInitDialog();
    void BindControls();
    void PlaceAtTemplatePositions();
    bool LoadBitmaps();
    void LayoutControls();
    void OnSlotDragEnter(const int* slot);
    void OnSlotDragLeave(const int* slot);
    void OnSlotDrop(const int* slot, const QString* path);
    void OnClearButton(int slot);
    [[nodiscard]] QPoint PlaceOnScreen(QPoint saved) const;
    [[nodiscard]] static bool IsValidSlot(int slot) { return slot >= 0 && slot < MainSlotCount; }
    [[nodiscard]] const QPixmap* Bmp(int id) const { return GetBitmap(id); }

    // Controls, children of the window; members so they go before it.
    std::array<CSkinStatic, MainSlotCount> m_labelControls;
    std::array<CSkinButton, MainSlotCount> m_loadControls;
    std::array<CSkinButton, MainSlotCount> m_playControls;
    std::array<CSkinButton, MainSlotCount> m_clearControls;
    CSkinButton m_saveButton;
    CSkinButton m_closeButton;

    SoundEngine m_engine;

    // The 17 single bitmaps by id, and the load buttons' art by slot.
    std::map<int, QPixmap> m_bitmaps;
    std::array<QPixmap, MainSlotCount> m_loadEmpty;
    std::array<QPixmap, MainSlotCount> m_loadLoaded;
    std::array<QPixmap, MainSlotCount> m_loadPressed;
    std::array<QPixmap, MainSlotCount> m_loadHover;

    // Filled once before the engine opens; read-only afterwards (also by
    // watcher threads).
    std::array<CSkinButton*, MainSlotCount> m_loadButtons{};
    std::array<CSkinButton*, MainSlotCount> m_clearButtons{};
    std::array<CSkinButton*, MainSlotCount> m_playButtons{};
    std::array<CSkinStatic*, MainSlotCount> m_labels{};

    QString m_lastVolume;
    std::array<QString, MainSlotCount> m_slotPaths;
    QIcon m_hIcon;

    ProfileStore* m_profile = nullptr;
    const VolumeSource* m_volumes = nullptr;
    bool m_initStarted = false;
    bool m_initialised = false;     // every step ran, title set
    bool m_settingsLoaded = false;  // only settings that were read are written back
    bool m_settingsSaved = false;
    bool m_shownOnce = false;
    bool m_closing = false;
    QPoint m_savedPosition;         // as read, kept where the platform cannot place windows
};
