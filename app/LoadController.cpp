#include "app/LoadController.h"

#include <QWidget>

#include <utility>

#include "app/HistoryController.h"
#include "app/RowHistory.h"
#include "app/RowsView.h"
#include "app/WindowContext.h"
#include "controls/MessageBox.h"
#include "controls/SlotPanel.h"
#include "record/TakeFile.h"
#include "res/StringTable.h"

LoadController::LoadController(WindowContext& context, QObject* parent)
    : QObject(parent), m_context(context) {}

bool LoadController::LoadSlot(int slot, const QString& path, bool showErrors,
                              const VoiceOptions& options) {
    if (!SlotPanel::IsValidSlot(slot)) return false;
    if (path.isEmpty()) return true;  // a drop of several files
    QueueRowLoad(slot, path, showErrors, options,
                 m_context.history->RowStepFor(tr("load row %1").arg(slot + 1)));
    return true;
}

void LoadController::OfferConvert(MessageRequest& request) {
    request.buttons = QMessageBox::Apply | QMessageBox::Ok;
    request.applyText = tr("&Convert");
    request.defaultButton = QMessageBox::Ok;
    request.escapeButton = QMessageBox::Ok;
}

void LoadController::QueueRowLoad(int slot, const QString& path, bool showErrors,
                                  const VoiceOptions& options,
                                  const std::shared_ptr<PendingRowStep>& step) {
    if (step) m_context.history->Rows().Expect(step);
    const std::string file = ToModelPath(path);
    // A take the window recorded is beyond the strict reader (32-bit float).
    const bool convert = m_context.model.ConvertFormats() || record::IsKeptTake(file);
    m_context.jobs.Run<MadeRow>(
        JobLane::ForRow(slot), this,
        [file, options, convert](const std::atomic<bool>& cancelled) {
            return SlotModel::MakeRow(file, options, convert, cancelled);
        },
        [this, slot, path, showErrors, step](MadeRow row) {
            FinishRowLoad(slot, path, showErrors, std::move(row), step);
        });
    m_context.rows->UpdateRowControls(slot);
}

void LoadController::FinishRowLoad(int slot, const QString& path, bool showErrors, MadeRow row,
                                   const std::shared_ptr<PendingRowStep>& step) {
    SlotModel& model = m_context.model;
    SlotPanel& panel = m_context.panel;
    const bool looked = model.IsSlotLoaded(slot);
    const VoiceOptions options = row.options;
    LoadFailure failure;
    RowState before = step ? model.TakeRow(slot) : RowState{};
    const bool loaded = model.StoreRow(slot, std::move(row), &failure);
    if (step) m_context.history->Rows().Stored(*step, slot, std::move(before), model.TakeRow(slot));
    EndRestoring(slot);
    m_context.rows->UpdateRowControls(slot);
    if (loaded) {
        // A load from the browser leaves the focus there, to browse on.
        const QWidget* focus = m_context.window.focusWidget();
        const QWidget* browser = m_context.browser;
        if (focus == nullptr || browser == nullptr || !browser->isVisible() ||
            !browser->isAncestorOf(focus))
            panel.PlayButton(slot)->setFocus();
        emit RowLoadFinished(slot, true);
        return;
    }
    // The model cleared a row the engine emptied while reading.
    if (looked && !model.IsSlotLoaded(slot)) panel.LoadButton(slot)->setFocus();
    if (!showErrors) {
        m_lastFailure = std::move(failure);
        emit RowLoadFinished(slot, false);
        return;
    }
    // The box waits until this delivery has returned.
    m_context.ShowLater([this, slot, path, options, failure = std::move(failure), step] {
        ReportFailure(slot, path, true, options, failure, step);
    });
}

void LoadController::ReportFailure(int slot, const QString& path, bool showErrors,
                                   const VoiceOptions& options, LoadFailure failure,
                                   const std::shared_ptr<PendingRowStep>& step) {
    if (ShowLoadError(failure)) {
        SetConvertFormats(true);
        QueueRowLoad(slot, path, showErrors, options, step);
        return;
    }
    SkinButton* load = m_context.panel.LoadButton(slot);
    load->setFocus();
    load->ShowHoverMark();
    m_lastFailure = std::move(failure);
    emit RowLoadFinished(slot, false);
}

void LoadController::CancelRowJobs() {
    for (int i = 0; i < SlotCount; ++i) {
        m_context.jobs.Cancel(JobLane::ForRow(i));
        EndRestoring(i);
        m_context.rows->UpdateRowControls(i);
    }
}

void LoadController::StartRestoring() {
    for (int i = 0; i < SlotCount; ++i)
        if (m_context.restoring[static_cast<size_t>(i)])
            QueueRowLoad(i, m_context.SlotPath(i), false, m_context.model.SlotOptions(i), nullptr);
}

void LoadController::EndRestoring(int slot) {
    auto& restoring = m_context.restoring[static_cast<size_t>(slot)];
    if (!restoring) return;
    restoring = false;
    m_context.rows->UpdateRowControls(slot);  // before anyone hears the rows are in
    if (m_context.AreRowsRestored()) emit RowsRestored();
}

bool LoadController::ShowLoadError(const LoadFailure& failure) {
    MessageRequest request;
    request.parent = &m_context.window;
    request.stringId = IdsLoadError;
    request.informativeText = FromModel(failure.reason);
    // The converter is offered only for a file it was shown to read.
    const bool offerConvert = failure.convertible && !m_context.model.ConvertFormats();
    if (offerConvert) {
        OfferConvert(request);
        request.informativeText +=
            tr("\n\nConvert loads its first second, channels 1 and 2, at 44,100 Hz in 16 "
               "bits, and from then on converts such files without asking.");
    }
    return ShowMessage(std::move(request)) == QMessageBox::Apply && offerConvert;
}

void LoadController::SetConvertFormats(bool on) {
    m_context.model.SetConvertFormats(on);
    emit ConvertFormatsChanged(on);
}

bool LoadController::ConvertFormats() const { return m_context.model.ConvertFormats(); }

bool LoadController::ClearSlotRow(int slot) {
    // A load still on its way must not fill the row again.
    if (SlotPanel::IsValidSlot(slot)) {
        m_context.jobs.Cancel(JobLane::ForRow(slot));
        EndRestoring(slot);
        m_context.rows->UpdateRowControls(slot);
    }
    SlotModel& model = m_context.model;
    RowState before = model.TakeRow(slot);
    if (!model.ClearSlot(slot)) return false;
    (void)m_context.history->Rows().Push(tr("clear row %1").arg(slot + 1),
                                         {{slot, std::move(before), model.TakeRow(slot)}});
    m_context.panel.LoadButton(slot)->setFocus();
    return true;
}

bool LoadController::PlaySlotRow(int slot) { return m_context.model.PlaySlot(slot); }
