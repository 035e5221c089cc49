#include "app/HistoryController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <QWidget>

#include <utility>

#include "app/EarlierVersionsDialog.h"
#include "app/RowHistory.h"
#include "app/WindowContext.h"
#include "voicebank/BankName.h"

HistoryController::HistoryController(WindowContext& context, QObject* parent)
    : QObject(parent), m_context(context) {
    m_history = std::make_unique<RowHistory>(m_context.model, [this](const QString& bank) {
        m_context.bank.SetOpened(ToModelPath(bank));
    });
    // A job cancelled before it stored its row never reports: once nothing
    // runs, the steps still waiting take what they have. Queued, so a job's
    // own result (delivered after the runner went idle) is in first.
    connect(
        &m_context.jobs, &JobRunner::busyChanged, this,
        [this](bool busy) {
            if (!busy && !m_context.jobs.IsBusy()) m_history->ClosePending();
        },
        Qt::QueuedConnection);
    // Named here rather than by the platform's standard keys, which may bind
    // one key to both or leave Ctrl+Y out.
    const QKeySequence undoKeys(Qt::CTRL | Qt::Key_Z);
    for (const QKeySequence& keys : {undoKeys, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                     QKeySequence(Qt::CTRL | Qt::Key_Y)}) {
        auto shortcut = std::make_unique<QShortcut>(keys, &m_context.window);
        const bool undo = keys == undoKeys;
        connect(shortcut.get(), &QShortcut::activated, this, [this, undo] {
            if (undo) {
                (void)UndoRowChange();
            } else {
                (void)RedoRowChange();
            }
        });
        m_undoShortcuts.push_back(std::move(shortcut));
    }
}

HistoryController::~HistoryController() = default;

const QUndoStack& HistoryController::Stack() const { return m_history->Stack(); }

bool HistoryController::UndoRowChange() {
    const WindowContext& c = m_context;
    if (c.IsBusy() || c.openingBank || c.saving || c.closing) return false;
    return m_history->Undo();
}

bool HistoryController::RedoRowChange() {
    const WindowContext& c = m_context;
    if (c.IsBusy() || c.openingBank || c.saving || c.closing) return false;
    return m_history->Redo();
}

std::unique_ptr<RowStepScope> HistoryController::BeginRowStep(const QString& text) {
    return std::make_unique<RowStepScope>(m_openStep, RowHistory::Begin(text));
}

std::shared_ptr<PendingRowStep> HistoryController::RowStepFor(const QString& text) {
    return m_openStep ? m_openStep : RowHistory::Begin(text);
}

std::vector<RowState> HistoryController::TakeAllRows() const {
    std::vector<RowState> rows;
    for (int i = 0; i < SlotCount; ++i) rows.push_back(m_context.model.TakeRow(i));
    return rows;
}

void HistoryController::PushAllRows(const QString& text, std::vector<RowState> before,
                                    const QString& bankBefore) {
    std::vector<RowChange> changes;
    for (int i = 0; i < SlotCount && static_cast<size_t>(i) < before.size(); ++i)
        changes.push_back(
            {i, std::move(before[static_cast<size_t>(i)]), m_context.model.TakeRow(i)});
    (void)m_history->Push(text, std::move(changes), bankBefore, m_context.OpenedBank());
}

void HistoryController::AddUndoMenuItems(QMenu& menu) {
    const bool idle = !m_context.IsBusy() && !m_context.openingBank && !m_context.saving;
    const QUndoStack& stack = m_history->Stack();
    QAction* undo =
        menu.addAction(stack.canUndo() ? tr("&Undo %1").arg(stack.undoText()) : tr("&Undo"));
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    undo->setEnabled(idle && stack.canUndo());
    connect(undo, &QAction::triggered, this, [this] { (void)UndoRowChange(); });
    QAction* redo =
        menu.addAction(stack.canRedo() ? tr("&Redo %1").arg(stack.redoText()) : tr("&Redo"));
    redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    redo->setEnabled(idle && stack.canRedo());
    connect(redo, &QAction::triggered, this, [this] { (void)RedoRowChange(); });
    QAction* versions = menu.addAction(tr("Earlier versio&ns..."));
    versions->setEnabled(idle && !VersionsBankName().isEmpty());
    // After the menu has closed.
    connect(versions, &QAction::triggered, this, &HistoryController::ShowEarlierVersions,
            Qt::QueuedConnection);
    menu.addSeparator();
}

QString HistoryController::VersionsBankName() const {
    const QString opened = m_context.OpenedBank();
    if (!opened.isEmpty()) return QFileInfo(opened).completeBaseName();
    // Rows kept as a bank stored them: that bank's name.
    for (int slot = 0; slot < SlotCount; ++slot) {
        SlotFormat format;
        if (m_context.model.ReadSlotFormat(slot, &format) && format.fromBank &&
            IsValidBankName(format.origin.bankName))
            return QString::fromStdString(format.origin.bankName);
    }
    return {};
}

QString HistoryController::VersionsCardBank(const QString& name) const {
    // The bank opened from a card's bank folder, else the last volume's.
    const QString opened = m_context.OpenedBank();
    if (!opened.isEmpty() &&
        QFileInfo(opened).dir().dirName() == QLatin1String(BankFolderName.data()))
        return opened;
    const QString& volume = m_context.lastVolume;
    if (volume.isEmpty()) return {};
    return volume + QLatin1String(BankFolderName.data()) + QLatin1Char('/') + name +
           QLatin1String(BankFileExtension.data());
}

bool HistoryController::ShowEarlierVersions() {
    const QString name = VersionsBankName();
    const QString data = UserDataPath();
    if (name.isEmpty() || data.isEmpty() || m_context.IsBusy() || m_context.openingBank)
        return false;
    const QString card = VersionsCardBank(name);
    EarlierVersionsDialog dialog(m_context.model, name, card,
                                 QFile::encodeName(data + QStringLiteral("/backups")).toStdString(),
                                 &m_context.window);
    if (dialog.exec() != EarlierVersionsDialog::OpenAsked || !m_openCopy) return false;
    return m_openCopy(dialog.ChosenCopy(),
                      card.isEmpty() ? QFileInfo(m_context.OpenedBank()).absoluteFilePath() : card);
}

void HistoryController::SetOpenCopy(std::function<bool(const QString&, const QString&)> openCopy) {
    m_openCopy = std::move(openCopy);
}
