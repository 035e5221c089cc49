#include "app/SaveController.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

#include <ctime>
#include <memory>
#include <utility>

#include "app/WindowContext.h"
#include "controls/MessageBox.h"
#include "controls/SlotPanel.h"
#include "core/BankSave.h"
#include "res/StringTable.h"
#include "savedlg/SaveBankDialog.h"
#include "voicebank/BankName.h"
#include "volumes/VolumeSource.h"

SaveController::SaveController(WindowContext& context, QObject* parent)
    : QObject(parent), m_context(context) {}

bool SaveController::IsSaving() const { return m_context.saving; }

QString SaveController::MakeBankName(const QDateTime& time) {
    const QDate date = time.date();
    const QTime clock = time.time();
    const int hour = clock.hour();
    const char hourChar = static_cast<char>(hour < 10 ? '0' + hour : hour + 55);
    return QString::asprintf("%02d%02d%c%02d%02d-VOICE", date.month(), date.day(), hourChar,
                             clock.minute(), clock.second());
}

QString SaveController::MakeDefaultBankName() { return MakeBankName(QDateTime::currentDateTime()); }

void SaveController::OnSaveButton() { RunSaveDialog(QString(), QString()); }

void SaveController::RunSaveDialog(const QString& name, const QString& volume) {
    if (m_context.saving || m_context.closing) return;
    QWidget* window = &m_context.window;
    std::unique_ptr<SaveBankDialog> dialog =
        m_context.volumes != nullptr
            ? std::make_unique<SaveBankDialog>(*m_context.volumes, m_context.jobs, window)
            : std::make_unique<SaveBankDialog>(m_context.jobs, window);
    ProposeSaveTarget(*dialog);
    // Back after a failed save: the name and volume the musician chose.
    if (!name.isEmpty()) {
        dialog->SetFileName(name);
        dialog->SetVolume(volume);
        dialog->SetPreferredVolume(QString());
    }
    if (dialog->exec() != QDialog::Accepted) return;
    std::shared_ptr<const VoiceBankImage> image = m_context.model.CopyBankImage();
    if (!image) {
        ShowMessage(window, IdsSaveError);
        return;
    }
    BankSaveRequest request;
    const QString path = dialog->GetFilePath();
    request.path = QFile::encodeName(path).toStdString();
    request.volume = dialog->GetVolumeIdentity();
    const QString data = UserDataPath();
    if (!data.isEmpty()) request.backupsRoot = ToModelPath(data + QStringLiteral("/backups"));
    request.now = std::time(nullptr);
    const QString chosenVolume = dialog->GetVolume();
    const QString chosenName = QFileInfo(path).completeBaseName();
    dialog.reset();
    // Build, write, sync and backup run on a worker; the rows wait.
    SetSaving(true);
    m_context.jobs.Run<BankSaveOutcome>(
        JobLane{JobLane::Kind::Save}, this,
        [image, request](const std::atomic<bool>&) { return ExportVoiceBank(*image, request); },
        [this, path, chosenVolume, chosenName](BankSaveOutcome outcome) {
            SetSaving(false);
            if (!outcome.saved) {
                // The box waits until this delivery has returned; then the
                // dialog comes back with the name typed, not lost.
                m_context.ShowLater([this, reason = outcome.reason, chosenName, chosenVolume] {
                    ShowWithReason(&m_context.window, IdsSaveError,
                                   QFile::decodeName(QByteArray::fromStdString(reason)));
                    QTimer::singleShot(0, this, [this, chosenName, chosenVolume] {
                        RunSaveDialog(chosenName, chosenVolume);
                    });
                });
                return;
            }
            m_context.lastVolume = chosenVolume;
            // The rows are now that bank: the next save proposes it, and its
            // earlier versions are listed.
            m_context.bank.SetSaved(ToModelPath(path));
        });
}

void SaveController::SetSaving(bool saving) {
    m_context.saving = saving;
    m_context.panel.setEnabled(!saving);
    if (saving) {
        m_context.window.setCursor(Qt::BusyCursor);
    } else {
        m_context.window.unsetCursor();
    }
}

void SaveController::ProposeSaveTarget(SaveBankDialog& dialog) const {
    QString name = MakeDefaultBankName();
    const QString opened = m_context.OpenedBank();
    if (!opened.isEmpty()) {
        // The volume that holds the bank, only when it was opened from that
        // volume's bank folder (not a backup or a download elsewhere): the
        // dialog prefers it when it lists it.
        const QString folder = QFileInfo(opened).path() + QLatin1Char('/');
        const QString bankFolder = QLatin1String(BankFolderName.data()) + QLatin1Char('/');
        if (folder.endsWith(bankFolder))
            dialog.SetPreferredVolume(folder.chopped(bankFolder.size()));
        // The name it was saved under, else the bank's stored name, else
        // its file name cleaned to the rule.
        std::string proposed;
        if (m_context.bank.Opened() == m_context.bank.Saved())
            proposed =
                QFile::encodeName(QFileInfo(FromModel(m_context.bank.Saved())).completeBaseName())
                    .toStdString();
        for (int slot = 0; slot < SlotCount && proposed.empty(); ++slot) {
            SlotFormat format;
            if (m_context.model.ReadSlotFormat(slot, &format) && format.fromBank &&
                IsValidBankName(format.origin.bankName))
                proposed = format.origin.bankName;
        }
        if (proposed.empty())
            proposed = CleanBankName(
                QFile::encodeName(QFileInfo(opened).completeBaseName()).toStdString());
        if (!proposed.empty()) name = QString::fromStdString(proposed);
    }
    dialog.SetFileName(name);
    dialog.SetVolume(m_context.lastVolume);
}
