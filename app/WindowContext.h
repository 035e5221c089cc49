#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <functional>

#include "core/RowsBank.h"
#include "core/SlotModel.h"
#include "jobs/JobRunner.h"

class HistoryController;
class LoadController;
class ProfileStore;
class QWidget;
class RowsView;
class SlotPanel;
class VolumeSource;

// What the window's controllers share: the rows, the panel that shows them,
// the window (the parent of their dialogs), its job runner, which bank the
// rows are, and the state every feature looks at before it acts. The
// controllers that others build on (loads, undo, the rows' look) are
// reachable from here; the rest talk through signals the window wires.
class WindowContext : public QObject {
    Q_OBJECT
public:
    WindowContext(SlotModel& model, SlotPanel& panel, QWidget& window, JobRunner& jobs,
                  ProfileStore* profile, const VolumeSource* volumes);

    SlotModel& model;
    SlotPanel& panel;
    QWidget& window;
    JobRunner& jobs;  // one lane per row, the save's and the bank's
    ProfileStore* const profile;
    const VolumeSource* const volumes;  // null: the machine's mounted volumes

    LoadController* loads = nullptr;
    HistoryController* history = nullptr;
    RowsView* rows = nullptr;
    QWidget* browser = nullptr;  // the sound browser's pane, once made

    RowsBank bank;
    QString lastVolume;        // the volume the last save went to
    bool initialised = false;  // every start-up step ran, title set
    bool closing = false;
    bool saving = false;
    bool openingBank = false;
    std::array<bool, SlotCount> restoring{};  // restored at start, not yet stored

    // A job of the row (its load) is queued or running, or the row waits to
    // be restored.
    [[nodiscard]] bool IsRowBusy(int slot) const;
    // Any job of the window runs, a row waits to be restored, or a box a job
    // asked for is still to be answered.
    [[nodiscard]] bool IsBusy() const;
    // Every row restored at start has been stored (or found missing).
    [[nodiscard]] bool AreRowsRestored() const;
    [[nodiscard]] QString SlotPath(int slot) const;
    // The bank the rows came from (or were saved as), absolute; empty when
    // none.
    [[nodiscard]] QString OpenedBank() const;

    // Shows a box from the event loop once the job delivery that asks for
    // it has returned, and only after the boxes asked for earlier were
    // answered: boxes come one after another, never one inside another.
    // Dropped once the window closes.
    void ShowLater(std::function<void()> show);

    // While every row is being replaced at once (a bank opening, a kit
    // imported, a roll): the rows take no clicks or drops, Save is off and
    // the cursor busy; false undoes that.
    void SetOpeningBank(bool opening);

private:
    void ShowNextBox();

    std::deque<std::function<void()>> m_boxes;
    bool m_boxPosted = false;
    bool m_boxShowing = false;
};

// The user's data folder of the program (opened banks' rows, backups);
// empty when the platform names none.
[[nodiscard]] QString UserDataPath();
// A file that opens as a bank rather than loading as a sound: ".glw" in
// any letter case.
[[nodiscard]] bool IsBankFile(const QString& path);
// Paths cross to the model as UTF-8, the file system's encoding here.
[[nodiscard]] std::string ToModelPath(const QString& path);
[[nodiscard]] QString FromModel(const std::string& text);
// One question before filled rows (their numbers) are replaced, with more
// said after them; true for OK.
[[nodiscard]] bool AskToReplaceRows(QWidget* parent, int stringId, const QStringList& filled,
                                    const QString& more);
// A box with the string's text and reason below it.
void ShowWithReason(QWidget* parent, int stringId, const QString& reason);
