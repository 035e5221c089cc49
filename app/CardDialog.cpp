#include "app/CardDialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

#include "app/CardActions.h"
#include "app/CardRowList.h"
#include "core/SlotModel.h"

namespace {

QString FromFile(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

const JobLane ListLane{JobLane::Kind::List};
const JobLane RowsLane{JobLane::Kind::Details};

enum BankColumn { NameColumn, RowsColumn, SizeColumn, DateColumn, NoteColumn, ColumnCount };

QString Bytes(std::uintmax_t bytes) {
    return QLocale().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeSIFormat);
}

// The card's label: its name in the list without the mount point after it.
QString CardLabel(const Volume& volume) {
    const QString shown = FromFile(volume.displayName);
    QString root = FromFile(volume.root);
    if (root.size() > 1 && root.endsWith(QLatin1Char('/'))) root.chop(1);
    const QString tail = QStringLiteral(" (") + root + QLatin1Char(')');
    return shown.endsWith(tail) ? shown.left(shown.size() - tail.size()) : QString();
}

bool IsClosingKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

}  // namespace

CardDialog::CardDialog(SlotModel& model, const VolumeSource& volumes, CardFolders folders,
                       QWidget* parent)
    : QDialog(parent),
      m_model(model),
      m_volumes(volumes),
      m_folders(std::move(folders)),
      m_chosenRoot(m_folders.volume) {
    m_actions = std::make_unique<CardActions>(*this, m_model, m_jobs, m_folders.backupsRoot,
                                              m_folders.cardBackupsRoot);
    BuildControls();
    connect(m_actions.get(), &CardActions::Started, this, [this](const QString& doing) {
        m_status->setText(doing);
        UpdateButtons();
    });
    connect(m_actions.get(), &CardActions::BankWritten, this,
            [this](const QString& name) { m_selectName = name; });
    connect(m_actions.get(), &CardActions::Finished, this, &CardDialog::Refresh);
    connect(m_actions.get(), &CardActions::CopyOpenAsked, this,
            [this](const QString& copy, const QString& bank) {
                m_chosen = copy;
                m_chosenCopyOf = bank;
                done(OpenAsked);
            });
    Refresh();
}

CardDialog::~CardDialog() { m_model.StopAudition(); }

void CardDialog::BuildControls() {
    setWindowTitle(tr("Card"));
    auto* layout = new QVBoxLayout(this);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    auto* lists = new QHBoxLayout;
    m_volumeList = new QListWidget(this);
    m_volumeList->setObjectName(QStringLiteral("volumes"));
    m_volumeList->setAccessibleName(tr("Volume"));
    m_volumeList->setMinimumWidth(160);
    m_bankList = new QTreeWidget(this);
    m_bankList->setObjectName(QStringLiteral("banks"));
    m_bankList->setAccessibleName(tr("Voice banks"));
    m_bankList->setColumnCount(ColumnCount);
    m_bankList->setHeaderLabels({tr("Name"), tr("Rows"), tr("Size"), tr("Modified"), tr("Note")});
    m_bankList->setRootIsDecorated(false);
    m_bankList->setMinimumWidth(420);
    m_bankList->header()->setStretchLastSection(true);
    m_rowList = new CardRowList(m_model, m_jobs, this);
    m_rowList->setObjectName(QStringLiteral("rows"));
    m_rowList->setMinimumWidth(140);
    lists->addWidget(m_volumeList, 2);
    lists->addWidget(m_bankList, 5);
    lists->addWidget(m_rowList, 2);
    layout->addLayout(lists);
    m_space = new QLabel(this);
    m_space->setTextFormat(Qt::PlainText);
    layout->addWidget(m_space);

    auto* bankButtons = new QHBoxLayout;
    m_play = new QPushButton(tr("&Play"), this);
    m_open = new QPushButton(tr("&Open"), this);
    for (QPushButton* button : {m_play, m_open}) bankButtons->addWidget(button);
    for (const QString& text :
         {tr("Re&name..."), tr("D&uplicate..."), tr("&Delete..."), tr("Earlier &versions...")}) {
        m_bankButtons.push_back(new QPushButton(text, this));
        bankButtons->addWidget(m_bankButtons.back());
    }
    bankButtons->addStretch(1);
    layout->addLayout(bankButtons);
    auto* buttons = new QDialogButtonBox(this);
    for (const QString& text : {tr("&Back up card"), tr("&Restore a backup..."),
                                tr("&Compare with a backup..."), tr("Re&fresh")})
        m_cardButtons.push_back(buttons->addButton(text, QDialogButtonBox::ActionRole));
    m_close = buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    // No button takes Enter: a held Enter never deletes or opens anything.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    connect(m_volumeList, &QListWidget::currentRowChanged, this, [this] { ListBanks(); });
    connect(m_bankList, &QTreeWidget::currentItemChanged, this, &CardDialog::ShowBank);
    connect(m_rowList, &QListWidget::currentRowChanged, this, &CardDialog::UpdateButtons);
    connect(m_rowList, &CardRowList::ReadFailed, this, [this](const QString& reason) {
        m_status->setText(tr("The rows could not be read: %1").arg(reason));
    });
    connect(m_play, &QPushButton::clicked, this,
            [this] { (void)m_rowList->PlayRow(m_rowList->currentRow()); });
    connect(m_open, &QPushButton::clicked, this, [this] {
        if (const CardBank* bank = SelectedBank(); bank != nullptr && !bank->damaged) {
            m_chosen = FromFile(bank->path);
            done(OpenAsked);
        }
    });
    const auto withBank = [this](auto act) {
        return [this, act] {
            if (const CardBank* bank = SelectedBank()) {
                QStringList names;
                for (const CardBank& listed : m_listing.banks) names << FromFile(listed.name);
                (void)act(*m_actions, Place(), FromFile(bank->name), names);
            }
        };
    };
    connect(m_bankButtons[0], &QPushButton::clicked, this,
            withBank([](CardActions& a, const CardPlace& p, const QString& n,
                        const QStringList& all) { return a.RenameBank(p, n, all); }));
    connect(m_bankButtons[1], &QPushButton::clicked, this,
            withBank([](CardActions& a, const CardPlace& p, const QString& n,
                        const QStringList& all) { return a.DuplicateBank(p, n, all); }));
    connect(m_bankButtons[2], &QPushButton::clicked, this,
            withBank([](CardActions& a, const CardPlace& p, const QString& n, const QStringList&) {
                return a.DeleteBank(p, n);
            }));
    connect(m_bankButtons[3], &QPushButton::clicked, this, [this] {
        const CardBank* bank = SelectedBank();
        (void)m_actions->ShowEarlierVersions(Place(),
                                             bank != nullptr ? FromFile(bank->name) : QString(),
                                             bank != nullptr ? FromFile(bank->path) : QString());
    });
    connect(m_cardButtons[0], &QPushButton::clicked, this, [this] {
        const int item = m_volumeList->currentRow();
        if (item >= 0 && static_cast<size_t>(item) < m_listedVolumes.size())
            (void)m_actions->BackUpCard(Place(), CardLabel(m_listedVolumes[size_t(item)].volume));
    });
    connect(m_cardButtons[1], &QPushButton::clicked, this,
            [this] { (void)m_actions->RestoreCard(Place()); });
    connect(m_cardButtons[2], &QPushButton::clicked, this,
            [this] { (void)m_actions->CompareCard(Place()); });
    connect(m_cardButtons[3], &QPushButton::clicked, this, &CardDialog::Refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &CardDialog::reject);
}

void CardDialog::Refresh() {
    m_listed = false;
    m_status->setText(tr("Looking for cards..."));
    UpdateButtons();
    m_jobs.Cancel(ListLane);
    m_jobs.Run<std::vector<ListedVolume>>(
        ListLane, this,
        [source = &m_volumes](const std::atomic<bool>&) {
            std::vector<ListedVolume> listed;
            for (Volume& volume : source->ListVolumes()) {
                ListedVolume entry;
                // Taken now, so a write can tell whether the card is still the one listed.
                (void)TakeVolumeIdentity(volume, &entry.identity);
                entry.volume = std::move(volume);
                listed.push_back(std::move(entry));
            }
            return listed;
        },
        [this](std::vector<ListedVolume> volumes) { ShowVolumes(std::move(volumes)); });
}

void CardDialog::ShowVolumes(std::vector<ListedVolume> volumes) {
    // The volume chosen last, also when it went away meanwhile: it comes back
    // chosen once it is mounted again. The one asked for at the start may not
    // be there at all: then the first is chosen.
    const std::string chosen = m_chosenRoot;
    const bool first = !m_volumesListed;
    m_volumesListed = true;
    m_listedVolumes = std::move(volumes);
    int select = -1;
    {
        const QSignalBlocker blocker(m_volumeList);
        m_volumeList->clear();
        for (size_t i = 0; i < m_listedVolumes.size(); ++i) {
            const Volume& volume = m_listedVolumes[i].volume;
            auto* item = new QListWidgetItem(FromFile(volume.displayName), m_volumeList);
            item->setToolTip(volume.removable ? tr("A card or stick") : tr("A fixed disk"));
            if (volume.root == chosen) select = static_cast<int>(i);
        }
        if (select < 0 && (chosen.empty() || first) && !m_listedVolumes.empty()) select = 0;
        m_volumeList->setCurrentRow(select);
    }
    ListBanks();
    // A card pulled since it was chosen is not swapped for another volume.
    if (select < 0 && !chosen.empty() && !first)
        m_status->setText(tr("The card (%1) is no longer there: it was removed or unmounted. "
                             "Choose a volume.")
                              .arg(FromFile(chosen)));
}

void CardDialog::ListBanks() {
    m_jobs.Cancel(ListLane);
    const CardPlace place = Place();
    if (!place.root.empty()) m_chosenRoot = place.root;
    if (place.root.empty()) {
        CardListing none;
        none.reason =
            (m_listedVolumes.empty() ? tr("No card or disk is mounted.") : tr("Choose a volume."))
                .toStdString();
        ShowBanks(std::move(none));
        return;
    }
    m_listed = false;
    m_status->setText(tr("Reading the card..."));
    UpdateButtons();
    m_jobs.Run<CardListing>(
        ListLane, this,
        [root = place.root](const std::atomic<bool>& cancelled) {
            return ListCardBanks(root, &cancelled);
        },
        [this](CardListing listing) { ShowBanks(std::move(listing)); });
}

void CardDialog::ShowBanks(CardListing listing) {
    const CardBank* was = SelectedBank();
    QString selected = std::exchange(m_selectName, QString());
    if (selected.isEmpty() && was != nullptr) selected = FromFile(was->name);
    m_listing = std::move(listing);
    {
        const QSignalBlocker blocker(m_bankList);
        m_bankList->clear();
        for (const CardBank& bank : m_listing.banks) {
            auto* item = new QTreeWidgetItem(m_bankList);
            item->setText(NameColumn, FromFile(bank.name));
            item->setText(RowsColumn,
                          bank.damaged ? tr("damaged") : QString::number(bank.RowsFilled()));
            item->setText(SizeColumn, Bytes(bank.size));
            item->setText(DateColumn, QDateTime::fromSecsSinceEpoch(bank.modified)
                                          .toString(QStringLiteral("yyyy-MM-dd hh:mm")));
            item->setText(NoteColumn, FromFile(bank.reason));
            item->setToolTip(NoteColumn, FromFile(bank.reason));
            item->setTextAlignment(RowsColumn, Qt::AlignRight | Qt::AlignVCenter);
            item->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
            if (item->text(NameColumn) == selected) m_bankList->setCurrentItem(item);
        }
        if (m_bankList->currentItem() == nullptr && m_bankList->topLevelItemCount() > 0)
            m_bankList->setCurrentItem(m_bankList->topLevelItem(0));
        for (int column = 0; column < NoteColumn; ++column)
            m_bankList->resizeColumnToContents(column);
    }
    const size_t count = m_listing.banks.size();
    if (!m_listing.ok) {
        m_listingText = FromFile(m_listing.reason);
        m_space->clear();
    } else {
        m_listingText = count == 0 ? tr("No voice banks in %1.").arg(FromFile(m_listing.folder))
                                   : tr("Voice banks in %1:").arg(FromFile(m_listing.folder));
        m_space->setText(tr("Free on this volume: %1. The banks take %2.")
                             .arg(Bytes(m_listing.freeBytes), Bytes(m_listing.bankBytes)));
    }
    ShowBank();
    m_listed = true;
    emit Listed();
}

const CardBank* CardDialog::SelectedBank() const {
    QTreeWidgetItem* item = m_bankList->currentItem();
    const int index = item != nullptr ? m_bankList->indexOfTopLevelItem(item) : -1;
    return index >= 0 && static_cast<size_t>(index) < m_listing.banks.size()
               ? &m_listing.banks[static_cast<size_t>(index)]
               : nullptr;
}

CardPlace CardDialog::Place() const {
    CardPlace place;
    const int item = m_volumeList->currentRow();
    if (item < 0 || static_cast<size_t>(item) >= m_listedVolumes.size()) return place;
    place.root = m_listedVolumes[static_cast<size_t>(item)].volume.root;
    place.volume = m_listedVolumes[static_cast<size_t>(item)].identity;
    place.backupsRoot = m_folders.backupsRoot;
    place.now = std::time(nullptr);
    return place;
}

void CardDialog::ShowBank() {
    const CardBank* bank = SelectedBank();
    m_rowList->ShowBank(bank);
    m_status->setText(
        bank != nullptr && bank->damaged
            ? tr("%1 is damaged: %2").arg(FromFile(bank->name), FromFile(bank->reason))
            : m_listingText);
    UpdateButtons();
}

void CardDialog::UpdateButtons() {
    const bool idle = !m_actions->IsRunning();
    const CardBank* bank = SelectedBank();
    const bool sound = bank != nullptr && !bank->damaged;
    m_play->setEnabled(sound && m_rowList->IsCurrentRowFilled());
    m_open->setEnabled(sound && idle);
    m_bankButtons[0]->setEnabled(sound && idle);
    m_bankButtons[1]->setEnabled(sound && idle);
    m_bankButtons[2]->setEnabled(bank != nullptr && idle);
    m_bankButtons[3]->setEnabled(idle && !Place().root.empty());
    for (QPushButton* button : m_cardButtons)
        button->setEnabled(idle && !Place().root.empty() && m_listing.ok);
    m_cardButtons[3]->setEnabled(idle);
    m_volumeList->setEnabled(idle);
    m_close->setEnabled(idle);
}

void CardDialog::reject() {
    if (m_actions->IsRunning()) return;
    QDialog::reject();
}

void CardDialog::keyPressEvent(QKeyEvent* event) {
    if (event->isAutoRepeat() && IsClosingKey(event->key())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
