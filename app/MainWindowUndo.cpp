// The main window's undo and redo of the rows: the shortcuts, the context
// menu's items and the steps of changes made at once (a clear, a bank
// opened); loads record their steps as their jobs end (MainWindow.cpp).
// Also the way back to an earlier version of the rows' bank.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>

#include <utility>

#include "app/EarlierVersionsDialog.h"
#include "app/MainWindow.h"
#include "app/RowUndo.h"
#include "voicebank/BankName.h"

void MainWindow::SetUpUndo() {
    m_history = std::make_unique<RowHistory>(
        m_model, [this](const QString& bank) { m_openedBankPath = bank; });
    // A job cancelled before it stored its row never reports: once nothing
    // runs, the steps still waiting take what they have. Queued, so a job's
    // own result (delivered after the runner went idle) is in first.
    connect(
        &m_jobs, &JobRunner::busyChanged, this,
        [this](bool busy) {
            if (!busy && !m_jobs.IsBusy()) m_history->ClosePending();
        },
        Qt::QueuedConnection);
    // Named here rather than by the platform's standard keys, which may bind
    // one key to both or leave Ctrl+Y out.
    const QKeySequence undoKeys(Qt::CTRL | Qt::Key_Z);
    for (const QKeySequence& keys : {undoKeys, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                     QKeySequence(Qt::CTRL | Qt::Key_Y)}) {
        auto shortcut = std::make_unique<QShortcut>(keys, this);
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

bool MainWindow::UndoRowChange() {
    if (IsBusy() || m_openingBank || m_saving || m_closing) return false;
    return m_history->Undo();
}

bool MainWindow::RedoRowChange() {
    if (IsBusy() || m_openingBank || m_saving || m_closing) return false;
    return m_history->Redo();
}

std::unique_ptr<RowStepScope> MainWindow::BeginRowStep(const QString& text) {
    return std::make_unique<RowStepScope>(m_openStep, RowHistory::Begin(text));
}

std::shared_ptr<PendingRowStep> MainWindow::RowStepFor(const QString& text) {
    return m_openStep ? m_openStep : RowHistory::Begin(text);
}

std::vector<RowState> MainWindow::TakeAllRows() const {
    std::vector<RowState> rows;
    for (int i = 0; i < SlotCount; ++i) rows.push_back(m_model.TakeRow(i));
    return rows;
}

void MainWindow::PushAllRows(const QString& text, std::vector<RowState> before,
                             const QString& bankBefore) {
    std::vector<RowChange> changes;
    for (int i = 0; i < SlotCount && static_cast<size_t>(i) < before.size(); ++i)
        changes.push_back({i, std::move(before[static_cast<size_t>(i)]), m_model.TakeRow(i)});
    (void)m_history->Push(text, std::move(changes), bankBefore, m_openedBankPath);
}

void MainWindow::AddUndoMenuItems(QMenu& menu) {
    const bool idle = !IsBusy() && !m_openingBank && !m_saving;
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
    connect(versions, &QAction::triggered, this, &MainWindow::ShowEarlierVersions,
            Qt::QueuedConnection);
    menu.addSeparator();
}

QString MainWindow::VersionsBankName() const {
    if (!m_openedBankPath.isEmpty()) return QFileInfo(m_openedBankPath).completeBaseName();
    // Rows kept as a bank stored them: that bank's name.
    for (int slot = 0; slot < SlotCount; ++slot) {
        SlotFormat format;
        if (m_model.ReadSlotFormat(slot, &format) && format.fromBank &&
            IsValidBankName(format.origin.bankName))
            return QString::fromStdString(format.origin.bankName);
    }
    return {};
}

QString MainWindow::VersionsCardBank(const QString& name) const {
    // The bank opened from a card's bank folder, else the last volume's.
    if (!m_openedBankPath.isEmpty() && QFileInfo(m_openedBankPath).dir().dirName() == QLatin1String(BankFolderName.data()))
        return m_openedBankPath;
    if (m_lastVolume.isEmpty()) return {};
    return m_lastVolume + QLatin1String(BankFolderName.data()) + QLatin1Char('/') + name +
           QLatin1String(BankFileExtension.data());
}

bool MainWindow::ShowEarlierVersions() {
    const QString name = VersionsBankName();
    const QString data = UserDataFolder();
    if (name.isEmpty() || data.isEmpty() || IsBusy() || m_openingBank) return false;
    const QString card = VersionsCardBank(name);
    EarlierVersionsDialog dialog(m_model, name, card,
                                 QFile::encodeName(data + QStringLiteral("/backups")).toStdString(),
                                 this);
    if (dialog.exec() != EarlierVersionsDialog::OpenAsked) return false;
    return OpenBankCopy(dialog.ChosenCopy(),
                        card.isEmpty() ? QFileInfo(m_openedBankPath).absoluteFilePath() : card);
}

bool MainWindow::OpenBankCopy(const QString& path, const QString& bank) {
    if (!OpenBankFile(path)) return false;
    // Set once the opening started (OpenBankFile forgets an earlier one).
    m_openBankAs = bank;
    return true;
}
