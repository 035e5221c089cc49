#pragma once

#include <QDialog>

#include <memory>

#include "controls/SlotPanel.h"
#include "jobs/JobRunner.h"

class BankController;
class BrowseController;
class CardController;
class KitController;
class EditController;
class FillController;
class HistoryController;
class LevelsController;
class LoadController;
class PadInput;
class ProfileStore;
class QShortcut;
class RecordController;
class RowsView;
class SaveController;
class SettingsController;
class SliceController;
class SlotModel;
class VolumeSource;
class WindowContext;

// The window's title; a second copy brings this window forward only once
// it carries it.
inline constexpr const char* MainWindowTitle = "GRIDLUME User Voice Manager";

// The main window: the skinned panel (controls/SlotPanel.h) over the slot
// model, its context menu and the wiring of one controller per feature
// (loads, banks, saves, fills, slices, levels, the row editor, the browser,
// the card view, undo, settings), which share a WindowContext.
//
// The window initialises itself when first shown (exec or show): it opens
// the model's sound device, reads the settings and restores the rows.
class MainWindow : public QDialog {
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

    [[nodiscard]] WindowContext& Context() { return *m_context; }
    [[nodiscard]] LoadController& Loads() { return *m_loads; }
    [[nodiscard]] BankController& Banks() { return *m_banks; }
    [[nodiscard]] SaveController& Saves() { return *m_saves; }
    [[nodiscard]] FillController& Fill() { return *m_fill; }
    [[nodiscard]] SliceController& Slices() { return *m_slices; }
    [[nodiscard]] LevelsController& Levels() { return *m_levels; }
    [[nodiscard]] EditController& Edits() { return *m_edits; }
    [[nodiscard]] BrowseController& Browse() { return *m_browse; }
    [[nodiscard]] HistoryController& History() { return *m_history; }
    [[nodiscard]] SettingsController& Settings() { return *m_settings; }

    // Close button, the title bar's close, and an end asked for from
    // outside: closes the sound device and ends with Accepted.
    void OnCloseButton();

    // Runs initialisation on the first show.
    void setVisible(bool visible) override;
    // Enter never closes the window.
    void accept() override {}
    // Escape: closes the sound device, ends with Rejected.
    void reject() override;
    // Writes the settings once, while the window still has its position.
    void done(int result) override;

signals:
    // The window was shown for the first time, initialised.
    void Shown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Up and Down move the target row.
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A single bank file dropped anywhere on the window opens it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    SlotModel& m_model;
    SlotPanel m_panel;  // a child: the window's whole client area
    std::unique_ptr<WindowContext> m_context;
    std::unique_ptr<RowsView> m_rows;
    std::unique_ptr<HistoryController> m_history;
    std::unique_ptr<LoadController> m_loads;
    std::unique_ptr<BankController> m_banks;
    std::unique_ptr<SaveController> m_saves;
    std::unique_ptr<FillController> m_fill;
    std::unique_ptr<SliceController> m_slices;
    std::unique_ptr<LevelsController> m_levels;
    std::unique_ptr<EditController> m_edits;
    std::unique_ptr<BrowseController> m_browse;
    std::unique_ptr<CardController> m_card;
    std::unique_ptr<RecordController> m_record;
    std::unique_ptr<KitController> m_kits;
    std::unique_ptr<PadInput> m_pads;  // keyboard and MIDI pads
    std::unique_ptr<SettingsController> m_settings;
    std::unique_ptr<QShortcut> m_openShortcut;
    bool m_initStarted = false;
    bool m_shownOnce = false;
    bool m_settingsSaved = false;
    // Reads and writes files off the GUI thread: one lane per row, the
    // save's and the bank's. Last, so its work has ended before anything
    // else of the window goes.
    JobRunner m_jobs;
};
