#include "app/SoundBrowser.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "app/FolderTree.h"
#include "app/SoundFilterEdit.h"
#include "app/SoundFolderReader.h"
#include "app/SoundList.h"
#include "app/SoundPreview.h"
#include "core/SlotModel.h"

namespace {

constexpr int PaneMargin = 6;

}  // namespace

SoundBrowser::SoundBrowser(SlotModel& model, const VolumeSource* volumes, QWidget* parent)
    : QWidget(parent), m_model(model) {
    setAccessibleName(tr("Sound browser"));
    // Plain and legible beside the skinned panel: the desktop's own look.
    setAutoFillBackground(true);
    m_places = new BrowserPlaces(volumes, m_jobs, this);
    m_tree = new FolderTree(this);
    m_list = new SoundList(this);
    m_filter = new SoundFilterEdit(*m_list, this);
    m_reader = new SoundFolderReader(m_model, *m_list, m_jobs, this);
    m_preview = new SoundPreview(m_model, m_jobs, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(PaneMargin, PaneMargin, PaneMargin, PaneMargin);
    layout->addWidget(m_places);
    layout->addWidget(m_tree, 2);
    layout->addWidget(m_filter);
    layout->addWidget(m_list, 3);
    layout->addWidget(m_preview);
    setTabOrder(m_places, m_tree);
    setTabOrder(m_tree, m_filter);
    setTabOrder(m_filter, m_list);
    setTabOrder(m_list, m_preview);
    ConnectControls();
}

void SoundBrowser::ConnectControls() {
    connect(m_preview, &SoundPreview::Settled, this, &SoundBrowser::PlayCurrent);
    connect(m_list, &SoundList::HoldEnded, this, &SoundBrowser::PlayCurrent);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &SoundBrowser::OnCurrentChanged);
    connect(m_list, &SoundList::ReplayAsked, this, [this] {
        if (const QString path = m_list->CurrentFile(); !path.isEmpty()) m_preview->Play(path);
    });
    connect(m_list, &SoundList::StopAsked, this, &SoundBrowser::StopPreview);
    connect(m_list, &SoundList::EnterPressed, this, [this] { Choose(m_list->SelectedFiles()); });
    connect(m_filter, &SoundFilterEdit::FilesChosen, this, &SoundBrowser::Choose);
    connect(m_filter, &SoundFilterEdit::FirstFileSelected, this, [this] {
        if (PreviewOn()) m_preview->Play(m_list->CurrentFile());
    });
    // A folder files were played from becomes a recent one.
    connect(m_preview, &SoundPreview::Started, this,
            [this] { m_places->NoteFolderUsed(m_folder); });
    connect(m_reader, &SoundFolderReader::DetailsFilled, this, &SoundBrowser::DetailsFilled);
    connect(m_tree, &FolderTree::FolderPicked, this, &SoundBrowser::SetFolder);
    connect(m_places, &BrowserPlaces::FolderPicked, this, &SoundBrowser::SetFolder);
}

SoundBrowser::~SoundBrowser() { m_jobs.CancelAll(); }

const QStringList& SoundBrowser::RecentFolders() const { return m_places->RecentFolders(); }

void SoundBrowser::SetRecentFolders(const QStringList& folders) {
    m_places->SetRecentFolders(folders);
}

bool SoundBrowser::SetFolder(const QString& folder) {
    const QString absolute = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    // Not looked at here (a card may hang): the listing job says when the
    // folder cannot be read.
    if (folder.isEmpty()) return false;
    if (absolute == m_folder) return true;
    m_folder = absolute;
    m_tree->Reveal(m_folder);
    if (isVisible()) Refresh();
    return true;
}

void SoundBrowser::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_places->ListCards();
    m_tree->Reveal(m_folder);
    if (m_listedFolder != m_folder) Refresh();
}

void SoundBrowser::Refresh() {
    m_listedFolder = m_folder;
    m_reader->List(m_folder);
}

QTreeView& SoundBrowser::Tree() { return *m_tree; }

QLineEdit& SoundBrowser::Filter() { return *m_filter; }

bool SoundBrowser::SelectFile(const QString& path) {
    if (!m_list->SelectFile(path)) return false;
    if (PreviewOn()) m_preview->Play(path);
    return true;
}

void SoundBrowser::OnCurrentChanged() {
    switch (m_list->CurrentMove()) {
    case SoundList::Move::Fresh:
        // A fresh press or a click: the musician chose this file.
        if (PreviewOn()) m_preview->Play(m_list->CurrentFile());
        break;
    case SoundList::Move::Repeat:
        // A held key passes files by: only where it stops plays.
        StopPreview();
        break;
    case SoundList::Move::Typing:
        // Letters of a name: the file where the typing rests.
        if (PreviewOn()) m_preview->PlayWhenSettled();
        break;
    case SoundList::Move::None: break;  // the program's own move plays nothing
    }
}

void SoundBrowser::PlayCurrent() {
    if (const QString path = m_list->CurrentFile(); !path.isEmpty() && PreviewOn())
        m_preview->Play(path);
}

void SoundBrowser::Choose(const QStringList& files) {
    if (files.isEmpty()) return;
    m_places->NoteFolderUsed(m_folder);
    emit FilesChosen(files);
}

void SoundBrowser::StopPreview() { m_preview->Stop(); }

void SoundBrowser::SetPreviewOn(bool on) { m_preview->SetOn(on); }

bool SoundBrowser::PreviewOn() const { return m_preview->IsOn(); }

void SoundBrowser::SetPreviewLevel(int percent) { m_preview->SetLevel(percent); }

int SoundBrowser::PreviewLevel() const { return m_preview->Level(); }

void SoundBrowser::keyPressEvent(QKeyEvent* event) {
    // Escape anywhere in the browser stops the preview; it never reaches
    // the window, where it would end the program. Nor do other keys the
    // browser's controls left: typed in the browser, they are no pads.
    if (event->key() == Qt::Key_Escape) StopPreview();
    event->accept();
}
