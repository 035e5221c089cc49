// The main window's voice banks: opening one into the 16 rows (from the
// menu, Ctrl+O, a drop, the command line or a later copy), the rows'
// origin in their tooltips, and what a save proposes and keeps.

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMetaObject>
#include <QMimeData>
#include <QStandardPaths>

#include <ctime>

#include "app/MainWindow.h"
#include "app/model/BankBackup.h"
#include "app/model/BankRows.h"
#include "controls/FileDropTarget.h"
#include "controls/MessageBox.h"
#include "res/StringTable.h"
#include "savedlg/SaveBankDialog.h"
#include "savedlg/VolumeSource.h"

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

bool MainWindow::IsBankFile(const QString& path) {
    return path.endsWith(QLatin1String(".glw"), Qt::CaseInsensitive);
}

QString MainWindow::UserDataFolder() {
    const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return home.isEmpty() ? QString() : home + QStringLiteral("/Vantor/gridlume-voice-manager");
}

void MainWindow::OpenBankWhenShown(const QString& path) { m_bankToOpen = path; }

void MainWindow::OpenBankLater(const QString& path) {
    // After the drop or the request that named it has been answered.
    QMetaObject::invokeMethod(
        this, [this, path] { (void)OpenBankFile(path); }, Qt::QueuedConnection);
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
         {m_lastVolume.isEmpty() ? QString() : m_lastVolume + QStringLiteral("gridlume"),
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
    const QString absolute = QFileInfo(path).absoluteFilePath();
    OpenedBankFile opened;
    std::string reason;
    if (!ReadBankForOpening(ToModelPath(absolute), &opened, &reason)) {
        ShowWithReason(this, IdsOpenBankError,
                       QFileInfo(absolute).fileName() + QStringLiteral(": ") + FromModel(reason));
        return false;
    }
    if (m_model.CountLoadedSlots() > 0 &&
        ShowMessage(this, IdsReplaceRows, QMessageBox::Ok | QMessageBox::Cancel,
                    QMessageBox::Question) != QMessageBox::Ok)
        return false;
    const QString data = UserDataFolder();
    std::array<std::string, VoiceSlotCount> rows;
    if (data.isEmpty()) {
        ShowWithReason(this, IdsCopyBankError, tr("There is no data folder for this user."));
        return false;
    }
    if (!WriteBankRows(opened, ToModelPath(data + QStringLiteral("/banks")), &rows, &reason)) {
        ShowWithReason(this, IdsCopyBankError, FromModel(reason));
        return false;
    }
    // A row load still on its way must not land over the bank's rows.
    CancelRowJobs();
    LoadFailure first;
    bool failed = false;
    for (int i = 0; i < SlotCount; ++i) {
        const std::string& row = rows[static_cast<size_t>(i)];
        if (row.empty()) {
            (void)m_model.ClearSlot(i);
            continue;
        }
        LoadFailure failure;
        if (!m_model.LoadSlot(i, row, &failure) && !failed) {
            failed = true;
            first = std::move(failure);
        }
    }
    m_openedBankPath = absolute;
    if (failed) (void)ShowLoadError(first);
    return !failed;
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
        name = QFileInfo(m_openedBankPath).completeBaseName();
        // The volume that holds the bank: the longest root its path starts
        // with.
        const SystemVolumeSource system;
        const VolumeSource& source = m_volumes != nullptr ? *m_volumes : system;
        qsizetype longest = 0;
        for (const Volume& listed : source.ListVolumes()) {
            const QString root = FromModel(listed.root);
            if (root.size() > longest && m_openedBankPath.startsWith(root)) {
                longest = root.size();
                volume = root;
            }
        }
    }
    dialog.SetFileName(name);
    dialog.SetVolume(volume);
}

bool MainWindow::BackUpBeforeSave(const QString& bankPath) {
    if (!QFileInfo::exists(bankPath)) return true;
    const QString data = UserDataFolder();
    std::string copy;
    std::string reason = "there is no data folder for this user";
    if (!data.isEmpty() &&
        BackUpBank(ToModelPath(bankPath), ToModelPath(data + QStringLiteral("/backups")),
                   std::time(nullptr), &copy, &reason))
        return true;
    ShowWithReason(this, IdsSaveError,
                   tr("The bank it replaces could not be backed up: %1").arg(FromModel(reason)));
    return false;
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
