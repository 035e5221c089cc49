// Filling rows: the target row, files put on rows in natural order (from
// the open dialog, a folder or the sound browser), the rows' drops, and
// rows dragged out as files.

#include "app/FillController.h"

#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/HistoryController.h"
#include "app/KitController.h"
#include "app/LoadController.h"
#include "app/RowHistory.h"
#include "app/RowsView.h"
#include "app/WindowContext.h"
#include "audio/RowMark.h"
#include "controls/MessageBox.h"
#include "controls/SlotPanel.h"
#include "convert/AudioConverter.h"
#include "convert/SoundFiles.h"
#include "core/BankRows.h"
#include "core/RowFilesFolder.h"
#include "core/RowPlacement.h"
#include "res/StringTable.h"
#include "voicebank/VoiceBankImage.h"

namespace {

std::string NameOf(const QString& path) {
    return QFile::encodeName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)).toStdString();
}

// "13 files did not fit: rows 10 to 16 were filled."
QString LeftOutWord(int leftOut, int firstSlot, int filled) {
    const QString files = leftOut == 1 ? FillController::tr("1 file did not fit")
                                       : FillController::tr("%1 files did not fit").arg(leftOut);
    const QString rows = filled == 1 ? FillController::tr("row %1 was filled.").arg(firstSlot + 1)
                                     : FillController::tr("rows %1 to %2 were filled.")
                                           .arg(firstSlot + 1)
                                           .arg(firstSlot + filled);
    return files + QStringLiteral(": ") + rows;
}

// Writes row slot of image as a WAV file at inFolder below the folder;
// returns its path, or nothing on failure. Runs on a worker.
QString WriteRowFile(const VoiceBankImage& image, int slot, const RowOrigin& origin,
                     RowFilesFolder& folder, const QString& inFolder) {
    const QString dir = QFile::decodeName(QByteArray::fromStdString(folder.Get()));
    if (dir.isEmpty()) return {};
    const QString path = QDir(dir).filePath(inFolder);
    const std::filesystem::path file(QFile::encodeName(path).toStdString());
    const std::vector<uint8_t> wave =
        MakeRowWavFile(image.voices[static_cast<size_t>(slot)], origin);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (wave.empty() || ec) return {};
    // Written beside and renamed over, so a drop target still reading the
    // former file keeps it whole.
    std::filesystem::path part = file;
    part += ".part";
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(wave.data()),
              static_cast<std::streamsize>(wave.size()));
    out.close();
    if (out.fail()) return {};
    std::filesystem::rename(part, file, ec);
    return ec ? QString() : path;
}

}  // namespace

FillController::FillController(WindowContext& context, QObject* parent)
    : QObject(parent), m_context(context) {}

void FillController::ConnectRows() {
    SlotPanel& panel = m_context.panel;
    for (int i = 0; i < SkinSlotCount; ++i) {
        connect(panel.LoadButton(i), &QAbstractButton::clicked, this,
                [this, i] { (void)BrowseForSoundFile(i); });
        // A file may be dropped on the row's load button or its label.
        connect(panel.LoadButton(i), &SkinButton::FileDragEntered, this,
                &FillController::OnFileDragEntered);
        connect(panel.LoadButton(i), &SkinButton::FileDragLeft, this,
                &FillController::OnFileDragLeft);
        connect(panel.LoadButton(i), &SkinButton::FileDropped, this,
                &FillController::OnFileDropped);
        connect(panel.Label(i), &SlotLabel::FileDragEntered, this,
                &FillController::OnFileDragEntered);
        connect(panel.Label(i), &SlotLabel::FileDragLeft, this, &FillController::OnFileDragLeft);
        connect(panel.Label(i), &SlotLabel::FileDropped, this, &FillController::OnFileDropped);
    }
    for (int i = 0; i < SkinSlotCount; ++i) {
        const auto target = [this, i] { SetTargetRow(i); };
        connect(panel.Label(i), &SlotLabel::Pressed, this, target);
        connect(panel.Label(i), &SlotLabel::Pressed, this, &FillController::PrepareRowFile);
        connect(panel.Label(i), &SlotLabel::DragOutAsked, this, &FillController::OnRowDragAsked);
        // On the press: a click's own work (the open dialog's fill) may
        // move the target on.
        connect(panel.LoadButton(i), &QAbstractButton::pressed, this, target);
        connect(panel.PlayButton(i), &QAbstractButton::pressed, this, target);
        const auto dropped = [this](int slot, const QString& path) {
            if (!path.isEmpty() && !IsBankFile(path) && !KitController::IsKitFile(path))
                SetTargetRow(slot);
        };
        connect(panel.Label(i), &SlotLabel::FileDropped, this, dropped);
        connect(panel.LoadButton(i), &SkinButton::FileDropped, this, dropped);
        connect(panel.Label(i), &SlotLabel::FilesDropped, this, &FillController::OnFilesDropped);
        connect(panel.LoadButton(i), &SkinButton::FilesDropped, this,
                &FillController::OnFilesDropped);
    }
    panel.SetTargetRow(m_targetRow);
}

void FillController::SetTargetRow(int slot) {
    if (!SlotPanel::IsValidSlot(slot) || slot == m_targetRow) return;
    m_targetRow = slot;
    m_context.panel.SetTargetRow(slot);
}

bool FillController::MoveTargetByKey(int key) {
    // Row 1 is at the bottom: Up moves to the row above.
    if (key == Qt::Key_Up && m_targetRow + 1 < SlotCount) {
        SetTargetRow(m_targetRow + 1);
        return true;
    }
    if (key == Qt::Key_Down && m_targetRow > 0) {
        SetTargetRow(m_targetRow - 1);
        return true;
    }
    return key == Qt::Key_Up || key == Qt::Key_Down;
}

void FillController::OnFileDragEntered(int slot) {
    if (SlotPanel::IsValidSlot(slot)) m_context.panel.LoadButton(slot)->SetHover(true);
}

void FillController::OnFileDragLeft(int slot) {
    if (SlotPanel::IsValidSlot(slot)) m_context.panel.LoadButton(slot)->SetHover(false);
}

void FillController::OnFileDropped(int slot, const QString& path) {
    if (IsBankFile(path) || KitController::IsKitFile(path)) {
        emit BankDropped(path);
    } else if (!KeepDroppedRowFile(slot, path)) {
        const auto step = m_context.history->BeginRowStep(tr("drop on row %1").arg(slot + 1));
        m_context.loads->LoadSlot(slot, path, true);
    }
    OnFileDragLeft(slot);
}

void FillController::OnFilesDropped(int slot, const QStringList& files) {
    (void)PutFilesOnRows(files, slot);
    OnFileDragLeft(slot);
}
bool FillController::PutFilesOnRows(const QStringList& files, int firstSlot) {
    if (firstSlot < 0) firstSlot = m_targetRow;
    if (!SlotPanel::IsValidSlot(firstSlot) || files.isEmpty() || m_context.openingBank ||
        m_context.saving)
        return false;
    QStringList sorted = files;
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return NaturalLess(NameOf(a), NameOf(b));
    });
    const RowPlacement placed = PlaceOnRows(firstSlot, static_cast<size_t>(sorted.size()));
    const int fitting = static_cast<int>(placed.items.size());
    const int leftOut = static_cast<int>(placed.leftOut);
    const QString word = leftOut > 0 ? LeftOutWord(leftOut, firstSlot, fitting) : QString();

    // One file replaces its row as a single load does; several ask once.
    QStringList filled;
    for (int slot = firstSlot; fitting > 1 && slot < firstSlot + fitting; ++slot) {
        if (m_context.model.IsSlotLoaded(slot) || !m_context.SlotPath(slot).isEmpty())
            filled << QString::number(slot + 1);
    }
    const bool told = !filled.isEmpty();
    if (told && !AskToReplaceRows(&m_context.window, IdsReplaceFillRows, filled, word))
        return false;
    const auto step = m_context.history->BeginRowStep(tr("fill rows"));
    // Several files: what the rows refuse is told once, file by file.
    if (fitting > 1) ReportFillRefusals(firstSlot, sorted.mid(0, fitting));
    bool all = true;
    for (const PlacedItem& p : placed.items) {
        // A row keeps its level whatever file lands on it.
        const VoiceOptions options = PlacedRowOptions(m_context.model.SlotOptions(p.row), {});
        all = m_context.loads->LoadSlot(p.row, sorted[static_cast<int>(p.item)], fitting == 1,
                                        options) &&
              all;
    }
    SetTargetRow(std::min(firstSlot + fitting, SlotCount - 1));
    if (!word.isEmpty() && !told) {
        MessageRequest request;
        request.parent = &m_context.window;
        request.stringId = IdsFilesLeftOut;
        request.icon = QMessageBox::Information;
        request.informativeText = word;
        (void)ShowMessage(std::move(request));
    }
    return all;
}

void FillController::ReportFillRefusals(int firstSlot, const QStringList& files) {
    struct Report {
        int pending = 0;
        std::vector<std::pair<int, QString>> lines;        // slot, line
        std::vector<std::pair<int, QString>> convertible;  // slot, file
        QMetaObject::Connection connection;
    };
    auto report = std::make_shared<Report>();
    report->pending = static_cast<int>(files.size());
    report->connection = connect(
        m_context.loads, &LoadController::RowLoadFinished, this,
        [this, report, firstSlot, files](int slot, bool loaded) {
            const int i = slot - firstSlot;
            if (i < 0 || i >= files.size()) return;
            if (!loaded) {
                report->lines.emplace_back(
                    slot, tr("Row %1: %2: %3")
                              .arg(slot + 1)
                              .arg(QFileInfo(files[i]).fileName(),
                                   QString::fromStdString(m_context.loads->LastFailure().reason)));
                if (m_context.loads->LastFailure().convertible && !m_context.model.ConvertFormats())
                    report->convertible.emplace_back(slot, files[i]);
            }
            if (--report->pending > 0) return;
            disconnect(report->connection);
            if (report->lines.empty()) return;
            // Loads finish in any order; the box reads row by row.
            std::sort(report->lines.begin(), report->lines.end());
            std::sort(report->convertible.begin(), report->convertible.end());
            QStringList lines;
            for (const auto& line : report->lines) lines.append(line.second);
            MessageRequest request;
            request.parent = &m_context.window;
            request.stringId = IdsLoadError;
            request.informativeText = lines.join(QLatin1Char('\n'));
            if (!report->convertible.empty()) {
                LoadController::OfferConvert(request);
                request.informativeText +=
                    tr("\n\nConvert (or \"Convert other formats\" in the panel's menu) takes "
                       "%n of these files: their first second, channels 1 and 2, at 44,100 Hz "
                       "in 16 bits.",
                       nullptr, static_cast<int>(report->convertible.size()));
            }
            // Not inside the delivery of the load that came last.
            m_context.ShowLater([this, request, report] {
                if (ShowMessage(request) != QMessageBox::Apply || report->convertible.empty())
                    return;
                m_context.loads->SetConvertFormats(true);
                for (const auto& [row, file] : report->convertible)
                    (void)m_context.loads->LoadSlot(row, file, true);
            });
        });
}

QString FillController::FillMenuText() const {
    return tr("&Fill rows from folder... (from row %1)").arg(m_targetRow + 1);
}

bool FillController::FillRowsFromFolder() {
    if (m_context.openingBank || m_context.saving) return false;
    const QString folder =
        QFileDialog::getExistingDirectory(&m_context.window, tr("Fill rows from folder"));
    if (folder.isEmpty()) return false;
    const int first = m_targetRow;
    const bool convert = m_context.model.ConvertFormats();
    struct Listing {
        bool read = false;
        std::vector<std::filesystem::path> files;
        std::string why;
    };
    // The folder is read on a worker; its files are put on rows when it is.
    m_context.jobs.Run<Listing>(
        JobLane{JobLane::Kind::Fill}, this,
        [dir = std::filesystem::path(QFile::encodeName(folder).toStdString()),
         convert](const std::atomic<bool>&) {
            Listing listing;
            listing.read = ListSoundFiles(dir, convert, &listing.files, &listing.why);
            return listing;
        },
        [this, folder, first](const Listing& listing) {
            // Its boxes and questions wait until this delivery has returned.
            m_context.ShowLater([this, folder, first, listing] {
                if (!listing.read || listing.files.empty()) {
                    MessageRequest request;
                    request.parent = &m_context.window;
                    request.stringId = IdsFillFolderError;
                    request.informativeText =
                        listing.read
                            ? folder
                            : folder + QStringLiteral(": ") + QString::fromStdString(listing.why);
                    (void)ShowMessage(std::move(request));
                    return;
                }
                QStringList files;
                for (const auto& file : listing.files)
                    files.append(QFile::decodeName(QByteArray::fromStdString(file.string())));
                (void)PutFilesOnRows(files, first);
            });
        });
    return true;
}

bool FillController::BrowseForSoundFile(int slot) {
    if (!SlotPanel::IsValidSlot(slot)) return false;
    QFileDialog dialog(&m_context.window);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QString filter = SoundFileDialogFilter();
    if (m_context.model.ConvertFormats()) {
        // The strict formats' entry stays; one entry more lists every
        // format the converter reads.
        QStringList patterns;
        for (const std::string& ext : ConvertibleExtensions())
            patterns.append(QStringLiteral("*.") + QString::fromStdString(ext));
        filter = tr("Sound files to convert (%1)").arg(patterns.join(QLatin1Char(' '))) +
                 QStringLiteral(";;") + filter;
    }
    dialog.setNameFilter(filter);
    if (dialog.exec() != QDialog::Accepted) return false;
    QStringList chosen = dialog.selectedFiles();
    chosen.removeAll(QString());
    if (chosen.isEmpty()) return false;
    // Several files chosen fill rows from this one.
    if (chosen.size() > 1) return PutFilesOnRows(chosen, slot);
    return m_context.loads->LoadSlot(slot, chosen.front(), true);
}

QString FillController::RowFileForDrag(int slot) const {
    return SlotPanel::IsValidSlot(slot) ? m_rowFiles[static_cast<size_t>(slot)] : QString();
}

void FillController::PrepareRowFile(int slot) {
    if (!SlotPanel::IsValidSlot(slot)) return;
    m_rowFiles[static_cast<size_t>(slot)].clear();
    m_dragWanted = -1;
    // Only the newest press's file may start a drag.
    m_context.jobs.Cancel(JobLane{JobLane::Kind::RowOut});
    SlotFormat format;
    if (m_context.IsRowBusy(slot) || m_context.openingBank ||
        !m_context.model.ReadSlotFormat(slot, &format))
        return;
    // A copy of the rows in memory; the file is made and written off this
    // thread.
    std::shared_ptr<const VoiceBankImage> image = m_context.model.CopyBankImage();
    if (!image) return;
    // Named after the row's file, in a folder of the row's own, so a drop
    // still being copied is never overwritten by another row's file.
    QString name = QFileInfo(m_context.SlotPath(slot)).completeBaseName();
    if (name.isEmpty()) name = QString::asprintf("Row %02d", slot + 1);
    const QString inFolder =
        QString::number(slot + 1) + QLatin1Char('/') + name + QStringLiteral(".wav");
    // The mark makes the file load back exactly as the row stands.
    const RowOrigin origin = format.fromBank ? format.origin : RowOrigin{{}, slot + 1};
    if (!m_rowFilesFolder)
        m_rowFilesFolder =
            std::make_shared<RowFilesFolder>(QFile::encodeName(QDir::tempPath()).toStdString());
    m_context.jobs.Run<QString>(
        JobLane{JobLane::Kind::RowOut}, this,
        [image, slot, origin, folder = m_rowFilesFolder, inFolder](const std::atomic<bool>&) {
            return WriteRowFile(*image, slot, origin, *folder, inFolder);
        },
        [this, slot](const QString& path) {
            if (path.isEmpty()) return;
            m_rowFiles[static_cast<size_t>(slot)] = path;
            const bool wanted = m_dragWanted == slot;
            m_dragWanted = -1;
            // The drag starts only while the button is still held.
            if (wanted && (QGuiApplication::mouseButtons() & Qt::LeftButton)) StartRowDrag(slot);
        });
}

bool FillController::KeepDroppedRowFile(int slot, const QString& path) {
    if (!m_rowFilesFolder || !m_rowFilesFolder->Holds(QFile::encodeName(path).toStdString()))
        return false;
    const QString data = UserDataPath();
    // The temporary folder goes when the window ends: the row is loaded from
    // a copy kept beside the opened banks' rows.
    struct Kept {
        bool ok = false;
        std::string path;
        std::string reason;
    };
    m_context.jobs.Run<Kept>(
        JobLane::ForRow(slot), this,
        [file = QFile::encodeName(path).toStdString(),
         root = QFile::encodeName(data + QStringLiteral("/banks/rows")).toStdString(),
         noData = data.isEmpty()](const std::atomic<bool>&) {
            Kept kept;
            if (noData) {
                kept.reason = "there is no data folder for this user";
            } else {
                kept.ok = KeepRowFile(file, root, &kept.path, &kept.reason);
            }
            return kept;
        },
        [this, slot](Kept kept) {
            if (!kept.ok) {
                m_context.ShowLater([this, reason = kept.reason] {
                    ShowWithReason(&m_context.window, IdsLoadError,
                                   QFile::decodeName(QByteArray::fromStdString(reason)));
                });
                return;
            }
            const QString copy = QFile::decodeName(QByteArray::fromStdString(kept.path));
            const auto step = m_context.history->BeginRowStep(tr("drop on row %1").arg(slot + 1));
            m_context.loads->LoadSlot(slot, copy, true);
        });
    m_context.rows->UpdateRowControls(slot);
    return true;
}

void FillController::RemoveStaleRowFiles() {
    std::vector<std::string> keep;
    for (int i = 0; i < SlotCount; ++i) keep.push_back(m_context.model.SlotPath(i));
    m_context.jobs.Run<int>(
        JobLane{JobLane::Kind::RowFiles}, this,
        [root = QFile::encodeName(QDir::tempPath()).toStdString(), keep = std::move(keep)](
            const std::atomic<bool>&) { return RemoveStaleRowFolders(root, keep); },
        [](int) {});
}

void FillController::OnRowDragAsked(int slot) {
    if (!SlotPanel::IsValidSlot(slot) || !m_context.model.IsSlotLoaded(slot)) return;
    if (m_rowFiles[static_cast<size_t>(slot)].isEmpty()) {
        m_dragWanted = slot;  // starts once the file is written
        return;
    }
    StartRowDrag(slot);
}

void FillController::StartRowDrag(int slot) {
    // Qt owns the drag and its data and deletes them when it ends.
    auto* drag = new QDrag(m_context.panel.Label(slot));
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(m_rowFiles[static_cast<size_t>(slot)])});
    drag->setMimeData(data);
    (void)drag->exec(Qt::CopyAction);
}
