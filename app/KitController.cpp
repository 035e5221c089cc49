#include "app/KitController.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include <map>
#include <random>

#include "app/HistoryController.h"
#include "app/LoadController.h"
#include "app/RollDialog.h"
#include "app/RowsView.h"
#include "app/WindowContext.h"
#include "controls/MessageBox.h"
#include "controls/SlotPanel.h"
#include "convert/SoundFiles.h"
#include "core/RowPlacement.h"
#include "kits/KitExport.h"
#include "kits/KitImport.h"
#include "kits/KitRoll.h"
#include "res/StringTable.h"
#include "voicebank/BankName.h"
#include "voicebank/VoiceBankImage.h"

// What an import's or a roll's job made: the rows, or why none.
struct KitRowsMade {
    KitImportPlan plan;  // an import's
    std::array<MadeRow, SlotCount> rows;
    QStringList failures;  // "row 03: hat.wav: why", nothing is changed for them
    QStringList words;     // told after the rows are in
};

namespace {

QString RowText(int slot) { return QStringLiteral("row %1").arg(slot + 1, 2, 10, QChar('0')); }

QStringList FromModelLines(const std::vector<std::string>& lines) {
    QStringList out;
    for (const std::string& line : lines) out << FromModel(line);
    return out;
}

// A box with the string's text and the lines below it.
void ShowLines(QWidget* parent, int stringId, const QStringList& lines,
               QMessageBox::Icon icon = QMessageBox::Warning) {
    MessageRequest request;
    request.parent = parent;
    request.stringId = stringId;
    request.icon = icon;
    request.informativeText = lines.join(QChar('\n'));
    (void)ShowMessage(std::move(request));
}

struct ExportFiles {
    std::vector<KitExportFile> files;
    std::vector<std::string> existing;
};

}  // namespace

KitController::KitController(WindowContext& context, QObject* parent)
    : QObject(parent), m_context(context) {}

KitController::~KitController() = default;

bool KitController::IsKitFile(const QString& path) {
    return !path.isEmpty() && IsKitFileName(ToModelPath(path));
}

void KitController::AddMenuItems(QMenu& menu) {
    const WindowContext& c = m_context;
    const bool idle = !m_busy && !c.openingBank && !c.saving && !c.closing;
    QAction* exportBank = menu.addAction(tr("E&xport bank..."));
    exportBank->setEnabled(idle && c.model.CountLoadedSlots() > 0);
    QAction* importKit = menu.addAction(tr("Import &kit..."));
    importKit->setEnabled(idle);
    QAction* roll = menu.addAction(tr("Ro&ll rows from folders..."));
    roll->setEnabled(idle);
    // After the menu has closed.
    connect(exportBank, &QAction::triggered, this, &KitController::ExportBank,
            Qt::QueuedConnection);
    connect(
        importKit, &QAction::triggered, this, [this] { (void)ImportKit(); }, Qt::QueuedConnection);
    connect(roll, &QAction::triggered, this, &KitController::ShowRollDialog, Qt::QueuedConnection);
}

void KitController::SetBusy(bool busy) {
    m_busy = busy;
    // The rows take no clicks or drops while the kit's rows are made.
    m_context.SetOpeningBank(busy);
}

bool KitController::ExportBank() {
    if (m_busy || m_context.model.CountLoadedSlots() == 0) return false;
    const QString opened = m_context.OpenedBank();
    const QString name = opened.isEmpty() ? QStringLiteral("BANK") : QFileInfo(opened).baseName();
    QFileDialog dialog(&m_context.window, tr("Export bank"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Every file the export writes is checked, not only the one named here.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = {tr("SFZ kit (*.sfz)"), tr("Decent Sampler kit (*.dspreset)"),
                                 tr("WAV files only (*.wav)")};
    dialog.setNameFilters(filters);
    dialog.selectFile(name + QStringLiteral(".sfz"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    const int filter = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    const KitFormat format = filter == 1   ? KitFormat::Dspreset
                             : filter == 2 ? KitFormat::Wav
                                           : KitFormat::Sfz;
    const QFileInfo file(dialog.selectedFiles().first());
    std::string bankName = CleanBankName(ToModelPath(file.completeBaseName()));
    if (bankName.empty()) bankName = "BANK";
    return ExportBankTo(file.absolutePath(), FromModel(bankName), format);
}

bool KitController::ExportBankTo(const QString& folder, const QString& name, KitFormat format) {
    const std::shared_ptr<const VoiceBankImage> image = m_context.model.CopyBankImage();
    if (m_busy || !image) return false;
    m_busy = true;
    const std::string dir = ToModelPath(folder);
    auto write = [this, folder](std::vector<KitExportFile> files) {
        const auto rows = std::count_if(files.begin(), files.end(),
                                        [](const KitExportFile& f) { return f.row > 0; });
        m_context.jobs.Run<std::string>(
            JobLane{JobLane::Kind::Save}, this,
            [files = std::move(files), dir = ToModelPath(folder)](const std::atomic<bool>&) {
                std::string why;
                return WriteKitExport(files, dir, &why) ? std::string() : why;
            },
            [this, folder, rows](std::string why) {
                m_busy = false;
                m_context.ShowLater([this, folder, rows, why] {
                    if (why.empty())
                        ShowLines(&m_context.window, IdsKitExported,
                                  {(rows == 1 ? tr("1 row written to %1")
                                              : tr("%1 rows written to %2").arg(rows))
                                       .arg(folder)},
                                  QMessageBox::Information);
                    else
                        ShowLines(&m_context.window, IdsKitExportError, {FromModel(why)});
                });
            });
    };
    m_context.jobs.Run<ExportFiles>(
        JobLane{JobLane::Kind::Save}, this,
        [image, name = ToModelPath(name), dir, format](const std::atomic<bool>&) {
            ExportFiles out;
            out.files = MakeKitExport(image->voices, name, dir, format);
            out.existing = ExistingKitFiles(out.files);
            return out;
        },
        [this, write](ExportFiles made) {
            if (made.existing.empty()) {
                write(std::move(made.files));
                return;
            }
            auto shared = std::make_shared<ExportFiles>(std::move(made));
            m_context.ShowLater([this, write, shared] {
                MessageRequest request;
                request.parent = &m_context.window;
                request.stringId = IdsKitReplaceFiles;
                request.icon = QMessageBox::Question;
                request.buttons = QMessageBox::Ok | QMessageBox::Cancel;
                request.informativeText = FromModelLines(shared->existing).join(QChar('\n'));
                if (ShowMessage(std::move(request)) == QMessageBox::Ok && !m_context.closing)
                    write(std::move(shared->files));
                else
                    m_busy = false;
            });
        });
    return true;
}

void KitController::ImportKitLater(const QString& path) {
    QTimer::singleShot(0, this, [this, path] { (void)ImportKit(path); });
}

bool KitController::ImportKit(const QString& given) {
    const WindowContext& c = m_context;
    if (m_busy || c.openingBank || c.saving || c.closing || !c.initialised) return false;
    QString path = given;
    if (path.isEmpty())
        path = QFileDialog::getOpenFileName(&m_context.window, tr("Import kit"), QString(),
                                            tr("Kits (*.sfz *.dspreset)"));
    if (path.isEmpty()) return false;
    if (m_context.model.CountLoadedSlots() > 0) {
        MessageRequest request;
        request.parent = &m_context.window;
        request.stringId = IdsKitReplaceRows;
        request.icon = QMessageBox::Question;
        request.buttons = QMessageBox::Ok | QMessageBox::Cancel;
        if (ShowMessage(std::move(request)) != QMessageBox::Ok || m_context.closing) return false;
    }
    SetBusy(true);
    m_context.jobs.Run<KitRowsMade>(
        JobLane{JobLane::Kind::Bank}, this,
        [file = ToModelPath(path),
         convert = m_context.model.ConvertFormats()](const std::atomic<bool>& cancelled) {
            KitRowsMade made;
            made.plan = PlanKitImport(file, convert, cancelled);
            if (!made.plan.error.empty() || !made.plan.problems.empty()) return made;
            for (size_t k = 0; k < made.rows.size() && !cancelled; ++k) {
                const KitRowPlan& row = made.plan.rows[k];
                if (row.path.empty()) continue;
                made.rows[k] = SlotModel::MakeRow(row.path, row.options, convert, cancelled);
                if (!made.rows[k].made)
                    made.failures << RowText(static_cast<int>(k)) + QStringLiteral(": ") +
                                         FromModel(row.shown) + QStringLiteral(": ") +
                                         FromModel(made.rows[k].failure.reason);
            }
            made.words = FromModelLines(made.plan.words);
            return made;
        },
        [this, path](KitRowsMade made) { FinishImport(path, std::move(made)); });
    return true;
}

void KitController::FinishImport(const QString& path, KitRowsMade made) {
    SetBusy(false);
    const QString name = QFileInfo(path).fileName();
    QStringList problems = FromModelLines(made.plan.problems) + made.failures;
    if (!made.plan.error.empty())
        problems.prepend(name + QStringLiteral(": ") + FromModel(made.plan.error));
    if (!problems.isEmpty()) {
        m_context.ShowLater(
            [this, problems] { ShowLines(&m_context.window, IdsKitImportError, problems); });
        return;
    }
    SlotModel& model = m_context.model;
    m_context.loads->CancelRowJobs();
    std::vector<RowState> before = m_context.history->TakeAllRows();
    const QString bankBefore = m_context.OpenedBank();
    QStringList refused;
    for (int i = 0; i < SlotCount; ++i) {
        MadeRow& row = made.rows[static_cast<size_t>(i)];
        if (!row.made)
            (void)model.ClearSlot(i);
        else if (LoadFailure why; !model.StoreRow(i, std::move(row), &why))
            refused << RowText(i) + QStringLiteral(": ") + FromModel(why.reason);
    }
    // The rows are the kit's now, no bank's.
    m_context.bank.SetOpened({});
    m_context.history->PushAllRows(tr("import kit %1").arg(name), std::move(before), bankBefore);
    const QStringList words = made.words + refused;
    if (!words.isEmpty())
        m_context.ShowLater([this, words] {
            ShowLines(&m_context.window, IdsKitImported, words, QMessageBox::Information);
        });
}

bool KitController::ShowRollDialog() {
    const WindowContext& c = m_context;
    if (c.closing || !c.initialised) return false;
    if (!m_rollDialog) {
        m_rollDialog = std::make_unique<RollDialog>(&m_context.window);
        connect(m_rollDialog.get(), &RollDialog::RollAsked, this,
                [this](const std::vector<int>& chosen) {
                    if (RollSlots(chosen, m_rollDialog->Folders())) m_rollDialog->SetRolling(true);
                });
        connect(this, &KitController::RollFinished, m_rollDialog.get(),
                [this] { m_rollDialog->SetRolling(false); });
    }
    m_rollDialog->exec();
    return true;
}

bool KitController::RollSlots(const std::vector<int>& chosen,
                              const std::array<QString, SlotCount>& folders) {
    const WindowContext& c = m_context;
    if (m_busy || c.openingBank || c.saving || c.closing || chosen.empty()) return false;
    std::array<std::string, SlotCount> dirs;
    std::array<VoiceOptions, SlotCount> options;
    std::vector<std::string> taken;
    std::vector<bool> rolled(SlotCount, false);
    for (const int slot : chosen) {
        if (!SlotModel::IsValidSlot(slot) || folders[static_cast<size_t>(slot)].isEmpty())
            return false;
        rolled[static_cast<size_t>(slot)] = true;
        dirs[static_cast<size_t>(slot)] = ToModelPath(folders[static_cast<size_t>(slot)]);
        // A row keeps its level whatever sound lands on it.
        options[static_cast<size_t>(slot)] = PlacedRowOptions(c.model.SlotOptions(slot), {});
    }
    // A sound another row holds is not drawn again.
    for (int slot = 0; slot < SlotCount; ++slot)
        if (!rolled[static_cast<size_t>(slot)] && !c.model.SlotPath(slot).empty())
            taken.push_back(c.model.SlotPath(slot));
    const uint64_t seed = (uint64_t{std::random_device{}()} << 32) | std::random_device{}();
    SetBusy(true);
    m_context.jobs.Run<KitRowsMade>(
        JobLane{JobLane::Kind::Fill}, this,
        [dirs, options, taken, seed,
         convert = c.model.ConvertFormats()](const std::atomic<bool>& cancelled) {
            KitRowsMade made;
            std::map<std::string, std::vector<std::string>> listed;
            std::array<std::vector<std::string>, SlotCount> pools;
            for (size_t k = 0; k < dirs.size(); ++k) {
                if (dirs[k].empty()) continue;
                if (listed.count(dirs[k]) == 0) {
                    std::string why;
                    if (!ListSoundFilesUnder(dirs[k], convert, &listed[dirs[k]], &why, cancelled))
                        made.failures << FromModel(dirs[k]) + QStringLiteral(": ") + FromModel(why);
                }
                pools[k] = listed[dirs[k]];
            }
            if (!made.failures.isEmpty() || cancelled) return made;
            const std::array<std::string, SlotCount> drawn = RollRows(pools, taken, seed);
            for (size_t k = 0; k < drawn.size() && !cancelled; ++k) {
                if (dirs[k].empty()) continue;
                const int slot = static_cast<int>(k);
                if (drawn[k].empty()) {
                    made.words << RowText(slot) + QStringLiteral(": ") +
                                      tr("no sound file left in %1").arg(FromModel(dirs[k]));
                    continue;
                }
                made.rows[k] = SlotModel::MakeRow(drawn[k], options[k], convert, cancelled);
                if (!made.rows[k].made)
                    made.words << RowText(slot) + QStringLiteral(": ") + FromModel(drawn[k]) +
                                      QStringLiteral(": ") + FromModel(made.rows[k].failure.reason);
            }
            return made;
        },
        [this, chosen](KitRowsMade made) { FinishRoll(chosen, std::move(made)); });
    return true;
}

void KitController::FinishRoll(std::vector<int> chosen, KitRowsMade made) {
    SetBusy(false);
    emit RollFinished();
    if (!made.failures.isEmpty()) {
        m_context.ShowLater([this, failures = made.failures] {
            ShowLines(&m_context.window, IdsRollError, failures);
        });
        return;
    }
    SlotModel& model = m_context.model;
    std::vector<RowState> before = m_context.history->TakeAllRows();
    const QString bankBefore = m_context.OpenedBank();
    int stored = 0;
    for (const int slot : chosen) {
        MadeRow& row = made.rows[static_cast<size_t>(slot)];
        if (!row.made) continue;
        m_context.jobs.Cancel(JobLane::ForRow(slot));  // a load on its way must not land over it
        if (LoadFailure why; model.StoreRow(slot, std::move(row), &why))
            ++stored;
        else
            made.words << RowText(slot) + QStringLiteral(": ") + FromModel(why.reason);
    }
    if (stored > 0)
        m_context.history->PushAllRows(chosen.size() == 1 ? tr("roll row %1").arg(chosen[0] + 1)
                                                          : tr("roll %n rows", nullptr, stored),
                                       std::move(before), bankBefore);
    if (!made.words.isEmpty())
        m_context.ShowLater([this, words = made.words] {
            ShowLines(&m_context.window, IdsRollLeftOut, words, QMessageBox::Information);
        });
}
