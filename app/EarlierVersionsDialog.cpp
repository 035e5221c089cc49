#include "app/EarlierVersionsDialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <ctime>
#include <utility>

#include "controls/MessageBox.h"
#include "core/BankBackup.h"
#include "res/StringTable.h"
#include "voicebank/BankFile.h"
#include "voicebank/BankFolder.h"
#include "voicebank/VoiceBankImage.h"

namespace {

std::string ToFile(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromFile(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::shared_ptr<const VoiceBankImage> ReadImage(const std::string& path) {
    BankFile file;
    std::string why;
    if (!ReadBankFile(path, &file, &why) || !file.report.valid || !file.report.bank.image)
        return nullptr;
    return std::shared_ptr<const VoiceBankImage>(std::move(file.report.bank.image));
}

// The copies of name, newest first, each read and set against the card's
// bank (worker).
std::vector<EarlierVersionsDialog::Version> ReadVersions(const std::string& root,
                                                         const std::string& name,
                                                         const std::string& cardBank,
                                                         const std::atomic<bool>& cancelled) {
    std::vector<EarlierVersionsDialog::Version> versions;
    const std::shared_ptr<const VoiceBankImage> card =
        cardBank.empty() ? nullptr : ReadImage(cardBank);
    for (const BankBackupCopy& copy : ListBankBackups(root, name)) {
        if (cancelled) break;
        EarlierVersionsDialog::Version version;
        version.path = copy.path;
        version.image = ReadImage(copy.path);
        QString text = QString::fromStdString(DescribeBackupTime(copy.stamp));
        if (!version.image) {
            text += QObject::tr(", damaged");
        } else {
            int filled = 0;
            QStringList differ;
            for (size_t k = 0; k < VoiceSlotCount; ++k) {
                const AudioData& row = version.image->voices[k];
                filled += row.channels != 0 ? 1 : 0;
                if (card && !(row == card->voices[k])) differ << QString::number(k + 1);
            }
            text += filled == 1 ? QObject::tr(", 1 row") : QObject::tr(", %1 rows").arg(filled);
            if (!card) {
                text += QObject::tr(", no bank on the card to compare");
            } else if (differ.isEmpty()) {
                text += QObject::tr(", same as the card");
            } else {
                text += QObject::tr(", differs in rows %1").arg(differ.join(QStringLiteral(", ")));
            }
        }
        version.text = text;
        versions.push_back(std::move(version));
    }
    return versions;
}

}  // namespace

EarlierVersionsDialog::EarlierVersionsDialog(SlotModel& model, QString name, QString cardBank,
                                             std::string backupsRoot, QWidget* parent)
    : QDialog(parent),
      m_model(model),
      m_name(std::move(name)),
      m_cardBank(std::move(cardBank)),
      m_backupsRoot(std::move(backupsRoot)) {
    setWindowTitle(tr("Earlier versions of %1").arg(m_name));
    auto* layout = new QVBoxLayout(this);
    m_status = new QLabel(tr("Reading the copies kept of %1...").arg(m_name), this);
    layout->addWidget(m_status);
    auto* lists = new QHBoxLayout;
    m_list = new QListWidget(this);
    m_list->setMinimumWidth(380);
    m_rows = new QListWidget(this);
    lists->addWidget(m_list, 3);
    lists->addWidget(m_rows, 1);
    layout->addLayout(lists);
    auto* buttons = new QDialogButtonBox(this);
    m_play = buttons->addButton(tr("&Play"), QDialogButtonBox::ActionRole);
    m_open = buttons->addButton(tr("&Open"), QDialogButtonBox::AcceptRole);
    m_restore = buttons->addButton(tr("&Restore to card"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    m_restore->setToolTip(m_cardBank.isEmpty() ? tr("No card is known for this bank") : m_cardBank);
    for (QPushButton* button : {m_play, m_open, m_restore}) {
        button->setEnabled(false);
        button->setAutoDefault(false);
    }
    connect(m_list, &QListWidget::currentRowChanged, this, &EarlierVersionsDialog::ShowRows);
    connect(m_rows, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { (void)PlayRow(item->data(Qt::UserRole).toInt()); });
    connect(m_play, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem* item = m_rows->currentItem())
            (void)PlayRow(item->data(Qt::UserRole).toInt());
    });
    connect(m_open, &QPushButton::clicked, this, [this] {
        if (const Version* version = Selected()) {
            m_chosen = FromFile(version->path);
            done(OpenAsked);
        }
    });
    connect(m_restore, &QPushButton::clicked, this, &EarlierVersionsDialog::RestoreSelected);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    List();
}

EarlierVersionsDialog::~EarlierVersionsDialog() { m_model.StopAudition(); }

void EarlierVersionsDialog::List() {
    m_listed = false;
    struct Listing {
        std::vector<Version> versions;
        bool cardHasBank = true;
    };
    m_jobs.Run<Listing>(
        JobLane{JobLane::Kind::List}, this,
        [root = m_backupsRoot, name = ToFile(m_name),
         card = ToFile(m_cardBank)](const std::atomic<bool>& cancelled) {
            Listing listing;
            listing.versions = ReadVersions(root, name, card, cancelled);
            listing.cardHasBank = !card.empty() && SomethingStandsAt(card);
            return listing;
        },
        [this](Listing listing) {
            m_cardHasBank = listing.cardHasBank;
            ShowVersions(std::move(listing.versions));
        });
}

void EarlierVersionsDialog::ShowVersions(std::vector<Version> versions) {
    m_versions = std::move(versions);
    m_list->clear();
    for (const Version& version : m_versions) m_list->addItem(version.text);
    m_status->setText(m_versions.empty()
                          ? tr("No copies of %1 are kept yet: one is kept each time a save "
                               "replaces the bank.")
                                .arg(m_name)
                          : tr("Copies kept of %1, newest first:").arg(m_name));
    if (!m_versions.empty()) m_list->setCurrentRow(0);
    ShowRows();
    m_listed = true;
    emit Listed();
}

const EarlierVersionsDialog::Version* EarlierVersionsDialog::Selected() const {
    const int row = m_list->currentRow();
    return row >= 0 && static_cast<size_t>(row) < m_versions.size()
               ? &m_versions[static_cast<size_t>(row)]
               : nullptr;
}

void EarlierVersionsDialog::ShowRows() {
    m_model.StopAudition();
    m_rows->clear();
    const Version* version = Selected();
    const bool readable = version != nullptr && version->image != nullptr;
    if (readable) {
        for (int k = 0; k < SlotCount; ++k) {
            const AudioData& row = version->image->voices[static_cast<size_t>(k)];
            if (row.channels == 0) continue;
            auto* item = new QListWidgetItem(
                tr("Row %1, %2 ms").arg(k + 1).arg(static_cast<qint64>(row.frames) * 1000 / 44100),
                m_rows);
            item->setData(Qt::UserRole, k);
        }
        if (m_rows->count() > 0) m_rows->setCurrentRow(0);
    }
    const bool idle = !m_jobs.IsBusy();
    m_play->setEnabled(readable && m_rows->count() > 0);
    m_open->setEnabled(readable && idle);
    m_restore->setEnabled(readable && idle && !m_cardBank.isEmpty());
}

bool EarlierVersionsDialog::PlayRow(int row) {
    const Version* version = Selected();
    if (version == nullptr || !version->image || !SlotModel::IsValidSlot(row)) return false;
    return m_model.AuditionStoredRow(version->image->voices[static_cast<size_t>(row)]);
}

void EarlierVersionsDialog::RestoreSelected() {
    const Version* version = Selected();
    if (version == nullptr || !version->image || m_cardBank.isEmpty() || m_jobs.IsBusy()) return;
    // Whether a bank stands there was looked at by the listing, off this
    // thread; a bank that came since is still backed up by the restore.
    if (m_cardHasBank && ShowMessage(this, IdsReplaceFile, QMessageBox::Ok | QMessageBox::Cancel,
                                     QMessageBox::Question) != QMessageBox::Ok)
        return;
    m_open->setEnabled(false);
    m_restore->setEnabled(false);
    struct Outcome {
        bool ok = false;
        std::string reason;
    };
    m_jobs.Run<Outcome>(
        JobLane{JobLane::Kind::Restore}, this,
        [copy = version->path, bank = ToFile(m_cardBank), root = m_backupsRoot,
         volume = m_cardVolume](const std::atomic<bool>&) {
            Outcome outcome;
            if (!volume.root.empty()) outcome.reason = CheckVolumeIdentity(volume);
            if (!outcome.reason.empty()) return outcome;
            std::string backup;
            outcome.ok =
                RestoreBankCopy(copy, bank, root, std::time(nullptr), &backup, &outcome.reason);
            return outcome;
        },
        [this](Outcome outcome) {
            if (!outcome.ok) {
                MessageRequest message;
                message.parent = this;
                message.stringId = IdsSaveError;
                message.informativeText = FromFile(outcome.reason);
                (void)ShowMessage(std::move(message));
                ShowRows();
                emit Restored(FromFile(outcome.reason));
                return;
            }
            emit Restored(QString());
            List();  // the bank it replaced is a copy now
        });
}
