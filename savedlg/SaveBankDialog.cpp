#include "savedlg/SaveBankDialog.h"

#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "controls/FileNameEdit.h"
#include "controls/MessageBox.h"
#include "jobs/JobRunner.h"
#include "res/DialogTemplates.h"
#include "res/StringTable.h"
#include "voicebank/BankFolder.h"
#include "voicebank/BankName.h"

namespace {

constexpr int NameMaxLength = static_cast<int>(MaxBankNameLength);
const QString BankFolder = QLatin1String(::BankFolderName.data());
const QString BankExtension = QLatin1String(BankFileExtension.data());

bool IsEnterKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString FromLocal(const std::string& text) {
    return QFile::decodeName(QByteArray::fromStdString(text));
}

constexpr JobLane VolumesLane{JobLane::Kind::Volumes};

}  // namespace

// A volume as listed, with what it was then.
struct SaveBankDialog::ListedVolume {
    Volume volume;
    VolumeIdentity identity;
};

// What a save found on the card before anything is written.
struct SaveBankDialog::CardLook {
    std::string gone;  // why the volume is no longer the one listed
    bool folderMade = false;
    bool somethingStands = false;
};

SaveBankDialog::SaveBankDialog(JobRunner& jobs, QWidget* parent)
    : QDialog(parent), m_source(std::make_shared<SystemVolumeSource>()), m_jobs(jobs) {
    BuildControls();
}

SaveBankDialog::SaveBankDialog(const VolumeSource& source, JobRunner& jobs, QWidget* parent)
    : QDialog(parent),
      m_source(std::shared_ptr<const VolumeSource>(), &source),  // not owned
      m_jobs(jobs) {
    BuildControls();
}

SaveBankDialog::~SaveBankDialog() = default;

void SaveBankDialog::BuildControls() {
    // A caption and a modal frame, but no system menu and so no close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QString::fromLatin1(FileSaveTemplateCaption));
    setModal(true);
    setFont(DialogFont());
    const DialogBaseUnits units = DialogBaseUnitsOf(font());
    setFixedSize(DluToPixels(FileSaveTemplateSize, units));

    // Created in template order, which is also the tab order: Save first.
    for (const DialogItem& item : FileSaveTemplate) {
        const QRect rect = DluToPixels(QRect(item.x, item.y, item.w, item.h), units);
        const QString text = item.text ? QString::fromLatin1(item.text) : QString();
        CreateItem(item, text)->setGeometry(rect);
    }
    // Neither button is a default button: Enter is handled in eventFilter,
    // so the platform's Enter never closes the dialog.
    for (QPushButton* button : {m_saveButton, m_cancelButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
        button->installEventFilter(this);
    }
    m_volumeList->installEventFilter(this);
    m_nameEdit->installEventFilter(this);
    // Save waits for a volume: with none chosen it could only do nothing.
    connect(m_volumeList, &QListWidget::itemSelectionChanged, this,
            [this] { m_saveButton->setEnabled(SelectedVolumeItem() >= 0); });

    connect(m_saveButton, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

// The control for one template item, with its name for tests and screen
// readers; a plain label for every other item.
QWidget* SaveBankDialog::CreateItem(const DialogItem& item, const QString& text) {
    QWidget* widget = nullptr;
    switch (item.role) {
    case DialogItemRole::Save:
        widget = m_saveButton = new QPushButton(text, this);
        m_saveButton->setObjectName(QStringLiteral("save"));
        break;
    case DialogItemRole::Cancel:
        widget = m_cancelButton = new QPushButton(text, this);
        m_cancelButton->setObjectName(QStringLiteral("cancel"));
        break;
    case DialogItemRole::VolumeList:
        widget = m_volumeList = new QListWidget(this);
        m_volumeList->setObjectName(QStringLiteral("volumes"));
        m_volumeList->setSortingEnabled(false);  // item i is root i
        m_volumeList->setSelectionMode(QAbstractItemView::SingleSelection);
        m_volumeList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_volumeList->setAccessibleName(tr("Volume"));
        m_volumeList->setAccessibleDescription(tr("The card or disk the voice bank is saved to."));
        break;
    case DialogItemRole::FileName:
        widget = m_nameEdit = new FileNameEdit(this);
        m_nameEdit->setObjectName(QStringLiteral("fileName"));
        m_nameEdit->setAccessibleName(tr("File name"));
        m_nameEdit->setAccessibleDescription(
            tr("Name of the voice bank: letters, digits and '-', at most %1 characters.")
                .arg(NameMaxLength));
        break;
    default: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        widget = label;
        break;
    }
    }
    return widget;
}

void SaveBankDialog::setVisible(bool visible) {
    if (visible && !isVisible()) {
        FillControls();
    } else if (!visible && isVisible()) {
        // Closed while a look at the card runs: its answer is for nobody.
        m_jobs.Cancel(VolumesLane);
        m_listing = m_looking = m_saveWhenListed = false;
        UpdateCursor();
    }
    QDialog::setVisible(visible);
}

void SaveBankDialog::FillControls() {
    m_nameEdit->SetMaxLength(NameMaxLength);
    m_nameEdit->SetText(m_fileName);
    ListVolumes();
    // A name typed at once replaces the proposed one; Enter keeps it.
    m_nameEdit->setFocus(Qt::OtherFocusReason);
    m_nameEdit->selectAll();
}

void SaveBankDialog::ListVolumes() {
    m_volumeList->clear();
    m_volumeRoots.clear();
    m_identities.clear();
    m_saveButton->setEnabled(false);
    m_listing = true;
    UpdateCursor();
    m_jobs.Run<std::vector<ListedVolume>>(
        VolumesLane, this,
        [source = m_source](const std::atomic<bool>&) {
            std::vector<ListedVolume> listed;
            for (Volume& volume : source->ListVolumes()) {
                // Taken now, so a save can tell whether the card is still
                // the one listed.
                VolumeIdentity identity;
                (void)TakeVolumeIdentity(volume, &identity);
                listed.push_back({std::move(volume), std::move(identity)});
            }
            return listed;
        },
        [this](std::vector<ListedVolume> listed) { ShowVolumes(std::move(listed)); });
}

void SaveBankDialog::ShowVolumes(std::vector<ListedVolume> listed) {
    m_listing = false;
    UpdateCursor();
    for (ListedVolume& entry : listed) {
        const QString name = FromLocal(entry.volume.displayName);
        auto* item = new QListWidgetItem(name, m_volumeList);  // owned by the list
        item->setToolTip(name);
        m_volumeRoots.append(FromLocal(entry.volume.root));
        m_identities.push_back(std::move(entry.identity));
    }
    // Exact, case-sensitive match; no match selects nothing.
    qsizetype match = m_preferredVolume.isEmpty() ? -1 : m_volumeRoots.indexOf(m_preferredVolume);
    if (match < 0 && !m_volume.isEmpty()) {
        match = m_volumeRoots.indexOf(m_volume);
    } else if (match < 0 && m_volumeList->count() > 0) {
        match = 0;
    }
    if (match >= 0) {
        m_volumeList->setCurrentRow(static_cast<int>(match));
    }
    m_saveButton->setEnabled(SelectedVolumeItem() >= 0);
    if (m_saveWhenListed) {
        m_saveWhenListed = false;
        OnSave();
    }
}

int SaveBankDialog::SelectedVolumeItem() const {
    const QList<QListWidgetItem*> selected = m_volumeList->selectedItems();
    return selected.isEmpty() ? -1 : m_volumeList->row(selected.front());
}

void SaveBankDialog::OnSave() {
    m_fileName = m_nameEdit->text();
    if (m_fileName.isEmpty() || m_looking) {
        return;
    }
    if (m_listing) {
        m_saveWhenListed = true;
        return;
    }
    const int item = SelectedVolumeItem();
    if (item < 0 || m_volumeRoots.size() < m_volumeList->count()) {
        // Enter with no volume chosen: the list, where one is chosen.
        m_volumeList->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (const std::string problem = BankNameProblem(m_fileName.toStdString()); !problem.empty()) {
        MessageRequest request;
        request.parent = this;
        request.stringId = IdsIllegalPath;
        request.informativeText = QString::fromStdString(problem);
        (void)ShowMessage(std::move(request));
        m_nameEdit->setFocus(Qt::OtherFocusReason);
        m_nameEdit->selectAll();
        return;
    }
    m_volume = m_volumeRoots[item];
    m_preferredVolume.clear();
    m_identity = m_identities[static_cast<size_t>(item)];
    const QString folder = m_volume + BankFolder;
    const QString path = folder + QLatin1Char('/') + m_fileName + BankExtension;
    m_looking = true;
    UpdateCursor();
    m_jobs.Run<CardLook>(
        VolumesLane, this,
        [identity = m_identity, folder = Local(folder),
         path = Local(path)](const std::atomic<bool>&) {
            CardLook look;
            // A card pulled while the dialog was open leaves a plain folder
            // (or nothing) at its root: nothing is made there.
            look.gone = CheckVolumeIdentity(identity);
            if (look.gone.empty()) look.folderMade = EnsureBankFolder(folder);
            if (look.folderMade) look.somethingStands = SomethingStandsAt(path);
            return look;
        },
        [this, folder, path](CardLook look) { OnCardLooked(look, folder, path); });
}

void SaveBankDialog::OnCardLooked(const CardLook& look, const QString& folder,
                                  const QString& path) {
    m_looking = false;
    UpdateCursor();
    if (!look.gone.empty()) {
        MessageRequest request;
        request.parent = this;
        request.stringId = IdsSaveError;
        request.informativeText = FromLocal(look.gone);
        (void)ShowMessage(std::move(request));
        ListVolumes();  // selects the volume again if it is back
        return;
    }
    m_filePath = folder;
    if (!look.folderMade) {
        (void)ShowMessage(this, IdsIllegalPath);
        return;
    }
    m_filePath = path;
    // Anything standing there is asked about, even a file that cannot be
    // read, so no bank is replaced without the user's word.
    if (look.somethingStands &&
        ShowMessage(this, IdsReplaceFile, QMessageBox::Ok | QMessageBox::Cancel,
                    QMessageBox::Question) != QMessageBox::Ok) {
        return;
    }
    QDialog::accept();
}

void SaveBankDialog::UpdateCursor() {
    if (IsBusy()) {
        setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
    }
}

bool SaveBankDialog::eventFilter(QObject* watched, QEvent* event) {
    if (IsEnterKey(event)) {
        // A held Enter saves once: its repeats (also those of a press made
        // before the dialog opened) do nothing.
        if (static_cast<const QKeyEvent*>(event)->isAutoRepeat()) {
            return true;
        }
        if (watched == m_volumeList || watched == m_nameEdit) {
            OnSave();
            return true;
        }
        if (watched == m_cancelButton) {
            reject();
            return true;
        }
        if (watched == m_saveButton) {
            m_saveButton->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
