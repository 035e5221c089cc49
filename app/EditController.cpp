#include "app/EditController.h"

#include <QApplication>
#include <QTimer>

#include <utility>

#include "app/BlockedCloseFilter.h"
#include "app/HistoryController.h"
#include "app/LoadController.h"
#include "app/RowEditorDialog.h"
#include "app/RowHistory.h"
#include "app/SliceController.h"
#include "app/WindowContext.h"
#include "controls/SlotPanel.h"

EditController::EditController(WindowContext& context, SliceController& slices, QObject* parent)
    : QObject(parent),
      m_context(context),
      m_slices(slices),
      m_blockedClose(std::make_unique<BlockedCloseFilter>(&context.window,
                                                          [this] { OnBlockedCloseRequest(); })) {}

EditController::~EditController() = default;

void EditController::OnBlockedCloseRequest() {
    // Asked while another dialog or box is up: that one has its own way out.
    if (m_rowEditor == nullptr || QApplication::activeModalWidget() != m_rowEditor) return;
    m_closeAfterEditor = true;
    m_rowEditor->reject();
}

bool EditController::EditRow(int slot) {
    SlotModel& model = m_context.model;
    // Rows a bank is replacing, or a row still loading, are not edited.
    if (!model.IsSlotLoaded(slot) || m_context.IsRowBusy(slot) || m_context.openingBank)
        return false;
    RowEditorDialog editor(model, slot, &m_context.window);
    editor.KeepVisible(m_context.panel.Label(slot));
    m_rowEditor = &editor;
    const int result = editor.exec();
    m_rowEditor = nullptr;
    if (std::exchange(m_closeAfterEditor, false)) {
        // The window's close button was pressed meanwhile: the editor
        // closed as Cancel, and now the window closes.
        QTimer::singleShot(0, this, &EditController::CloseAsked);
        return false;
    }
    if (result == RowEditorDialog::SliceAsked) return m_slices.SliceAcrossRows(slot);
    if (result != QDialog::Accepted) return false;
    const VoiceOptions options = editor.Options();
    if (options == model.SlotOptions(slot)) return false;
    const QString path = m_context.SlotPath(slot);
    const auto step = m_context.history->BeginRowStep(tr("edit row %1").arg(slot + 1));
    return m_context.loads->LoadSlot(slot, path, true, options);
}
