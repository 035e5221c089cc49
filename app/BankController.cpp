#include "app/BankController.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <memory>
#include <utility>

#include "app/HistoryController.h"
#include "app/LoadController.h"
#include "app/RowsView.h"
#include "app/WindowContext.h"
#include "controls/MessageBox.h"
#include "controls/SlotPanel.h"
#include "core/BankRows.h"
#include "res/StringTable.h"
#include "voicebank/BankName.h"

BankController::BankController(WindowContext& context, QObject* parent)
    : QObject(parent), m_context(context) {}

bool BankController::IsOpeningBank() const {
    return m_context.openingBank || !m_pendingBank.isEmpty();
}

void BankController::OpenBankWhenShown(const QString& path) { m_bankToOpen = path; }

void BankController::OnShown() {
    if (!m_bankToOpen.isEmpty()) OpenBankLater(m_bankToOpen);
}

void BankController::OpenBankLater(const QString& path) {
    // One question at a time: only the newest request is kept, and a burst
    // of them posts a single event.
    m_pendingBank = path;
    if (m_pendingBankPosted) return;
    m_pendingBankPosted = true;
    // After the drop or the request that named it has been answered.
    QTimer::singleShot(0, this, &BankController::OpenPendingBank);
}

bool BankController::CanOpenBankNow() const {
    // A dialog, box or menu open over the window (the row editor, the save
    // dialog, the question of an earlier bank) or a bank being opened.
    const QWidget* modal = QApplication::activeModalWidget();
    return !m_context.openingBank && (modal == nullptr || modal == &m_context.window) &&
           QApplication::activePopupWidget() == nullptr;
}

void BankController::OpenPendingBank() {
    m_pendingBankPosted = false;
    if (m_pendingBank.isEmpty() || m_context.closing) return;
    if (!CanOpenBankNow()) {
        // Tried again once the dialog has closed.
        m_pendingBankPosted = true;
        QTimer::singleShot(PendingBankRetryMs, this, &BankController::OpenPendingBank);
        return;
    }
    (void)OpenBankFile(std::exchange(m_pendingBank, QString()));
}

bool BankController::BrowseForBankFile(const QString& start, QString& out) {
    QFileDialog dialog(&m_context.window);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(tr("Voice banks (*.glw *.GLW)"));
    dialog.setDirectory(start.isEmpty() ? QDir::homePath() : start);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return false;
    out = chosen.front();
    return true;
}

void BankController::OnOpenBank() {
    // Ctrl+O held, or pressed again while the folder is looked for.
    if (m_context.jobs.IsBusy({JobLane::Kind::Browse})) return;
    // The dialog starts in the last volume's bank folder, else the volume,
    // else the last opened bank's folder; the home folder when none of them
    // is there. Looked for on a worker: a card that stopped answering must
    // not hold up the window.
    const QString& volume = m_context.lastVolume;
    const QString opened = m_context.OpenedBank();
    QStringList candidates;
    if (!volume.isEmpty()) candidates << volume + QLatin1String(BankFolderName.data()) << volume;
    if (!opened.isEmpty()) candidates << QFileInfo(opened).path();
    m_context.jobs.Run<QString>(
        {JobLane::Kind::Browse}, this,
        [candidates](const std::atomic<bool>& cancelled) {
            for (const QString& candidate : candidates) {
                if (cancelled.load()) break;
                if (QFileInfo(candidate).isDir()) return candidate;
            }
            return QString();
        },
        [this](const QString& start) {
            if (m_context.closing) return;
            QString path;
            if (BrowseForBankFile(start, path)) (void)OpenBankFile(path);
        });
}

bool BankController::OpenBankFile(const QString& path) {
    if (!m_context.initialised || path.isEmpty()) return false;
    if (!CanOpenBankNow()) {
        OpenBankLater(path);
        return false;
    }
    const QString absolute = QFileInfo(path).absoluteFilePath();
    (void)m_context.bank.TakeStandIn();
    m_context.SetOpeningBank(true);
    m_context.jobs.Run<CheckedBank>(
        JobLane{JobLane::Kind::Bank}, this,
        [file = ToModelPath(absolute)](const std::atomic<bool>&) { return CheckBank(file); },
        [this, absolute](CheckedBank checked) {
            // The boxes and the question wait until this delivery has returned.
            auto shared = std::make_shared<CheckedBank>(std::move(checked));
            m_context.ShowLater(
                [this, absolute, shared] { OnBankChecked(absolute, std::move(*shared)); });
        });
    return true;
}

bool BankController::OpenBankCopy(const QString& path, const QString& bank) {
    if (!OpenBankFile(path)) return false;
    // Set once the opening started (OpenBankFile forgets an earlier one).
    m_context.bank.SetStandIn(ToModelPath(bank));
    return true;
}

void BankController::OnBankChecked(const QString& absolute, CheckedBank checked) {
    QWidget* window = &m_context.window;
    const QString name = QFileInfo(absolute).fileName();
    if (!checked.ok) {
        m_context.SetOpeningBank(false);
        ShowWithReason(window, checked.missing ? IdsOpenBankMissing : IdsOpenBankError,
                       name + QStringLiteral(": ") + FromModel(checked.reason));
        return;
    }
    // The window may have been closed while the question was up.
    if ((m_context.model.CountLoadedSlots() > 0 &&
         ShowMessage(window, IdsReplaceRows, QMessageBox::Ok | QMessageBox::Cancel,
                     QMessageBox::Question) != QMessageBox::Ok) ||
        m_context.closing) {
        m_context.SetOpeningBank(false);
        return;
    }
    const QString data = UserDataPath();
    if (data.isEmpty()) {
        m_context.SetOpeningBank(false);
        ShowWithReason(window, IdsCopyBankError, tr("There is no data folder for this user."));
        return;
    }
    m_context.jobs.Run<MadeBankRows>(
        JobLane{JobLane::Kind::Bank}, this,
        [opened = checked.opened, root = ToModelPath(data + QStringLiteral("/banks")),
         convert = m_context.model.ConvertFormats()](const std::atomic<bool>& cancelled) {
            return CopyAndReadBankRows(*opened, root, convert, cancelled);
        },
        [this, absolute](MadeBankRows made) { OnBankRowsMade(absolute, std::move(made)); });
}

void BankController::OnBankRowsMade(const QString& absolute, MadeBankRows made) {
    m_context.SetOpeningBank(false);
    if (!made.copyFailure.empty()) {
        m_context.ShowLater([this, reason = FromModel(made.copyFailure)] {
            ShowWithReason(&m_context.window, IdsCopyBankError, reason);
        });
        return;
    }
    SlotModel& model = m_context.model;
    // A row load still on its way must not land over the bank's rows.
    m_context.loads->CancelRowJobs();
    std::vector<RowState> before = m_context.history->TakeAllRows();
    const QString bankBefore = m_context.OpenedBank();
    for (int i = 0; i < SlotCount; ++i) {
        const auto row = static_cast<size_t>(i);
        if (made.paths[row].empty()) {
            (void)model.ClearSlot(i);
        } else if (made.records[row] &&
                   !model.PutMadeRow(i, made.paths[row], *made.records[row], made.outcomes[row]) &&
                   !made.failed) {
            made.failed = true;
            made.firstFailure.reason = "the sound device refused the sound";
        }
    }
    std::string standIn = m_context.bank.TakeStandIn();
    m_context.bank.SetOpened(standIn.empty() ? ToModelPath(absolute) : std::move(standIn));
    m_context.history->PushAllRows(tr("open bank %1").arg(QFileInfo(absolute).fileName()),
                                   std::move(before), bankBefore);
    if (made.failed)
        m_context.ShowLater(
            [this, failure = made.firstFailure] { (void)m_context.loads->ShowLoadError(failure); });
}
