#include "app/RollDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

RollDialog::RollDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Roll rows from folders"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* all = new QPushButton(tr("&Folder for all rows..."), this);
    connect(all, &QPushButton::clicked, this, [this] { ChooseFolder(-1); });
    top->addWidget(all);
    top->addStretch();
    layout->addLayout(top);
    auto* grid = new QGridLayout;
    for (int slot = 0; slot < Rows; ++slot) {
        const auto k = static_cast<size_t>(slot);
        grid->addWidget(new QLabel(tr("Row %1").arg(slot + 1), this), slot, 0);
        m_folderLabels[k] = new QLabel(tr("(no folder)"), this);
        m_folderLabels[k]->setMinimumWidth(260);
        grid->addWidget(m_folderLabels[k], slot, 1);
        auto* choose = new QPushButton(tr("Folder..."), this);
        choose->setAccessibleName(tr("Folder for row %1").arg(slot + 1));
        connect(choose, &QPushButton::clicked, this, [this, slot] { ChooseFolder(slot); });
        grid->addWidget(choose, slot, 2);
        m_locks[k] = new QCheckBox(tr("Lock"), this);
        m_locks[k]->setAccessibleName(tr("Lock row %1").arg(slot + 1));
        connect(m_locks[k], &QCheckBox::toggled, this, &RollDialog::UpdateButtons);
        grid->addWidget(m_locks[k], slot, 3);
        m_rollOne[k] = new QPushButton(tr("Roll"), this);
        m_rollOne[k]->setAccessibleName(tr("Roll row %1").arg(slot + 1));
        connect(m_rollOne[k], &QPushButton::clicked, this,
                [this, slot] { emit RollAsked({slot}); });
        grid->addWidget(m_rollOne[k], slot, 4);
    }
    layout->addLayout(grid);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_rollAll = buttons->addButton(tr("Roll &all"), QDialogButtonBox::ActionRole);
    connect(m_rollAll, &QPushButton::clicked, this, [this] { emit RollAsked(RowsToRoll()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    UpdateButtons();
}

void RollDialog::SetFolder(int slot, const QString& folder) {
    if (slot < 0 || slot >= Rows) return;
    const auto k = static_cast<size_t>(slot);
    m_folders[k] = folder;
    m_folderLabels[k]->setText(folder.isEmpty() ? tr("(no folder)") : folder);
    m_folderLabels[k]->setToolTip(folder);
    UpdateButtons();
}

void RollDialog::SetFolderForAll(const QString& folder) {
    for (int slot = 0; slot < Rows; ++slot) SetFolder(slot, folder);
}

bool RollDialog::IsLocked(int slot) const {
    return slot >= 0 && slot < Rows && m_locks[static_cast<size_t>(slot)]->isChecked();
}

void RollDialog::SetLocked(int slot, bool locked) {
    if (slot >= 0 && slot < Rows) m_locks[static_cast<size_t>(slot)]->setChecked(locked);
}

std::vector<int> RollDialog::RowsToRoll() const {
    std::vector<int> chosen;
    for (int slot = 0; slot < Rows; ++slot)
        if (!IsLocked(slot) && !m_folders[static_cast<size_t>(slot)].isEmpty())
            chosen.push_back(slot);
    return chosen;
}

void RollDialog::SetRolling(bool rolling) {
    m_rolling = rolling;
    setCursor(rolling ? Qt::BusyCursor : Qt::ArrowCursor);
    UpdateButtons();
}

void RollDialog::ChooseFolder(int slot) {
    const QString start = slot >= 0 ? m_folders[static_cast<size_t>(slot)] : m_folders[0];
    const QString folder = QFileDialog::getExistingDirectory(
        this, slot < 0 ? tr("Folder for all rows") : tr("Folder for row %1").arg(slot + 1), start);
    if (folder.isEmpty()) return;
    if (slot < 0)
        SetFolderForAll(folder);
    else
        SetFolder(slot, folder);
}

void RollDialog::UpdateButtons() {
    for (int slot = 0; slot < Rows; ++slot) {
        const auto k = static_cast<size_t>(slot);
        m_rollOne[k]->setEnabled(!m_rolling && !IsLocked(slot) && !m_folders[k].isEmpty());
    }
    m_rollAll->setEnabled(!m_rolling && !RowsToRoll().empty());
}
