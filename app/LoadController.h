#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "core/SlotModel.h"

struct MessageRequest;
class PendingRowStep;
class WindowContext;

// Row loads: a sound file put on a row by a job of the row, the rows
// restored at start, clearing and playing a row, load errors, and the
// "Convert other formats" option they follow.
class LoadController : public QObject {
    Q_OBJECT
public:
    explicit LoadController(WindowContext& context, QObject* parent = nullptr);

    // Puts the sound file at path on the row. An empty path does nothing
    // and succeeds. The file is read by a job of the row (the row's controls
    // wait meanwhile); RowLoadFinished tells how it went. On a failure the
    // row stays as it was; with showErrors message 106 is shown with the
    // reason (after the job's delivery, one box at a time), and the load
    // button gets the focus and a hover mark. When conversion is off and the
    // converter reads the file, the box offers Convert, which turns
    // conversion on and loads the file converted. False for a bad slot.
    // options: the part of the file and the level the row takes.
    bool LoadSlot(int slot, const QString& path, bool showErrors, const VoiceOptions& options = {});
    // The load error's Convert button beside OK; Enter and Escape keep
    // their meaning: OK, nothing converted.
    static void OfferConvert(MessageRequest& request);
    // Empties the slot and its row. False for a bad slot or engine failure.
    bool ClearSlotRow(int slot);
    // Stops every playing slot, then plays this one from its start.
    bool PlaySlotRow(int slot);

    // Queues the loads of the rows restored at start (once shown).
    void StartRestoring();
    // Drops every row's queued and running load (rows about to be replaced
    // all at once); rows still being restored count as restored.
    void CancelRowJobs();
    // Message 106 with the failure's reason, offering Convert where that
    // helps; true when Convert was chosen.
    [[nodiscard]] bool ShowLoadError(const LoadFailure& failure);
    // Why the load RowLoadFinished last reported failed.
    [[nodiscard]] const LoadFailure& LastFailure() const { return m_lastFailure; }

    // Loads, drops and restores convert the files the strict rules refuse.
    void SetConvertFormats(bool on);
    [[nodiscard]] bool ConvertFormats() const;

signals:
    // A load started by LoadSlot ended: loaded, or not.
    void RowLoadFinished(int slot, bool loaded);
    // The last row restored at start has been stored or found missing.
    void RowsRestored();
    void ConvertFormatsChanged(bool on);

private:
    // step: the undo step the load belongs to; null for a row restored at
    // start, which changes nothing the musician did.
    void QueueRowLoad(int slot, const QString& path, bool showErrors, const VoiceOptions& options,
                      const std::shared_ptr<PendingRowStep>& step);
    void FinishRowLoad(int slot, const QString& path, bool showErrors, MadeRow row,
                       const std::shared_ptr<PendingRowStep>& step);
    void ReportFailure(int slot, const QString& path, bool showErrors, const VoiceOptions& options,
                       LoadFailure failure, const std::shared_ptr<PendingRowStep>& step);
    // The row restored at start is in, or no longer awaited.
    void EndRestoring(int slot);

    WindowContext& m_context;
    LoadFailure m_lastFailure;
};
