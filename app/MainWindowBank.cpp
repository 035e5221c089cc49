// The main window's voice banks: opening one into the 16 rows (from the
// menu, Ctrl+O, a drop, the command line or a later copy), the rows'
// origin in their tooltips, and what a save proposes and keeps.

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QStandardPaths>
#include <QTimer>

#include <atomic>
#include <ctime>
#include <memory>
#include <utility>

#include "app/MainWindow.h"
#include "core/BankBackup.h"
#include "core/UserData.h"
#include "core/BankRows.h"
#include "controls/FileDropTarget.h"
#include "controls/MessageBox.h"
#include "res/StringTable.h"
#include "savedlg/SaveBankDialog.h"
#include "savedlg/VolumeSource.h"
#include "voicebank/BankName.h"

namespace {

std::string ToModelPath(const QString& path) { return path.toUtf8().toStdString(); }
QString FromModel(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void ShowWithReason(QWidget* parent, int stringId, const QString& reason) {
    MessageRequest request;
    request.parent = parent;
    request.stringId = stringId;
    request.informativeText = reason;
    (void)ShowMessage(std::move(request));
}

}  // namespace

bool MainWindow::IsBankFile(const QString& path) { return IsBankFileName(path.toStdString()); }

QString MainWindow::UserDataFolder() {
    return QFile::decodeName(::UserDataFolder().c_str());
}

void MainWindow::OpenBankWhenShown(const QString& path) { m_bankToOpen = path; }

void MainWindow::OpenBankLater(const QString& path) {
    // One question at a time: only the newest request is kept, and a burst
    // of them posts a single event.
    m_pendingBank = path;
    if (m_pendingBankPosted) return;
    m_pendingBankPosted = true;
    // After the drop or the request that named it has been answered.
    QTimer::singleShot(0, this, &MainWindow::OpenPendingBank);
}

bool MainWindow::CanOpenBankNow() const {
    // A dialog, box or menu open over the window (the row editor, the save
    // dialog, the question of an earlier bank) or a bank being opened.
    const QWidget* modal = QApplication::activeModalWidget();
    return !m_openingBank && (modal == nullptr || modal == this) &&
           QApplication::activePopupWidget() == nullptr;
}

void MainWindow::OpenPendingBank() {
    m_pendingBankPosted = false;
    if (m_pendingBank.isEmpty() || m_closing) return;
    if (!CanOpenBankNow()) {
        // Tried again once the dialog has closed.
        m_pendingBankPosted = true;
        QTimer::singleShot(PendingBankRetryMs, this, &MainWindow::OpenPendingBank);
        return;
    }
    (void)OpenBankFile(std::exchange(m_pendingBank, QString()));
}

bool MainWindow::BrowseForBankFile(QString& out) {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(tr("Voice banks (*.glw *.GLW)"));
    // The last volume's bank folder, else the volume, else the last opened
    // bank's folder; the home folder when none of them is there.
    QString start;
    for (const QString& candidate :
         {m_lastVolume.isEmpty() ? QString() : m_lastVolume + QLatin1String(BankFolderName.data()),
          m_lastVolume,
          m_openedBankPath.isEmpty() ? QString() : QFileInfo(m_openedBankPath).path()}) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isDir()) {
            start = candidate;
            break;
        }
    }
    dialog.setDirectory(start.isEmpty() ? QDir::homePath() : start);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return false;
    out = chosen.front();
    return true;
}

void MainWindow::OnOpenBank() {
    QString path;
    if (BrowseForBankFile(path)) (void)OpenBankFile(path);
}

bool MainWindow::OpenBankFile(const QString& path) {
    if (!m_initialised || path.isEmpty()) return false;
    if (!CanOpenBankNow()) {
        OpenBankLater(path);
        return false;
    }
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_openBankAs.clear();
    SetOpeningBank(true);
    m_jobs.Run<CheckedBank>(
        JobLane{JobLane::Kind::Bank}, this,
        [file = ToModelPath(absolute)](const std::atomic<bool>&) { return CheckBank(file); },
        [this, absolute](CheckedBank checked) { OnBankChecked(absolute, std::move(checked)); });
    return true;
}

void MainWindow::OnBankChecked(const QString& absolute, CheckedBank checked) {
    const QString name = QFileInfo(absolute).fileName();
    if (!checked.ok) {
        SetOpeningBank(false);
        ShowWithReason(this, checked.missing ? IdsOpenBankMissing : IdsOpenBankError,
                       name + QStringLiteral(": ") + FromModel(checked.reason));
        return;
    }
    // The window may have been closed while the question was up.
    if ((m_model.CountLoadedSlots() > 0 &&
         ShowMessage(this, IdsReplaceRows, QMessageBox::Ok | QMessageBox::Cancel,
                     QMessageBox::Question) != QMessageBox::Ok) ||
        m_closing) {
        SetOpeningBank(false);
        return;
    }
    const QString data = UserDataFolder();
    if (data.isEmpty()) {
        SetOpeningBank(false);
        ShowWithReason(this, IdsCopyBankError, tr("There is no data folder for this user."));
        return;
    }
    m_jobs.Run<MadeBankRows>(
        JobLane{JobLane::Kind::Bank}, this,
        [opened = checked.opened, root = ToModelPath(data + QStringLiteral("/banks")),
         convert = m_model.ConvertFormats()](const std::atomic<bool>& cancelled) {
            return CopyAndReadBankRows(*opened, root, convert, cancelled);
        },
        [this, absolute](MadeBankRows made) { OnBankRowsMade(absolute, std::move(made)); });
}

void MainWindow::OnBankRowsMade(const QString& absolute, MadeBankRows made) {
    SetOpeningBank(false);
    if (!made.copyFailure.empty()) {
        ShowWithReason(this, IdsCopyBankError, FromModel(made.copyFailure));
        return;
    }
    // A row load still on its way must not land over the bank's rows.
    CancelRowJobs();
    std::vector<RowState> before = TakeAllRows();
    const QString bankBefore = m_openedBankPath;
    for (int i = 0; i < SlotCount; ++i) {
        const auto row = static_cast<size_t>(i);
        if (made.paths[row].empty()) {
            (void)m_model.ClearSlot(i);
        } else if (made.records[row] &&
                   !m_model.PutMadeRow(i, made.paths[row], *made.records[row],
                                       made.outcomes[row]) &&
                   !made.failed) {
            made.failed = true;
            made.firstFailure.reason = "the sound device refused the sound";
        }
    }
    m_openedBankPath = m_openBankAs.isEmpty() ? absolute : std::exchange(m_openBankAs, {});
    PushAllRows(tr("open bank %1").arg(QFileInfo(absolute).fileName()), std::move(before),
                bankBefore);
    if (made.failed) (void)ShowLoadError(made.firstFailure);
}

void MainWindow::SetOpeningBank(bool opening) {
    m_openingBank = opening;
    // The rows the bank replaces take no clicks or drops meanwhile.
    for (int i = 0; i < SlotCount; ++i) UpdateRowControls(i);
    if (opening) {
        m_panel.SetSaveEnabled(false);
        setCursor(Qt::BusyCursor);
    } else {
        UpdateSaveButton();
        unsetCursor();
    }
}

QString MainWindow::BankOriginLine(const SlotFormat& format) {
    return tr("Row %1 of the bank \"%2\", %3 frames")
        .arg(QString::number(format.origin.row), FromModel(format.origin.bankName),
             QString::number(format.frames));
}

void MainWindow::ProposeSaveTarget(SaveBankDialog& dialog) const {
    QString volume = m_lastVolume;
    QString name = MakeDefaultBankName();
    if (!m_openedBankPath.isEmpty()) {
        // The volume that holds the bank, only when it was opened from that
        // volume's bank folder (not a backup or a download elsewhere).
        const QString folder = QFileInfo(m_openedBankPath).path() + QLatin1Char('/');
        const SystemVolumeSource system;
        const VolumeSource& source = m_volumes != nullptr ? *m_volumes : system;
        for (const Volume& listed : source.ListVolumes()) {
            const QString root = QFile::decodeName(QByteArray::fromStdString(listed.root));
            if (folder == root + QStringLiteral("gridlume/")) volume = root;
        }
        // The name it was saved under, else the bank's stored name, else
        // its file name cleaned to the rule.
        std::string proposed;
        if (m_openedBankPath == m_savedBankPath)
            proposed =
                QFile::encodeName(QFileInfo(m_savedBankPath).completeBaseName()).toStdString();
        for (int slot = 0; slot < SlotCount && proposed.empty(); ++slot) {
            SlotFormat format;
            if (m_model.ReadSlotFormat(slot, &format) && format.fromBank &&
                IsValidBankName(format.origin.bankName))
                proposed = format.origin.bankName;
        }
        if (proposed.empty())
            proposed = CleanBankName(
                QFile::encodeName(QFileInfo(m_openedBankPath).completeBaseName()).toStdString());
        if (!proposed.empty()) name = QString::fromStdString(proposed);
    }
    dialog.SetFileName(name);
    dialog.SetVolume(volume);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // The rows take their own drops; the rest of the window takes a bank.
    if (IsBankFile(FileDropTarget::SingleLocalFile(event->mimeData()))) {
        event->setDropAction(
            FileDropTarget::ChooseDropAction(event->possibleActions(), event->proposedAction()));
        event->accept();
        return;
    }
    event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = FileDropTarget::SingleLocalFile(event->mimeData());
    if (!IsBankFile(path)) {
        event->ignore();
        return;
    }
    event->setDropAction(
        FileDropTarget::ChooseDropAction(event->possibleActions(), event->proposedAction()));
    event->accept();
    OpenBankLater(path);
}
