#include "savedlg/SaveBankDialog.h"

#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "controls/FileNameEdit.h"
#include "controls/MessageBox.h"
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

}  // namespace

SaveBankDialog::SaveBankDialog(QWidget* parent)
    : QDialog(parent),
      m_ownSource(std::make_unique<SystemVolumeSource>()),
      m_source(m_ownSource.get()) {
    BuildControls();
}

SaveBankDialog::SaveBankDialog(const VolumeSource& source, QWidget* parent)
    : QDialog(parent), m_source(&source) {
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
    }
    QDialog::setVisible(visible);
}

void SaveBankDialog::FillControls() {
    m_nameEdit->SetMaxLength(NameMaxLength);
    m_nameEdit->SetText(m_fileName);
    FillVolumeList();

    // Exact, case-sensitive match; no match selects nothing.
    if (!m_volume.isEmpty()) {
        const qsizetype match = m_volumeRoots.indexOf(m_volume);
        if (match >= 0) {
            m_volumeList->setCurrentRow(static_cast<int>(match));
        }
    } else if (m_volumeList->count() > 0) {
        m_volumeList->setCurrentRow(0);
    }
    m_saveButton->setEnabled(SelectedVolumeItem() >= 0);
    // A name typed at once replaces the proposed one; Enter keeps it.
    m_nameEdit->setFocus(Qt::OtherFocusReason);
    m_nameEdit->selectAll();
}

void SaveBankDialog::FillVolumeList() {
    m_volumeList->clear();
    m_volumeRoots.clear();
    m_identities.clear();
    for (const Volume& volume : m_source->ListVolumes()) {
        const QString name = QFile::decodeName(QByteArray::fromStdString(volume.displayName));
        auto* item = new QListWidgetItem(name, m_volumeList);  // owned by the list
        item->setToolTip(name);
        m_volumeRoots.append(QFile::decodeName(QByteArray::fromStdString(volume.root)));
        // Taken now, so a save can tell whether the card is still the one listed.
        VolumeIdentity identity;
        (void)TakeVolumeIdentity(volume, &identity);
        m_identities.push_back(std::move(identity));
    }
}

int SaveBankDialog::SelectedVolumeItem() const {
    const QList<QListWidgetItem*> selected = m_volumeList->selectedItems();
    return selected.isEmpty() ? -1 : m_volumeList->row(selected.front());
}

void SaveBankDialog::OnSave() {
    m_fileName = m_nameEdit->text();
    if (m_fileName.isEmpty()) {
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
    m_identity = m_identities[static_cast<size_t>(item)];
    // A card pulled while the dialog was open leaves a plain folder (or
    // nothing) at its root: nothing is made there.
    if (const std::string gone = CheckVolumeIdentity(m_identity); !gone.empty()) {
        MessageRequest request;
        request.parent = this;
        request.stringId = IdsSaveError;
        request.informativeText = QFile::decodeName(QByteArray::fromStdString(gone));
        (void)ShowMessage(std::move(request));
        FillVolumeList();
        if (const qsizetype again = m_volumeRoots.indexOf(m_volume); again >= 0) {
            m_volumeList->setCurrentRow(static_cast<int>(again));
        }
        return;
    }
    const QString folder = m_volume + BankFolder;
    m_filePath = folder;
    if (!EnsureBankFolder(QFile::encodeName(folder).toStdString())) {
        (void)ShowMessage(this, IdsIllegalPath);
        return;
    }
    m_filePath = folder + QLatin1Char('/') + m_fileName + BankExtension;
    // Anything standing there is asked about, even a file that cannot be
    // read, so no bank is replaced without the user's word.
    if (SomethingStandsAt(QFile::encodeName(m_filePath).toStdString()) &&
        ShowMessage(this, IdsReplaceFile, QMessageBox::Ok | QMessageBox::Cancel,
                    QMessageBox::Question) != QMessageBox::Ok) {
        return;
    }
    QDialog::accept();
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
