// Filling rows: the target row, files put on rows in natural order (from
// the open dialog, a folder or the sound browser), and the rows' drops of
// the browser's files.

#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/MainWindow.h"
#include "app/PadInput.h"
#include "app/RowEditorDialog.h"
#include "app/RowUndo.h"
#include "core/BankRows.h"
#include "core/RowFilesFolder.h"
#include "audio/RowMark.h"
#include "controls/MessageBox.h"
#include "convert/AudioConverter.h"
#include "convert/SoundFiles.h"
#include "res/StringTable.h"
#include "voicebank/VoiceBankImage.h"

namespace {

std::string NameOf(const QString& path) {
    return QFile::encodeName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)).toStdString();
}

// "13 files did not fit: rows 10 to 16 were filled."
QString LeftOutWord(int leftOut, int firstSlot, int filled) {
    const QString files = leftOut == 1 ? MainWindow::tr("1 file did not fit")
                                       : MainWindow::tr("%1 files did not fit").arg(leftOut);
    const QString rows = filled == 1 ? MainWindow::tr("row %1 was filled.").arg(firstSlot + 1)
                                     : MainWindow::tr("rows %1 to %2 were filled.")
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
    const std::vector<uint8_t> wave = MakeRowWave(image.voices[static_cast<size_t>(slot)], origin);
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

void MainWindow::ConnectFill() {
    for (int i = 0; i < SkinSlotCount; ++i) {
        const auto target = [this, i] { SetTargetRow(i); };
        connect(m_panel.Label(i), &SlotLabel::Pressed, this, target);
        connect(m_panel.Label(i), &SlotLabel::Pressed, this, &MainWindow::PrepareRowFile);
        connect(m_panel.Label(i), &SlotLabel::DragOutAsked, this, &MainWindow::OnRowDragAsked);
        // On the press: a click's own work (the open dialog's fill) may
        // move the target on.
        connect(m_panel.LoadButton(i), &QAbstractButton::pressed, this, target);
        connect(m_panel.PlayButton(i), &QAbstractButton::pressed, this, target);
        const auto dropped = [this](int slot, const QString& path) {
            if (!path.isEmpty() && !IsBankFile(path)) SetTargetRow(slot);
        };
        connect(m_panel.Label(i), &SlotLabel::FileDropped, this, dropped);
        connect(m_panel.LoadButton(i), &SkinButton::FileDropped, this, dropped);
        connect(m_panel.Label(i), &SlotLabel::FilesDropped, this, &MainWindow::OnFilesDropped);
        connect(m_panel.LoadButton(i), &SkinButton::FilesDropped, this,
                &MainWindow::OnFilesDropped);
    }
    connect(m_pads.get(), &PadInput::Struck, this, &MainWindow::SetTargetRow);
    m_panel.SetTargetRow(m_targetRow);
}

void MainWindow::SetTargetRow(int slot) {
    if (!SlotPanel::IsValidSlot(slot) || slot == m_targetRow) return;
    m_targetRow = slot;
    m_panel.SetTargetRow(slot);
    emit TargetRowChanged(slot);
}

bool MainWindow::MoveTargetByKey(int key) {
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

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier && MoveTargetByKey(event->key())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::OnFilesDropped(int slot, const QStringList& files) {
    (void)PutFilesOnRows(files, slot);
    OnFileDragLeft(slot);
}

bool MainWindow::PutFilesOnRows(const QStringList& files, int firstSlot) {
    if (firstSlot < 0) firstSlot = m_targetRow;
    if (!SlotPanel::IsValidSlot(firstSlot) || files.isEmpty() || m_openingBank || m_saving)
        return false;
    QStringList sorted = files;
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return NaturalLess(NameOf(a), NameOf(b));
    });
    const int fitting = std::min(static_cast<int>(sorted.size()), SlotCount - firstSlot);
    const int leftOut = static_cast<int>(sorted.size()) - fitting;
    const QString word = leftOut > 0 ? LeftOutWord(leftOut, firstSlot, fitting) : QString();

    // One file replaces its row as a single load does; several ask once.
    QStringList filled;
    for (int slot = firstSlot; fitting > 1 && slot < firstSlot + fitting; ++slot) {
        if (m_model.IsSlotLoaded(slot) || !GetSlotPath(slot).isEmpty())
            filled << QString::number(slot + 1);
    }
    const bool told = !filled.isEmpty();
    if (told && !AskToReplaceRows(IdsReplaceFillRows, filled, word)) return false;
    const auto step = BeginRowStep(tr("fill rows"));
    // Several files: what the rows refuse is told once, file by file.
    if (fitting > 1) ReportFillRefusals(firstSlot, sorted.mid(0, fitting));
    bool all = true;
    for (int i = 0; i < fitting; ++i) {
        const QString& path = sorted[i];
        all = LoadSlotFile(firstSlot + i, &path, fitting == 1) && all;
    }
    SetTargetRow(std::min(firstSlot + fitting, SlotCount - 1));
    if (!word.isEmpty() && !told) {
        MessageRequest request;
        request.parent = this;
        request.stringId = IdsFilesLeftOut;
        request.icon = QMessageBox::Information;
        request.informativeText = word;
        (void)ShowMessage(std::move(request));
    }
    return all;
}

void MainWindow::ReportFillRefusals(int firstSlot, const QStringList& files) {
    struct Report {
        int pending = 0;
        std::vector<std::pair<int, QString>> lines;        // slot, line
        std::vector<std::pair<int, QString>> convertible;  // slot, file
        QMetaObject::Connection connection;
    };
    auto report = std::make_shared<Report>();
    report->pending = static_cast<int>(files.size());
    report->connection =
        connect(this, &MainWindow::RowLoadFinished, this,
                [this, report, firstSlot, files](int slot, bool loaded) {
                    const int i = slot - firstSlot;
                    if (i < 0 || i >= files.size()) return;
                    if (!loaded) {
                        report->lines.emplace_back(
                            slot, tr("Row %1: %2: %3")
                                      .arg(slot + 1)
                                      .arg(QFileInfo(files[i]).fileName(),
                                           QString::fromStdString(m_lastLoadFailure.reason)));
                        if (m_lastLoadFailure.convertible && !m_model.ConvertFormats())
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
                    request.parent = this;
                    request.stringId = IdsLoadError;
                    request.informativeText = lines.join(QLatin1Char('\n'));
                    if (!report->convertible.empty()) {
                        request.buttons = QMessageBox::Apply | QMessageBox::Ok;
                        request.applyText = tr("&Convert");
                        request.defaultButton = QMessageBox::Ok;
                        request.escapeButton = QMessageBox::Ok;
                        request.informativeText += tr(
                            "\n\nConvert (or \"Convert other formats\" in the panel's menu) takes "
                            "%n of these files: their first second, channels 1 and 2, at 44,100 Hz "
                            "in 16 bits.",
                            nullptr, static_cast<int>(report->convertible.size()));
                    }
                    if (ShowMessage(std::move(request)) != QMessageBox::Apply ||
                        report->convertible.empty())
                        return;
                    SetConvertFormats(true);
                    for (const auto& [row, file] : report->convertible)
                        (void)LoadSlotFile(row, &file, true);
                });
}

bool MainWindow::AskToReplaceRows(int stringId, const QStringList& filled, const QString& more) {
    MessageRequest request;
    request.parent = this;
    request.stringId = stringId;
    request.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    request.icon = QMessageBox::Question;
    request.informativeText =
        tr("Filled rows replaced: %1.").arg(filled.join(QStringLiteral(", ")));
    if (!more.isEmpty()) request.informativeText += QLatin1Char(' ') + more;
    return ShowMessage(std::move(request)) == QMessageBox::Ok;
}

QString MainWindow::FillMenuText() const {
    return tr("&Fill rows from folder... (from row %1)").arg(m_targetRow + 1);
}

bool MainWindow::FillRowsFromFolder() {
    if (m_openingBank || m_saving) return false;
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Fill rows from folder"));
    if (folder.isEmpty()) return false;
    const int first = m_targetRow;
    const bool convert = m_model.ConvertFormats();
    struct Listing {
        bool read = false;
        std::vector<std::filesystem::path> files;
        std::string why;
    };
    // The folder is read on a worker; its files are put on rows when it is.
    m_jobs.Run<Listing>(
        JobLane{JobLane::Kind::Fill}, this,
        [dir = std::filesystem::path(QFile::encodeName(folder).toStdString()),
         convert](const std::atomic<bool>&) {
            Listing listing;
            listing.read = ListSoundFiles(dir, convert, &listing.files, &listing.why);
            return listing;
        },
        [this, folder, first](Listing listing) {
            if (!listing.read || listing.files.empty()) {
                MessageRequest request;
                request.parent = this;
                request.stringId = IdsFillFolderError;
                request.informativeText = listing.read ? folder
                                                       : folder + QStringLiteral(": ") +
                                                             QString::fromStdString(listing.why);
                (void)ShowMessage(std::move(request));
                return;
            }
            QStringList files;
            for (const auto& file : listing.files)
                files.append(QFile::decodeName(QByteArray::fromStdString(file.string())));
            (void)PutFilesOnRows(files, first);
        });
    return true;
}

bool MainWindow::BrowseForSoundFiles(QStringList& out) {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QString filter = AudioFileFilter();
    if (m_model.ConvertFormats()) {
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
    out = dialog.selectedFiles();
    out.removeAll(QString());
    return !out.isEmpty();
}

QString MainWindow::RowFileForDrag(int slot) const {
    return SlotPanel::IsValidSlot(slot) ? m_rowFiles[static_cast<size_t>(slot)] : QString();
}

void MainWindow::PrepareRowFile(int slot) {
    if (!SlotPanel::IsValidSlot(slot)) return;
    m_rowFiles[static_cast<size_t>(slot)].clear();
    m_dragWanted = -1;
    // Only the newest press's file may start a drag.
    m_jobs.Cancel(JobLane{JobLane::Kind::RowOut});
    SlotFormat format;
    if (IsRowBusy(slot) || m_openingBank || !m_model.ReadSlotFormat(slot, &format)) return;
    // A copy of the rows in memory; the file is made and written off this
    // thread.
    std::shared_ptr<const VoiceBankImage> image = m_model.CopyBankImage();
    if (!image) return;
    // Named after the row's file, in a folder of the row's own, so a drop
    // still being copied is never overwritten by another row's file.
    QString name = QFileInfo(GetSlotPath(slot)).completeBaseName();
    if (name.isEmpty()) name = QString::asprintf("Row %02d", slot + 1);
    const QString inFolder =
        QString::number(slot + 1) + QLatin1Char('/') + name + QStringLiteral(".wav");
    // The mark makes the file load back exactly as the row stands.
    const RowOrigin origin = format.fromBank ? format.origin : RowOrigin{{}, slot + 1};
    if (!m_rowFilesFolder)
        m_rowFilesFolder =
            std::make_shared<RowFilesFolder>(QFile::encodeName(QDir::tempPath()).toStdString());
    m_jobs.Run<QString>(
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

bool MainWindow::KeepDroppedRowFile(int slot, const QString& path) {
    if (!m_rowFilesFolder || !m_rowFilesFolder->Holds(QFile::encodeName(path).toStdString()))
        return false;
    const QString data = UserDataFolder();
    // The temporary folder goes when the window ends: the row is loaded from
    // a copy kept beside the opened banks' rows.
    struct Kept {
        bool ok = false;
        std::string path;
        std::string reason;
    };
    m_jobs.Run<Kept>(
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
                MessageRequest request;
                request.parent = this;
                request.stringId = IdsLoadError;
                request.informativeText = QFile::decodeName(QByteArray::fromStdString(kept.reason));
                (void)ShowMessage(std::move(request));
                return;
            }
            const QString copy = QFile::decodeName(QByteArray::fromStdString(kept.path));
            const auto step = BeginRowStep(tr("drop on row %1").arg(slot + 1));
            LoadSlotFile(slot, &copy, true);
        });
    UpdateRowControls(slot);
    return true;
}

void MainWindow::RemoveStaleRowFiles() {
    std::vector<std::string> keep;
    for (int i = 0; i < SlotCount; ++i) keep.push_back(m_model.SlotPath(i));
    m_jobs.Run<int>(
        JobLane{JobLane::Kind::RowFiles}, this,
        [root = QFile::encodeName(QDir::tempPath()).toStdString(), keep = std::move(keep)](
            const std::atomic<bool>&) { return RemoveStaleRowFolders(root, keep); },
        [](int) {});
}

void MainWindow::OnRowDragAsked(int slot) {
    if (!SlotPanel::IsValidSlot(slot) || !m_model.IsSlotLoaded(slot)) return;
    if (m_rowFiles[static_cast<size_t>(slot)].isEmpty()) {
        m_dragWanted = slot;  // starts once the file is written
        return;
    }
    StartRowDrag(slot);
}

void MainWindow::StartRowDrag(int slot) {
    // Qt owns the drag and its data and deletes them when it ends.
    auto* drag = new QDrag(m_panel.Label(slot));
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(m_rowFiles[static_cast<size_t>(slot)])});
    drag->setMimeData(data);
    (void)drag->exec(Qt::CopyAction);
}
