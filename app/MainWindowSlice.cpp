// "Slice across rows...": the window's side of the slice dialog.

#include "app/MainWindow.h"
#include "app/RowUndo.h"
#include "app/SliceDialog.h"
#include "controls/MessageBox.h"
#include "res/StringTable.h"

bool MainWindow::SliceAcrossRows(int slot) {
    if (!m_model.IsSlotLoaded(slot) || IsRowBusy(slot) || m_openingBank) return false;
    SliceDialog dialog(m_model, slot, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    const std::vector<SliceDialog::RowFill> rows = dialog.Rows();
    if (rows.empty()) return false;
    // One question before filled rows (other than the one sliced) are
    // replaced; it also says which slices find no row.
    QStringList filled;
    for (const SliceDialog::RowFill& row : rows) {
        if (row.slot != slot && m_model.IsSlotLoaded(row.slot))
            filled << QString::number(row.slot + 1);
    }
    if (!filled.isEmpty()) {
        const QString more = dialog.LeftOut() > 0
                                 ? tr("%n slice(s) at the end do not fit and are left out.",
                                      nullptr, dialog.LeftOut())
                                 : QString();
        if (!AskToReplaceRows(IdsReplaceSliceRows, filled, more)) return false;
    }
    const QString path = GetSlotPath(slot);
    const auto step = BeginRowStep(tr("slice row %1 across rows").arg(slot + 1));
    bool all = true;
    for (const SliceDialog::RowFill& row : rows)
        all = LoadSlotFile(row.slot, &path, true, row.options) && all;
    return all;
}
