#include "app/SliceController.h"

#include "app/HistoryController.h"
#include "app/LoadController.h"
#include "app/RowHistory.h"
#include "app/SliceDialog.h"
#include "app/WindowContext.h"
#include "res/StringTable.h"

SliceController::SliceController(WindowContext& context, QObject* parent)
    : QObject(parent), m_context(context) {}

bool SliceController::SliceAcrossRows(int slot) {
    SlotModel& model = m_context.model;
    if (!model.IsSlotLoaded(slot) || m_context.IsRowBusy(slot) || m_context.openingBank)
        return false;
    SliceDialog dialog(model, slot, &m_context.window);
    if (dialog.exec() != QDialog::Accepted) return false;
    const std::vector<SliceDialog::RowFill> rows = dialog.Rows();
    if (rows.empty()) return false;
    // One question before filled rows (other than the one sliced) are
    // replaced; it also says which slices find no row.
    QStringList filled;
    for (const SliceDialog::RowFill& row : rows) {
        if (row.slot != slot && model.IsSlotLoaded(row.slot))
            filled << QString::number(row.slot + 1);
    }
    if (!filled.isEmpty()) {
        const QString more = dialog.LeftOut() > 0
                                 ? tr("%n slice(s) at the end do not fit and are left out.",
                                      nullptr, dialog.LeftOut())
                                 : QString();
        if (!AskToReplaceRows(&m_context.window, IdsReplaceSliceRows, filled, more)) return false;
    }
    const QString path = m_context.SlotPath(slot);
    const auto step = m_context.history->BeginRowStep(tr("slice row %1 across rows").arg(slot + 1));
    bool all = true;
    for (const SliceDialog::RowFill& row : rows)
        all = m_context.loads->LoadSlot(row.slot, path, true, row.options) && all;
    return all;
}
