#include "app/SoundBrowser.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
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

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/SlotModel.h"
#include "convert/PeakOverview.h"
#include "convert/SoundFiles.h"
#include "savedlg/VolumeSource.h"

namespace {

enum Column { NameColumn, LengthColumn, ChannelsColumn, RateColumn, BitsColumn, ColumnCount };

constexpr int PathRole = Qt::UserRole;
// Type-ahead letters play the file where the typing rests.
constexpr int SettleMs = 70;
constexpr int PaneMargin = 6;
// Rows read either side of those shown, so a page scrolled is filled at once.
constexpr int DetailsMarginPages = 1;

struct Details {
    int index = 0;  // in the listing
    bool ok = false;
    bool convertible = false;  // refused, but the converter reads it
    SourceInfo info;
    QString why;
};

using Places = std::vector<std::pair<QString, QString>>;  // name, folder

QString ToQt(const std::filesystem::path& path) { return QFile::decodeName(path.c_str()); }

std::string ToNative(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool IsMovingKey(int key) {
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End: return true;
    default: return false;
    }
}

}  // namespace

QString SoundLengthText(const SourceInfo& info) {
    if (info.sampleRate <= 0) return {};
    // Tenths, rounded once, so 59.96 s reads 1:00.0 and never 0:60.0.
    const int64_t tenths = (info.frames * 10 + info.sampleRate / 2) / info.sampleRate;
    return QString::asprintf("%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                             static_cast<long long>(tenths / 10 % 60),
                             static_cast<long long>(tenths % 10));
}

// The folder's files for the list: every file is a row at once, its
// details come when a read of the rows shown reports them. The filter
// keeps a list of the rows shown, so a folder of 100,000 files is filtered
// and shown without an item object per file.
class SoundListModel : public QAbstractTableModel {
public:
    enum class State { Unread, Asked, Read };
    struct Entry {
        QString path;
        QString name;
        State state = State::Unread;
        bool refused = false;
        QString length, channels, rate, bits, why;
    };

    explicit SoundListModel(QObject* parent) : QAbstractTableModel(parent) {}

    void SetFiles(std::vector<Entry> entries) {
        beginResetModel();
        m_all = std::move(entries);
        Show();
        endResetModel();
    }

    void SetFilter(const QString& text) {
        if (text == m_filter) return;
        beginResetModel();
        m_filter = text;
        Show();
        endResetModel();
    }

    [[nodiscard]] const std::vector<Entry>& All() const { return m_all; }
    [[nodiscard]] int IndexOfRow(int row) const {
        return row >= 0 && row < static_cast<int>(m_shown.size())
                   ? m_shown[static_cast<size_t>(row)]
                   : -1;
    }
    [[nodiscard]] int RowOfIndex(int index) const {
        return index >= 0 && index < static_cast<int>(m_rowOf.size())
                   ? m_rowOf[static_cast<size_t>(index)]
                   : -1;
    }
    [[nodiscard]] QString PathAt(int row) const {
        const int index = IndexOfRow(row);
        return index < 0 ? QString() : m_all[static_cast<size_t>(index)].path;
    }
    // The listing's indexes of the rows first ... last not yet read, now asked.
    std::vector<int> AskUnread(int first, int last) {
        std::vector<int> out;
        for (int row = std::max(first, 0); row <= last && row < rowCount({}); ++row) {
            Entry& entry = m_all[static_cast<size_t>(IndexOfRow(row))];
            if (entry.state != State::Unread) continue;
            entry.state = State::Asked;
            out.push_back(IndexOfRow(row));
        }
        return out;
    }
    // Asked details that were never read (a cancelled read) are asked again.
    void ForgetAsked() {
        for (Entry& entry : m_all)
            if (entry.state == State::Asked) entry.state = State::Unread;
    }
    void SetDetails(const Details& details, bool convertOn) {
        Entry& entry = m_all[static_cast<size_t>(details.index)];
        entry.state = State::Read;
        entry.refused = !details.ok;
        if (details.ok) {
            entry.length = SoundLengthText(details.info);
            entry.channels = QString::number(details.info.channels);
            entry.rate = QString::number(details.info.sampleRate);
            entry.bits = details.info.bitsPerSample > 0
                             ? QString::number(details.info.bitsPerSample)
                             : QString();
        } else {
            entry.why = details.why;
            // How to take it, where the converter reads it.
            if (details.convertible && !convertOn)
                entry.why +=
                    QLatin1Char('\n') + QObject::tr(
                                            "Turn on \"Convert other formats\" (the panel's "
                                            "right-click menu) to take this file.");
        }
        const int row = RowOfIndex(details.index);
        if (row >= 0) emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    }

    [[nodiscard]] int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
    }
    [[nodiscard]] int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : ColumnCount;
    }
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override {
        const int at = IndexOfRow(index.row());
        if (at < 0) return {};
        const Entry& entry = m_all[static_cast<size_t>(at)];
        switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
            case NameColumn: return entry.name;
            case LengthColumn: return entry.length;
            case ChannelsColumn: return entry.channels;
            case RateColumn: return entry.rate;
            case BitsColumn: return entry.bits;
            default: return {};
            }
        case Qt::ToolTipRole:
            return entry.why.isEmpty() ? entry.path : entry.path + QLatin1Char('\n') + entry.why;
        case Qt::ForegroundRole:
            if (entry.refused)
                return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
            return {};
        case Qt::TextAlignmentRole:
            if (index.column() != NameColumn)
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        case PathRole: return entry.path;
        default: return {};
        }
    }
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        switch (section) {
        case NameColumn: return QObject::tr("Name");
        case LengthColumn: return QObject::tr("Length");
        case ChannelsColumn: return QObject::tr("Ch");
        case RateColumn: return QObject::tr("Rate");
        case BitsColumn: return QObject::tr("Bits");
        default: return {};
        }
    }
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) return Qt::NoItemFlags;
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled |
               Qt::ItemNeverHasChildren;
    }
    [[nodiscard]] QStringList mimeTypes() const override {
        return {QStringLiteral("text/uri-list"),
                QString::fromLatin1(SoundList::BrowserFilesFormat)};
    }
    // The files' URLs and the browser's format; null for no rows.
    [[nodiscard]] QMimeData* mimeData(const QModelIndexList& indexes) const override {
        QList<QUrl> urls;
        std::vector<bool> seen(m_shown.size(), false);
        for (const QModelIndex& index : indexes) {
            if (!index.isValid() || seen[static_cast<size_t>(index.row())]) continue;
            seen[static_cast<size_t>(index.row())] = true;
            urls.append(QUrl::fromLocalFile(PathAt(index.row())));
        }
        if (urls.isEmpty()) return nullptr;
        auto* data = new QMimeData;  // owned by the drag
        data->setUrls(urls);
        data->setData(QString::fromLatin1(SoundList::BrowserFilesFormat), QByteArray());
        return data;
    }
    [[nodiscard]] Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    void Show() {
        m_shown.clear();
        m_rowOf.assign(m_all.size(), -1);
        for (size_t i = 0; i < m_all.size(); ++i) {
            if (!m_filter.isEmpty() && !m_all[i].name.contains(m_filter, Qt::CaseInsensitive))
                continue;
            m_rowOf[i] = static_cast<int>(m_shown.size());
            m_shown.push_back(static_cast<int>(i));
        }
    }

    std::vector<Entry> m_all;
    std::vector<int> m_shown;  // the listing's indexes of the rows, in order
    std::vector<int> m_rowOf;  // the row of each listed file, -1 when filtered out
    QString m_filter;
};

namespace {

// The folder's files, made into the list's rows on the worker.
struct Listing {
    bool ok = false;
    std::vector<SoundListModel::Entry> entries;
    QString why;
};

}  // namespace

SoundList::SoundList(QWidget* parent) : QTreeView(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    m_holdEnd.setSingleShot(true);
    m_holdEnd.setInterval(HoldEndGraceMs);
    connect(&m_holdEnd, &QTimer::timeout, this, [this] {
        m_heldRepeated = false;
        emit HoldEnded();
    });
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
    Move move = Move::None;
    if (IsMovingKey(event->key())) {
        const bool repeat = m_repeats.IsRepeat(*event);
        move = repeat ? Move::Repeat : Move::Fresh;
        if (repeat) {
            m_holdEnd.stop();  // the release just seen was a repeat's
            m_heldRepeated = true;
        }
    } else if (!event->text().isEmpty() && event->text().at(0).isPrint()) {
        move = Move::Typing;
    }
    m_move = move;
    QTreeView::keyPressEvent(event);
    m_move = Move::None;
    // Letters and digits are the list's own: they never reach the pads.
    if (move == Move::Typing) event->accept();
}

void SoundList::keyReleaseEvent(QKeyEvent* event) {
    if (IsMovingKey(event->key())) {
        m_repeats.NoteRelease(*event);
        // Only a hold that moved silently plays where it stopped; a single
        // press played at once.
        if (!event->isAutoRepeat() && m_heldRepeated) m_holdEnd.start();
    }
    QTreeView::keyReleaseEvent(event);
}

void SoundList::mousePressEvent(QMouseEvent* event) {
    m_move = Move::Fresh;
    QTreeView::mousePressEvent(event);
    m_move = Move::None;
}

void SoundList::scrollContentsBy(int dx, int dy) {
    QTreeView::scrollContentsBy(dx, dy);
    emit ViewMoved();
}

void SoundList::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    emit ViewMoved();
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
    m_files = new SoundListModel(this);
    m_list->setModel(m_files);
    // Fixed widths from the widest text each column takes: a column sized
    // to its contents measures every row each time a row's details come.
    QHeaderView* header = m_list->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    const QFontMetrics metrics(m_list->font());
    const int pad = 2 * metrics.horizontalAdvance(QLatin1Char('0'));
    const std::pair<Column, QString> widest[] = {{LengthColumn, QStringLiteral("000:00.0")},
                                                 {ChannelsColumn, tr("Ch")},
                                                 {RateColumn, QStringLiteral("000000")},
                                                 {BitsColumn, tr("Bits")}};
    for (const auto& [column, text] : widest) {
        header->setSectionResizeMode(column, QHeaderView::Fixed);
        header->resizeSection(column, metrics.horizontalAdvance(text) + pad);
    }
    m_detailsSoon.setSingleShot(true);
    m_detailsSoon.setInterval(0);
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
    const auto previewCurrent = [this] {
        if (const QString path = PathAt(CurrentRow()); !path.isEmpty() && PreviewOn())
            Preview(path);
    };
    connect(&m_settle, &QTimer::timeout, this, previewCurrent);
    connect(m_list, &SoundList::HoldEnded, this, previewCurrent);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &SoundBrowser::OnCurrentChanged);
    connect(m_list, &SoundList::ReplayAsked, this, [this] {
        if (const QString path = PathAt(CurrentRow()); !path.isEmpty()) Preview(path);
    });
    connect(m_list, &SoundList::ViewMoved, this, &SoundBrowser::ReadDetailsSoon);
    connect(&m_detailsSoon, &QTimer::timeout, this, &SoundBrowser::ReadDetails);
    connect(m_list, &SoundList::StopAsked, this, &SoundBrowser::StopPreview);
    connect(m_list, &SoundList::EnterPressed, this, [this] {
        const QStringList files = SelectedFiles();
        if (files.isEmpty()) return;
        NoteFolderUsed();
        emit FilesChosen(files);
    });
    connect(m_filter, &QLineEdit::textChanged, this, &SoundBrowser::ApplyFilter);
    connect(m_filter, &QLineEdit::returnPressed, this, &SoundBrowser::ChooseFromFilter);
    m_filter->installEventFilter(this);
    connect(m_previewOn, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) StopPreview();
    });
    connect(m_tree, &QTreeView::activated, this,
            [this](const QModelIndex& index) { SetFolder(m_dirs->filePath(index)); });
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                // Only the musician's moves: the tree's own (its first row
                // made current as the focus comes) would list "/".
                if (index.isValid() && !m_revealing && m_tree->hasFocus())
                    SetFolder(m_dirs->filePath(index));
            });
    // The tree reads folders on its own thread: the folder shown is
    // revealed again as its parents come in.
    connect(m_dirs, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (m_folder.startsWith(loaded)) RevealFolder();
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
        JobLane{JobLane::Kind::Places}, this,
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
    RevealFolder();
    if (isVisible()) Refresh();
    return true;
}

void SoundBrowser::RevealFolder() {
    const QModelIndex index = m_dirs->index(m_folder);
    if (!index.isValid()) return;
    m_revealing = true;
    // Opened down to it: the folders above are read on the model's thread.
    for (QModelIndex above = index.parent(); above.isValid(); above = above.parent())
        m_tree->expand(above);
    if (m_tree->currentIndex() != index) m_tree->setCurrentIndex(index);
    m_tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
    m_revealing = false;
}

void SoundBrowser::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ListCards();
    RevealFolder();
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
    m_jobs.Cancel(JobLane{JobLane::Kind::List});
    m_jobs.Cancel(JobLane{JobLane::Kind::Details});
    m_detailsReading = false;
    m_detailsAgain = false;
    m_files->SetFiles({});
    m_list->setToolTip(QString());
    m_listedFolder = m_folder;
    const quint64 listing = ++m_listing;
    const std::string folder = ToNative(m_folder);
    m_jobs.Run<Listing>(
        JobLane{JobLane::Kind::List}, this,
        [folder](const std::atomic<bool>&) {
            Listing out;
            std::vector<std::filesystem::path> files;
            std::string why;
            // Every file the converter reads too: those the strict reader
            // refuses are listed greyed, with why and how to take them.
            out.ok = ListSoundFiles(folder, true, &files, &why);
            out.why = QString::fromStdString(why);
            out.entries.resize(files.size());
            for (size_t i = 0; i < files.size(); ++i) {
                SoundListModel::Entry& entry = out.entries[i];
                entry.path = ToQt(files[i]);
                entry.name = ToQt(files[i].filename());
            }
            return out;
        },
        [this, listing](Listing listed) {
            if (listing != m_listing) return;
            m_files->SetFiles(std::move(listed.entries));
            if (!listed.ok) m_list->setToolTip(listed.why);
            ReadDetails();
        });
}

void SoundBrowser::ReadDetailsSoon() {
    if (!m_detailsSoon.isActive()) m_detailsSoon.start();
}

// Reads the details of the rows shown and a page either side, one read at
// a time; a view moved meanwhile is read when it returns.
void SoundBrowser::ReadDetails() {
    if (m_detailsReading) {
        m_detailsAgain = true;
        return;
    }
    const int rows = m_files->rowCount({});
    if (rows == 0) {
        emit DetailsFilled();
        return;
    }
    const QRect area = m_list->viewport()->rect();
    QModelIndex top = m_list->indexAt(area.topLeft());
    QModelIndex bottom = m_list->indexAt(QPoint(area.left(), area.bottom()));
    const int rowHeight = std::max(1, m_list->sizeHintForRow(0));
    const int page = std::max(1, area.height() / rowHeight);
    const int first = top.isValid() ? top.row() : 0;
    const int last = bottom.isValid() ? bottom.row() : std::min(rows - 1, first + page);
    const std::vector<int> asked =
        m_files->AskUnread(first - DetailsMarginPages * page, last + DetailsMarginPages * page);
    if (asked.empty()) {
        emit DetailsFilled();
        return;
    }
    std::vector<std::pair<int, std::string>> files;
    files.reserve(asked.size());
    for (int index : asked)
        files.emplace_back(index, ToNative(m_files->All()[static_cast<size_t>(index)].path));
    const quint64 listing = m_listing;
    const bool convert = m_model.ConvertFormats();
    m_detailsReading = true;
    m_jobs.Run<std::vector<Details>>(
        JobLane{JobLane::Kind::Details}, this,
        [files = std::move(files), convert](const std::atomic<bool>& cancelled) {
            std::vector<Details> out;
            out.reserve(files.size());
            for (const auto& [index, native] : files) {
                if (cancelled) break;
                Details details;
                details.index = index;
                std::string why;
                details.ok = ProbeSoundFile(native.c_str(), convert, &details.info, &why);
                details.why = QString::fromStdString(why);
                SourceInfo ignored;
                details.convertible = !details.ok && !convert &&
                                      ProbeSoundFile(native.c_str(), true, &ignored, nullptr);
                out.push_back(std::move(details));
            }
            return out;
        },
        [this, listing](const std::vector<Details>& read) {
            // The rows of an older listing are gone.
            if (listing != m_listing) return;
            m_detailsReading = false;
            m_detailsAgain = false;
            const bool convert = m_model.ConvertFormats();
            for (const Details& details : read) m_files->SetDetails(details, convert);
            // Whatever the view shows now, and was not read yet.
            ReadDetails();
        });
}

void SoundBrowser::ApplyFilter(const QString& text) {
    const QString current = PathAt(CurrentRow());
    const QStringList selected = SelectedFiles();
    m_files->SetFilter(text);
    // What stays shown stays selected; no move of the musician's, no sound.
    QItemSelection keep;
    for (const QString& path : selected) {
        const auto& all = m_files->All();
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i].path != path) continue;
            const int row = m_files->RowOfIndex(static_cast<int>(i));
            if (row >= 0) keep.select(m_files->index(row, 0), m_files->index(row, ColumnCount - 1));
            break;
        }
    }
    if (!keep.isEmpty())
        m_list->selectionModel()->select(keep, QItemSelectionModel::ClearAndSelect);
    if (!current.isEmpty()) {
        const auto& all = m_files->All();
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i].path != current) continue;
            const int row = m_files->RowOfIndex(static_cast<int>(i));
            if (row >= 0)
                m_list->selectionModel()->setCurrentIndex(m_files->index(row, 0),
                                                          QItemSelectionModel::NoUpdate);
            break;
        }
    }
    ReadDetailsSoon();
}

QString SoundBrowser::PathAt(int row) const { return m_files->PathAt(row); }

int SoundBrowser::CurrentRow() const {
    const QModelIndex index = m_list->currentIndex();
    return index.isValid() ? index.row() : -1;
}

QStringList SoundBrowser::ListedFiles() const {
    QStringList out;
    out.reserve(static_cast<qsizetype>(m_files->All().size()));
    for (const SoundListModel::Entry& entry : m_files->All()) out.append(entry.path);
    return out;
}

QStringList SoundBrowser::SelectedFiles() const {
    QModelIndexList rows = m_list->selectionModel()->selectedRows(NameColumn);
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList out;
    for (const QModelIndex& index : rows) out.append(PathAt(index.row()));
    return out;
}

bool SoundBrowser::SelectFile(const QString& path) {
    for (int row = 0; row < m_files->rowCount({}); ++row) {
        if (PathAt(row) != path) continue;
        m_list->selectionModel()->setCurrentIndex(
            m_files->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_list->scrollTo(m_files->index(row, 0));
        if (PreviewOn()) Preview(path);
        return true;
    }
    return false;
}

void SoundBrowser::OnCurrentChanged() {
    switch (m_list->CurrentMove()) {
    case SoundList::Move::Fresh:
        // A fresh press or a click: the musician chose this file.
        if (PreviewOn()) Preview(PathAt(CurrentRow()));
        break;
    case SoundList::Move::Repeat:
        // A held key passes files by: only where it stops plays.
        StopPreview();
        break;
    case SoundList::Move::Typing:
        // Letters of a name: the file where the typing rests.
        if (PreviewOn()) m_settle.start();
        break;
    case SoundList::Move::None: break;  // the program's own move plays nothing
    }
}

void SoundBrowser::ChooseFromFilter() {
    if (m_files->rowCount({}) == 0) return;
    // Nothing selected: the first file that matches.
    if (SelectedFiles().isEmpty())
        m_list->selectionModel()->setCurrentIndex(
            m_files->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QStringList files = SelectedFiles();
    if (files.isEmpty()) return;
    NoteFolderUsed();
    emit FilesChosen(files);
}

bool SoundBrowser::eventFilter(QObject* watched, QEvent* event) {
    // Down (or Page Down) in the filter goes on into the files it left.
    if (watched == m_filter && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Down || key->key() == Qt::Key_PageDown) &&
            key->modifiers() == Qt::NoModifier && m_files->rowCount({}) > 0) {
            m_list->setFocus(Qt::TabFocusReason);
            if (SelectedFiles().isEmpty()) {
                m_list->selectionModel()->setCurrentIndex(
                    m_files->index(0, 0),
                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                if (PreviewOn()) Preview(PathAt(0));
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SoundBrowser::Preview(const QString& path) {
    m_settle.stop();
    const quint64 asked = ++m_previewAsked;
    const std::string native = ToNative(path);
    const bool convert = m_model.ConvertFormats();
    // A preview still being made is of no use any more.
    m_jobs.Cancel(JobLane{JobLane::Kind::Audition});
    m_jobs.Run<std::shared_ptr<MadeRow>>(
        JobLane{JobLane::Kind::Audition}, this,
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
    m_jobs.Cancel(JobLane{JobLane::Kind::Audition});
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
