#include "app/CardActions.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <ctime>
#include <filesystem>
#include <memory>
#include <utility>

#include "app/EarlierVersionsDialog.h"
#include "app/WindowContext.h"
#include "controls/FileNameEdit.h"
#include "controls/MessageBox.h"
#include "core/BankBackup.h"
#include "jobs/JobRunner.h"
#include "res/StringTable.h"
#include "voicebank/BankName.h"

namespace fs = std::filesystem;

namespace {

std::string ToFile(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromFile(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

const JobLane WriteLane{JobLane::Kind::Card};

// The name field of the save dialog, in a small box of its own.
// A question whose default answer is Cancel; true when it was answered OK.
bool AskFirst(QWidget* parent, int stringId, const QString& text) {
    MessageRequest request;
    request.parent = parent;
    request.stringId = stringId;
    request.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    request.icon = QMessageBox::Question;
    request.defaultButton = QMessageBox::Cancel;
    request.informativeText = text;
    return ShowMessage(std::move(request)) == QMessageBox::Ok;
}

QString AskBankName(QWidget* parent, const QString& title, const QString& proposed) {
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(QObject::tr("Name (letters, digits and '-', at most %1 characters):")
                                 .arg(MaxBankNameLength),
                             &dialog);
    auto* edit = new FileNameEdit(&dialog);
    edit->setObjectName(QStringLiteral("fileName"));
    edit->SetMaxLength(static_cast<int>(MaxBankNameLength));
    edit->SetText(proposed);
    edit->selectAll();
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return dialog.exec() == QDialog::Accepted ? edit->text() : QString();
}

// "new: KIT (only on the card)", "changed: DRUMS, rows 3, 9", one a line.
QString DescribeDifferences(const std::vector<CardDifference>& differences) {
    QStringList lines;
    for (const CardDifference& difference : differences) {
        const QString name = FromFile(difference.name);
        switch (difference.kind) {
        case CardDifference::Kind::New:
            lines << QObject::tr("new: %1 (only on the card)").arg(name);
            break;
        case CardDifference::Kind::Gone:
            lines << QObject::tr("gone: %1 (only in the backup)").arg(name);
            break;
        case CardDifference::Kind::Changed: {
            QStringList rows;
            for (const int row : difference.rows) rows << QString::number(row);
            if (rows.isEmpty()) {
                lines << QObject::tr("changed: %1").arg(name);
            } else {
                lines << (rows.size() == 1 ? QObject::tr("changed: %1, row %2")
                                           : QObject::tr("changed: %1, rows %2"))
                             .arg(name, rows.join(QStringLiteral(", ")));
            }
            break;
        }
        }
    }
    return lines.isEmpty() ? QObject::tr("The card holds the same banks as the backup.")
                           : lines.join(QLatin1Char('\n'));
}

}  // namespace

CardActions::CardActions(QWidget& parent, SlotModel& model, JobRunner& jobs,
                         std::string backupsRoot, std::string cardBackupsRoot)
    : m_parent(parent),
      m_model(model),
      m_jobs(jobs),
      m_backupsRoot(std::move(backupsRoot)),
      m_cardBackupsRoot(std::move(cardBackupsRoot)) {}

QString CardActions::AskNewName(const QString& title, const QString& proposed,
                                const QStringList& names, bool* replace) {
    *replace = false;
    const QString name = AskBankName(&m_parent, title, proposed);
    if (name.isEmpty()) return {};
    if (const std::string problem = BankNameProblem(ToFile(name)); !problem.empty()) {
        ShowWithReason(&m_parent, IdsIllegalPath, QString::fromStdString(problem));
        return {};
    }
    if (names.contains(name, Qt::CaseInsensitive)) {
        // The bank of that name is kept first, as a save keeps the one it replaces.
        if (ShowMessage(&m_parent, IdsReplaceFile, QMessageBox::Ok | QMessageBox::Cancel,
                        QMessageBox::Question) != QMessageBox::Ok)
            return {};
        *replace = true;
    }
    return name;
}

bool CardActions::RenameBank(const CardPlace& place, const QString& name,
                             const QStringList& names) {
    if (m_running || place.root.empty()) return false;
    bool replace = false;
    // A new letter case of its own name replaces no other bank.
    QStringList others = names;
    others.removeAll(name);
    const QString newName = AskNewName(tr("Rename %1").arg(name), name, others, &replace);
    if (newName.isEmpty() || newName == name) return false;
    RunWrite(
        tr("Renaming %1 to %2...").arg(name, newName),
        [place, name = ToFile(name), newName = ToFile(newName), replace] {
            return RenameCardBank(place, name, newName, replace);
        },
        0, newName);
    return true;
}

bool CardActions::DuplicateBank(const CardPlace& place, const QString& name,
                                const QStringList& names) {
    if (m_running || place.root.empty()) return false;
    bool replace = false;
    const QString newName =
        AskNewName(tr("Duplicate %1").arg(name),
                   CleanBankName(ToFile(name + QStringLiteral("-2"))).c_str(), names, &replace);
    if (newName.isEmpty() || newName.compare(name, Qt::CaseInsensitive) == 0) return false;
    RunWrite(
        tr("Copying %1 to %2...").arg(name, newName),
        [place, name = ToFile(name), newName = ToFile(newName), replace] {
            return CopyCardBank(place, name, newName, replace);
        },
        0, newName);
    return true;
}

bool CardActions::DeleteBank(const CardPlace& place, const QString& name) {
    if (m_running || place.root.empty()) return false;
    // Where the copy goes and the two ways back from there.
    if (!AskFirst(&m_parent, IdsDeleteCardBank,
                  tr("%1: a copy is kept first in %2. \"Earlier versions...\" here, "
                     "or \"glwtool restore %1 %3\", brings it back.")
                      .arg(name, FromFile(m_backupsRoot) + QLatin1Char('/') + name,
                           FromFile(place.root))))
        return false;
    RunWrite(tr("Deleting %1...").arg(name),
             [place, name = ToFile(name)] { return RemoveCardBank(place, name); });
    return true;
}

bool CardActions::BackUpCard(const CardPlace& place, const QString& cardLabel) {
    if (m_running || place.root.empty()) return false;
    if (m_cardBackupsRoot.empty()) {
        ShowWithReason(&m_parent, IdsCardError, tr("There is no data folder for this user."));
        return false;
    }
    const std::string folder =
        NewCardBackupFolder(m_cardBackupsRoot, ToFile(cardLabel), std::time(nullptr));
    RunWrite(
        tr("Backing up the card to %1...").arg(FromFile(folder)),
        [place, folder] { return ::BackUpCard(place, folder); }, IdsCardBackedUp);
    return true;
}

bool CardActions::RestoreCard(const CardPlace& place) {
    if (m_running || place.root.empty()) return false;
    ChooseBackup(tr("Restore a backup"), [this, place](const std::string& folder) {
        if (!AskFirst(&m_parent, IdsRestoreCard,
                      tr("Each bank replaced is kept first in %1.").arg(FromFile(m_backupsRoot))))
            return;
        RunWrite(tr("Restoring %1...").arg(FromFile(folder)),
                 [place, folder] { return ::RestoreCard(place, folder); });
    });
    return true;
}

bool CardActions::CompareCard(const CardPlace& place) {
    if (m_running || place.root.empty()) return false;
    ChooseBackup(tr("Compare with a backup"), [this, root = place.root](const std::string& folder) {
        struct Compared {
            bool ok = false;
            std::vector<CardDifference> differences;
            std::string reason;
        };
        SetRunning(true, tr("Comparing the card with %1...").arg(FromFile(folder)));
        m_jobs.Run<Compared>(
            WriteLane, this,
            [root, folder](const std::atomic<bool>&) {
                Compared compared;
                compared.ok = ::CompareCard(root, folder, &compared.differences, &compared.reason);
                return compared;
            },
            [this, folder](Compared compared) {
                const QString reason = compared.ok ? QString() : FromFile(compared.reason);
                // The box waits until this delivery has returned.
                QTimer::singleShot(0, this, [this, folder, reason, compared] {
                    if (!reason.isEmpty()) {
                        ShowOutcome(reason);
                        return;
                    }
                    MessageRequest request;
                    request.parent = &m_parent;
                    request.stringId = IdsCardCompared;
                    request.icon = QMessageBox::Information;
                    request.informativeText = FromFile(folder) + QStringLiteral(":\n") +
                                              DescribeDifferences(compared.differences);
                    (void)ShowMessage(std::move(request));
                    ShowOutcome(QString());
                });
            });
    });
    return true;
}

bool CardActions::ShowEarlierVersions(const CardPlace& place, const QString& selected,
                                      const QString& selectedPath) {
    if (m_running || place.root.empty()) return false;
    SetRunning(true, tr("Listing the kept copies..."));
    m_jobs.Run<QStringList>(
        WriteLane, this,
        [root = m_backupsRoot](const std::atomic<bool>&) {
            // Every bank name with a copy kept: a deleted bank's too.
            QStringList names;
            std::error_code ec;
            for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
                const std::string name = it->path().filename().string();
                if (IsValidBankName(name) && !ListBankBackups(root, name).empty())
                    names << QString::fromStdString(name);
            }
            names.sort(Qt::CaseInsensitive);
            return names;
        },
        [this, place, selected, selectedPath](QStringList names) {
            QTimer::singleShot(0, this, [this, place, selected, selectedPath, names] {
                QString name = selected;
                if (!names.isEmpty()) {
                    QInputDialog dialog(&m_parent);
                    dialog.setWindowTitle(tr("Earlier versions"));
                    dialog.setLabelText(tr("Bank (copies are kept of these):"));
                    dialog.setComboBoxItems(names);
                    const qsizetype at = names.indexOf(selected);
                    if (at >= 0) dialog.setTextValue(names[at]);
                    dialog.setMinimumWidth(360);
                    name = dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
                }
                if (name.isEmpty()) {
                    ShowOutcome(QString());
                    return;
                }
                const QString bank =
                    name == selected && !selectedPath.isEmpty()
                        ? selectedPath
                        : FromFile(place.root) + QLatin1String(BankFolderName.data()) +
                              QLatin1Char('/') + name + QLatin1String(BankFileExtension.data());
                EarlierVersionsDialog versions(m_model, name, bank, m_backupsRoot, &m_parent);
                versions.SetCardVolume(place.volume);
                if (versions.exec() == EarlierVersionsDialog::OpenAsked) {
                    SetRunning(false, QString());
                    emit CopyOpenAsked(versions.ChosenCopy(), bank);
                    return;
                }
                ShowOutcome(QString());  // a copy may have been restored to the card
            });
        });
    return true;
}

void CardActions::ChooseBackup(const QString& title,
                               std::function<void(const std::string&)> chosen) {
    SetRunning(true, tr("Listing the backups..."));
    m_jobs.Run<std::vector<CardBackupFolder>>(
        WriteLane, this,
        [root = m_cardBackupsRoot](const std::atomic<bool>&) {
            return root.empty() ? std::vector<CardBackupFolder>{} : ListCardBackups(root);
        },
        [this, title, chosen = std::move(chosen)](std::vector<CardBackupFolder> backups) {
            QTimer::singleShot(0, this, [this, title, chosen, backups] {
                if (backups.empty()) {
                    ShowOutcome(tr("No backup of a card was found in %1.")
                                    .arg(FromFile(m_cardBackupsRoot)));
                    return;
                }
                QStringList items;
                for (const CardBackupFolder& backup : backups)
                    items
                        << (backup.banks == 1
                                ? tr("%1 (1 bank)").arg(FromFile(backup.name))
                                : tr("%1 (%2 banks)").arg(FromFile(backup.name)).arg(backup.banks));
                QString item;
                QInputDialog dialog(&m_parent);
                dialog.setWindowTitle(title);
                dialog.setLabelText(tr("Backup (newest first):"));
                dialog.setComboBoxItems(items);
                dialog.setMinimumWidth(360);  // the title shows whole
                if (dialog.exec() == QDialog::Accepted) item = dialog.textValue();
                const qsizetype index = items.indexOf(item);
                if (index >= 0) chosen(backups[static_cast<size_t>(index)].path);
                // Cancelled at a question: the view takes its controls back.
                if (!m_jobs.IsBusy(WriteLane)) ShowOutcome(QString());
            });
        });
}

void CardActions::RunWrite(const QString& doing, std::function<CardOutcome()> write, int doneId,
                           const QString& newBank) {
    SetRunning(true, doing);
    m_jobs.Run<CardOutcome>(
        WriteLane, this, [write = std::move(write)](const std::atomic<bool>&) { return write(); },
        [this, doneId, newBank](CardOutcome outcome) {
            // The box waits until this delivery has returned.
            QTimer::singleShot(0, this, [this, doneId, newBank, outcome = std::move(outcome)] {
                if (outcome.ok && !newBank.isEmpty()) emit BankWritten(newBank);
                if (outcome.ok && doneId != 0) {
                    MessageRequest request;
                    request.parent = &m_parent;
                    request.stringId = doneId;
                    request.icon = QMessageBox::Information;
                    if (!outcome.written.empty())
                        request.informativeText =
                            QFileInfo(FromFile(outcome.written.front())).path();
                    (void)ShowMessage(std::move(request));
                }
                ShowOutcome(outcome.ok ? QString() : FromFile(outcome.reason));
            });
        });
}

void CardActions::ShowOutcome(const QString& reason) {
    if (!reason.isEmpty()) ShowWithReason(&m_parent, IdsCardError, reason);
    SetRunning(false, QString());
    emit Finished(reason);
}

void CardActions::SetRunning(bool running, const QString& doing) {
    m_running = running;
    if (running) emit Started(doing);
}
