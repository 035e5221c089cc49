#include "app/LevelsController.h"

#include "app/HistoryController.h"
#include "app/LoadController.h"
#include "app/MatchLevelsDialog.h"
#include "app/RowHistory.h"
#include "app/WindowContext.h"

LevelsController::LevelsController(WindowContext& context, QObject* parent)
    : QObject(parent), m_context(context) {}

bool LevelsController::MatchLevels() {
    if (m_context.model.CountLoadedSlots() == 0) return false;
    MatchLevelsDialog dialog(m_context.model, &m_context.window);
    if (dialog.exec() != QDialog::Accepted) return false;
    const auto step = m_context.history->BeginRowStep(tr("match levels"));
    return ApplyRowOptions(dialog.Changes());
}

bool LevelsController::ApplyRowOptions(const std::vector<std::pair<int, VoiceOptions>>& changes) {
    bool changed = false;
    const auto step = m_context.history->BeginRowStep(tr("change the rows' options"));
    for (const auto& [slot, options] : changes) {
        const QString path = m_context.SlotPath(slot);
        changed = m_context.loads->LoadSlot(slot, path, true, options) || changed;
    }
    return changed;
}
