#include "app/RecordController.h"

#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <QWidget>

#include "app/FillController.h"
#include "app/LoadController.h"
#include "app/WindowContext.h"

namespace {

const QKeySequence RecordKey(Qt::CTRL | Qt::Key_R);

}  // namespace

RecordController::RecordController(WindowContext& context, FillController& fill, QObject* parent)
    : QObject(parent), m_context(context), m_fill(fill) {
    // The whole window's, the sound browser's pane included.
    m_shortcut = std::make_unique<QShortcut>(RecordKey, &m_context.window);
    m_shortcut->setContext(Qt::WindowShortcut);
    connect(m_shortcut.get(), &QShortcut::activated, this, &RecordController::RecordIntoTargetRow);
}

RecordController::~RecordController() = default;

void RecordController::AddMenuItems(QMenu& menu) {
    const WindowContext& c = m_context;
    QAction* record = menu.addAction(tr("Re&cord into row %1...").arg(m_fill.TargetRow() + 1));
    record->setShortcut(RecordKey);
    record->setEnabled(!c.openingBank && !c.saving && !c.IsRowBusy(m_fill.TargetRow()));
    // After the menu has closed.
    connect(record, &QAction::triggered, this, &RecordController::RecordIntoTargetRow,
            Qt::QueuedConnection);
}

bool RecordController::RecordIntoTargetRow() {
    const WindowContext& c = m_context;
    const int row = m_fill.TargetRow();
    if (m_showing || c.closing || c.openingBank || c.saving || !c.initialised || c.IsRowBusy(row))
        return false;
    RecordDialog dialog(row, m_choices, &m_context.window);
    m_showing = true;
    const int result = dialog.exec();
    m_showing = false;
    m_choices = dialog.Choices();
    if (result != QDialog::Accepted || dialog.TakePath().isEmpty() || m_context.closing)
        return false;
    // The row is made from the take as from any file, from its first sound.
    VoiceOptions options;
    options.start = VoiceOptions::Start::FirstSound;
    return m_context.loads->LoadSlot(row, dialog.TakePath(), true, options);
}
