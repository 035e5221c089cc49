#include "app/SoundBrowser.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QSlider>
#include <QStandardPaths>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/model/SlotModel.h"
#include "convert/PeakOverview.h"
#include "convert/SoundFiles.h"
#include "savedlg/VolumeSource.h"

namespace {

enum Column { NameColumn, LengthColumn, ChannelsColumn, RateColumn, BitsColumn, ColumnCount };

constexpr int PathRole = Qt::UserRole;
constexpr int SettleMs = 70;
constexpr int PaneMargin = 6;

struct Listing {
    bool ok = false;
    QStringList files;
    QString why;
};

struct Details {
    bool ok = false;
    SourceInfo info;
    QString why;
};

QString LengthText(const SourceInfo& info) {
    if (info.sampleRate <= 0) return {};
    const double seconds = static_cast<double>(info.frames) / info.sampleRate;
    return QString::number(seconds, 'f', seconds < 10.0 ? 2 : 1) + QStringLiteral(" s");
}

using Places = std::vector<std::pair<QString, QString>>;  // name, folder

QString ToQt(const std::filesystem::path& path) { return QFile::decodeName(path.c_str()); }

std::string ToNative(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

SoundList::SoundList(QWidget* parent) : QTreeWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
}

void SoundList::keyPressEvent(QKeyEvent* event) {
    // Plain keys only: Shift+arrows extend the selection as usual.
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Space:
        if (!plain) break;
        emit ReplayAsked();
        return event->accept();
    case Qt::Key_Left:
    case Qt::Key_Escape:
        if (!plain) break;
        emit StopAsked();
        return event->accept();
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A held Enter puts the files on the rows once, not once a repeat.
        if (!event->isAutoRepeat()) emit EnterPressed();
        return event->accept();
    default: break;
    }
    QTreeWidget::keyPressEvent(event);
}

QStringList SoundList::mimeTypes() const {
    return {QStringLiteral("text/uri-list"), QString::fromLatin1(BrowserFilesFormat)};
}

QMimeData* SoundList::mimeData(const QList<QTreeWidgetItem*>& items) const {
    QList<QUrl> urls;
    for (const QTreeWidgetItem* item : items)
        urls.append(QUrl::fromLocalFile(item->data(NameColumn, PathRole).toString()));
    if (urls.isEmpty()) return nullptr;
    auto* data = new QMimeData;  // owned by the drag
    data->setUrls(urls);
    data->setData(QString::fromLatin1(BrowserFilesFormat), QByteArray());
    return data;
}

SoundBrowser::SoundBrowser(SlotModel& model, const VolumeSource* volumes, QWidget* parent)
    : QWidget(parent), m_model(model), m_volumes(volumes) {
    setAccessibleName(tr("Sound browser"));
    // Plain and legible beside the skinned panel: the desktop's own look.
    setAutoFillBackground(true);
    BuildFolderPane();
    BuildFileList();
    QHBoxLayout* previewRow = BuildPreviewRow();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(PaneMargin, PaneMargin, PaneMargin, PaneMargin);
    layout->addWidget(m_places);
    layout->addWidget(m_tree, 2);
    layout->addWidget(m_filter);
    layout->addWidget(m_list, 3);
    layout->addLayout(previewRow);
    setTabOrder(m_places, m_tree);
    setTabOrder(m_tree, m_filter);
    setTabOrder(m_filter, m_list);
    setTabOrder(m_list, m_previewOn);
    setTabOrder(m_previewOn, m_level);

    ConnectControls();
    BuildPlaces();
}

// The places (home, cards...) and the folder tree.
void SoundBrowser::BuildFolderPane() {
    m_places = new QListWidget(this);
    m_places->setAccessibleName(tr("Places"));
    m_places->setMaximumHeight(110);

    m_dirs = new QFileSystemModel(this);
    m_dirs->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_dirs->setRootPath(QStringLiteral("/"));
    m_tree = new QTreeView(this);
    m_tree->setAccessibleName(tr("Folders"));
    m_tree->setModel(m_dirs);
    for (int column = 1; column < m_dirs->columnCount(); ++column) m_tree->hideColumn(column);
    m_tree->setHeaderHidden(true);
}

// The filter and the sound files of the folder with their details.
void SoundBrowser::BuildFileList() {
    m_filter = new QLineEdit(this);
    m_filter->setAccessibleName(tr("Filter sound files"));
    m_filter->setPlaceholderText(tr("Filter"));
    m_filter->setClearButtonEnabled(true);

    m_list = new SoundList(this);
    m_list->setAccessibleName(tr("Sound files"));
    m_list->setColumnCount(ColumnCount);
    m_list->setHeaderLabels({tr("Name"), tr("Length"), tr("Ch"), tr("Rate"), tr("Bits")});
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    for (int column = LengthColumn; column < ColumnCount; ++column)
        m_list->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

// Preview on or off, and its level.
QHBoxLayout* SoundBrowser::BuildPreviewRow() {
    m_previewOn = new QCheckBox(tr("&Preview"), this);
    m_previewOn->setAccessibleName(tr("Preview the selected file"));
    m_previewOn->setChecked(true);
    m_level = new QSlider(Qt::Horizontal, this);
    m_level->setAccessibleName(tr("Preview level"));
    m_level->setRange(0, 100);
    m_level->setValue(100);
    auto* levelLabel = new QLabel(tr("&Level"), this);
    levelLabel->setBuddy(m_level);

    auto* previewRow = new QHBoxLayout;
    previewRow->addWidget(m_previewOn);
    previewRow->addWidget(levelLabel);
    previewRow->addWidget(m_level, 1);
    return previewRow;
}

void SoundBrowser::ConnectControls() {
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        if (QTreeWidgetItem* item = m_list->currentItem(); item != nullptr && PreviewOn())
            Preview(item->data(NameColumn, PathRole).toString());
    });
    connect(m_list, &QTreeWidget::currentItemChanged, this, &SoundBrowser::OnCurrentChanged);
    connect(m_list, &SoundList::ReplayAsked, this, [this] {
        if (QTreeWidgetItem* item = m_list->currentItem())
            Preview(item->data(NameColumn, PathRole).toString());
    });
    connect(m_list, &SoundList::StopAsked, this, &SoundBrowser::StopPreview);
    connect(m_list, &SoundList::EnterPressed, this, [this] {
        const QStringList files = SelectedFiles();
        if (files.isEmpty()) return;
        NoteFolderUsed();
        emit FilesChosen(files);
    });
    connect(m_filter, &QLineEdit::textChanged, this, &SoundBrowser::ApplyFilter);
    connect(m_filter, &QLineEdit::returnPressed, m_list, [this] { m_list->setFocus(); });
    connect(m_previewOn, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) StopPreview();
    });
    connect(m_tree, &QTreeView::activated, this,
            [this](const QModelIndex& index) { SetFolder(m_dirs->filePath(index)); });
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                if (index.isValid()) SetFolder(m_dirs->filePath(index));
            });
    connect(m_places, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { SetFolder(item->data(PathRole).toString()); });
    connect(m_places, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { SetFolder(item->data(PathRole).toString()); });
}

SoundBrowser::~SoundBrowser() {
    m_jobs.CancelAll();
    if (m_previewAsked > 0) m_model.StopAudition();
}

void SoundBrowser::BuildPlaces() {
    m_places->clear();
    const auto add = [this](const QString& name, const QString& path) {
        if (path.isEmpty()) return;
        auto* item = new QListWidgetItem(name, m_places);
        item->setData(PathRole, path);
        item->setToolTip(path);
    };
    add(tr("Home"), QDir::homePath());
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && music != QDir::homePath()) add(tr("Music"), music);
    for (const auto& [name, root] : m_cards) add(name, root);
    for (const QString& folder : m_recent)
        add(tr("%1 (recent)").arg(QFileInfo(folder).fileName()), folder);
}

void SoundBrowser::ListCards() {
    // The mount table and the volumes' sizes are read on a worker: a
    // stalled mount must not stall the window.
    const VolumeSource* volumes = m_volumes;
    m_jobs.Run<Places>(
        QStringLiteral("places"), this,
        [volumes](const std::atomic<bool>&) {
            const SystemVolumeSource system;
            Places out;
            for (const Volume& volume : (volumes != nullptr ? *volumes : system).ListVolumes()) {
                // The machine's own disks are no place to browse for sounds.
                if (volumes == nullptr && !volume.removable) continue;
                out.emplace_back(QString::fromStdString(volume.displayName),
                                 QFile::decodeName(QByteArray::fromStdString(volume.root)));
            }
            return out;
        },
        [this](Places cards) {
            m_cards = std::move(cards);
            BuildPlaces();
        });
}

void SoundBrowser::SetRecentFolders(const QStringList& folders) {
    m_recent.clear();
    for (const QString& folder : folders) {
        if (!folder.isEmpty() && !m_recent.contains(folder)) m_recent.append(folder);
        if (m_recent.size() == MaxRecentFolders) break;
    }
    BuildPlaces();
}

bool SoundBrowser::SetFolder(const QString& folder) {
    const QString absolute = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    // Not looked at here (a card may hang): the listing job says when the
    // folder cannot be read.
    if (folder.isEmpty()) return false;
    if (absolute == m_folder) return true;
    m_folder = absolute;
    const QModelIndex index = m_dirs->index(absolute);
    if (index.isValid() && m_tree->currentIndex() != index) {
        m_tree->setCurrentIndex(index);
        m_tree->scrollTo(index);
    }
    if (isVisible()) Refresh();
    return true;
}

void SoundBrowser::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ListCards();
    if (m_listedFolder != m_folder) Refresh();
}

void SoundBrowser::NoteFolderUsed() {
    if (m_folder.isEmpty() || m_recent.value(0) == m_folder) return;
    m_recent.removeAll(m_folder);
    m_recent.prepend(m_folder);
    while (m_recent.size() > MaxRecentFolders) m_recent.removeLast();
    BuildPlaces();
}

void SoundBrowser::Refresh() {
    m_jobs.Cancel(QStringLiteral("list"));
    m_jobs.Cancel(QStringLiteral("details"));
    m_list->clear();
    m_detailsPending = 0;
    m_listedFolder = m_folder;
    const quint64 listing = ++m_listing;
    const std::string folder = ToNative(m_folder);
    const bool convert = m_model.ConvertFormats();
    m_jobs.Run<Listing>(
        QStringLiteral("list"), this,
        [folder, convert](const std::atomic<bool>&) {
            Listing out;
            std::vector<std::filesystem::path> files;
            std::string why;
            out.ok = ListSoundFiles(folder, convert, &files, &why);
            out.why = QString::fromStdString(why);
            for (const auto& file : files) out.files.append(ToQt(file));
            return out;
        },
        [this, listing](Listing listed) {
            if (listing != m_listing) return;
            for (const QString& path : listed.files) {
                auto* item = new QTreeWidgetItem(m_list);
                item->setText(NameColumn, QFileInfo(path).fileName());
                item->setData(NameColumn, PathRole, path);
                item->setToolTip(NameColumn, path);
                FillDetails(item, path);
            }
            if (!listed.ok) m_list->setToolTip(listed.why);
            ApplyFilter(m_filter->text());
            if (m_detailsPending == 0) emit DetailsFilled();
        });
}

void SoundBrowser::FillDetails(QTreeWidgetItem* item, const QString& path) {
    const quint64 listing = m_listing;
    const std::string native = ToNative(path);
    const bool convert = m_model.ConvertFormats();
    ++m_detailsPending;
    // One job a file: each row fills in as soon as its file is read.
    m_jobs.Run<Details>(
        QStringLiteral("details"), this,
        [native, convert](const std::atomic<bool>& cancelled) {
            Details out;
            if (cancelled) return out;
            std::string why;
            out.ok = ProbeSoundFile(native.c_str(), convert, &out.info, &why);
            out.why = QString::fromStdString(why);
            return out;
        },
        [this, listing, item](Details details) {
            // The items of an older listing are gone.
            if (listing != m_listing) return;
            if (details.ok) {
                item->setText(LengthColumn, LengthText(details.info));
                item->setText(ChannelsColumn, QString::number(details.info.channels));
                item->setText(RateColumn, QString::number(details.info.sampleRate));
                item->setText(BitsColumn, details.info.bitsPerSample > 0
                                              ? QString::number(details.info.bitsPerSample)
                                              : QString());
            } else {
                item->setForeground(NameColumn,
                                    palette().brush(QPalette::Disabled, QPalette::Text));
                item->setToolTip(NameColumn,
                                 item->toolTip(NameColumn) + QLatin1Char('\n') + details.why);
            }
            if (--m_detailsPending == 0) emit DetailsFilled();
        });
}

void SoundBrowser::ApplyFilter(const QString& text) {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        item->setHidden(!text.isEmpty() &&
                        !item->text(NameColumn).contains(text, Qt::CaseInsensitive));
    }
}

QStringList SoundBrowser::ListedFiles() const {
    QStringList out;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        out.append(m_list->topLevelItem(i)->data(NameColumn, PathRole).toString());
    return out;
}

QStringList SoundBrowser::SelectedFiles() const {
    QStringList out;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->isSelected() && !item->isHidden())
            out.append(item->data(NameColumn, PathRole).toString());
    }
    return out;
}

bool SoundBrowser::SelectFile(const QString& path) {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->data(NameColumn, PathRole).toString() != path) continue;
        m_list->setCurrentItem(item);
        return true;
    }
    return false;
}

void SoundBrowser::OnCurrentChanged() {
    // Fast scrolling plays only the file the keys settle on.
    if (PreviewOn()) m_settle.start();
}

void SoundBrowser::Preview(const QString& path) {
    m_settle.stop();
    const quint64 asked = ++m_previewAsked;
    const std::string native = ToNative(path);
    const bool convert = m_model.ConvertFormats();
    // A preview still being made is of no use any more.
    m_jobs.Cancel(QStringLiteral("preview"));
    m_jobs.Run<std::shared_ptr<MadeRow>>(
        QStringLiteral("preview"), this,
        [native, convert](const std::atomic<bool>&) {
            // The row exactly as a load would make it.
            return std::make_shared<MadeRow>(SlotModel::MakeRow(native, {}, convert));
        },
        [this, asked, path](std::shared_ptr<MadeRow> row) {
            if (asked != m_previewAsked) {
                emit PreviewDropped(path);
                return;
            }
            const float gain = static_cast<float>(PreviewLevel()) / 100.0f;
            if (!m_model.AuditionRow(std::move(*row), nullptr, gain)) return;
            NoteFolderUsed();
            emit PreviewStarted(path);
        });
}

void SoundBrowser::StopPreview() {
    m_settle.stop();
    ++m_previewAsked;  // a preview being made does not start after all
    m_jobs.Cancel(QStringLiteral("preview"));
    m_model.StopAudition();
}

void SoundBrowser::SetPreviewOn(bool on) { m_previewOn->setChecked(on); }

bool SoundBrowser::PreviewOn() const { return m_previewOn->isChecked(); }

void SoundBrowser::SetPreviewLevel(int percent) { m_level->setValue(percent); }

int SoundBrowser::PreviewLevel() const { return m_level->value(); }

void SoundBrowser::keyPressEvent(QKeyEvent* event) {
    // Escape anywhere in the browser stops the preview; it never reaches
    // the window, where it would end the program. Nor do other keys the
    // browser's controls left: typed in the browser, they are no pads.
    if (event->key() == Qt::Key_Escape) StopPreview();
    event->accept();
}
