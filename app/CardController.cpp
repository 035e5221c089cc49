#include "app/CardController.h"

#include <QFile>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <QTimer>
#include <QWidget>

#include "app/CardDialog.h"
#include "app/WindowContext.h"
#include "core/BankBackup.h"
#include "volumes/VolumeSource.h"

namespace {

const QKeySequence CardKey(Qt::CTRL | Qt::Key_K);

}  // namespace

CardController::CardController(WindowContext& context, QObject* parent)
    : QObject(parent), m_context(context) {
    m_shortcut = std::make_unique<QShortcut>(CardKey, &m_context.window);
    connect(m_shortcut.get(), &QShortcut::activated, this, &CardController::ShowCardView);
}

CardController::~CardController() = default;

void CardController::AddMenuItems(QMenu& menu) {
    QAction* card = menu.addAction(tr("Car&d..."));
    card->setShortcut(CardKey);
    card->setEnabled(!m_context.openingBank && !m_context.saving);
    // After the menu has closed.
    connect(card, &QAction::triggered, this, &CardController::ShowCardView, Qt::QueuedConnection);
}

bool CardController::ShowCardView() {
    const WindowContext& c = m_context;
    if (m_showing || c.closing || c.openingBank || c.saving || !c.initialised) return false;
    const SystemVolumeSource system;
    CardFolders folders;
    folders.backupsRoot = DefaultBackupsRoot();
    folders.cardBackupsRoot = DefaultCardBackupsRoot();
    // The volume chosen last time, else the one the last save went to.
    folders.volume =
        !m_lastVolume.empty() ? m_lastVolume : QFile::encodeName(c.lastVolume).toStdString();
    CardDialog view(m_context.model, c.volumes != nullptr ? *c.volumes : system, folders,
                    &m_context.window);
    m_showing = true;
    const int result = view.exec();
    m_showing = false;
    m_lastVolume = view.ChosenVolume();
    if (result != CardDialog::OpenAsked || m_context.closing) return true;
    if (view.ChosenCopyOf().isEmpty()) {
        emit OpenBankAsked(view.ChosenBank());
    } else {
        emit OpenCopyAsked(view.ChosenBank(), view.ChosenCopyOf());
    }
    return true;
}
