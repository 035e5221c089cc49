#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMetaObject>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <initializer_list>
#include <utility>

#include <ctime>

#include "app/BankSave.h"
#include "app/BlockedCloseFilter.h"
#include "app/MatchLevelsDialog.h"
#include "app/PadInput.h"
#include "app/ProfileStore.h"
#include "app/RowEditorDialog.h"
#include "app/RowOptions.h"
#include "app/RowUndo.h"
#include "app/SoundBrowser.h"
#include "controls/MessageBox.h"
#include "res/AboutDialog.h"
#include "res/DialogTemplates.h"
#include "res/SkinResources.h"
#include "res/StringTable.h"
#include "savedlg/SaveBankDialog.h"

namespace {

const QString SectionWindow = QStringLiteral("WindowInfo");
const QString SectionVolume = QStringLiteral("LoadVolumeInfo");
const QString SectionFiles = QStringLiteral("FilePathInfo");
const QString SectionOptions = QStringLiteral("Options");
const QString KeyConvertFormats = QStringLiteral("ConvertFormats");

QString SlotKey(int slot) { return QString::asprintf("File%02d", slot + 1); }

// The file name of a path without its directory and its last extension.
QString BaseNameOf(const QString& path) {
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    return name;
}

// Paths cross to the model as UTF-8, the file system's encoding here.
std::string ToModelPath(const QString& path) { return path.toUtf8().toStdString(); }

const QColor MissingText(130, 132, 130);

}  // namespace

MainWindow::MainWindow(SlotModel& model, ProfileStore* profile, const VolumeSource* volumes,
                       QWidget* parent)
    : QDialog(parent), m_model(model), m_profile(profile), m_volumes(volumes) {
    m_icon = LoadAppIcon();
    m_panel.setParent(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    m_model.SetListener(this);
    setAcceptDrops(true);
    connect(&m_jobs, &JobRunner::busyChanged, this, [this](bool busy) {
        if (busy) {
            setCursor(Qt::BusyCursor);
        } else {
            unsetCursor();
            // A cancelled job never reports: every row gets its controls back.
            for (int i = 0; i < SlotCount; ++i) UpdateRowControls(i);
        }
    });
    m_pads = std::make_unique<PadInput>(m_model);
    installEventFilter(m_pads.get());
    m_blockedClose =
        std::make_unique<BlockedCloseFilter>(this, [this] { OnBlockedCloseRequest(); });
}

MainWindow::~MainWindow() {
    m_blockedClose.reset();
    m_pads.reset();  // no MIDI note after this
    m_jobs.CancelAll();
    // Watchers report to the window: end them first.
    m_model.Close();
    m_model.SetListener(nullptr);
}

QString MainWindow::GetSlotPath(int slot) const {
    return QString::fromUtf8(m_model.SlotPath(slot));
}

void MainWindow::setVisible(bool visible) {
    if (visible && !m_initStarted) {
        m_initStarted = true;
        Initialise();
    }
    QDialog::setVisible(visible);
}

void MainWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        // Once the window is up: reading the files must not slow its start.
        QTimer::singleShot(0, this, &MainWindow::StartRestoring);
        QTimer::singleShot(0, this, &MainWindow::RemoveStaleRowFiles);
        if (!m_bankToOpen.isEmpty()) OpenBankLater(m_bankToOpen);
        if (!m_folderToBrowse.isEmpty()) BrowseFolder(m_folderToBrowse);
        emit Shown();
    }
}

bool MainWindow::Initialise() {
    ConnectControls();
    m_panel.PlaceAtTemplatePositions();
    setFont(DialogFont());
    setFixedSize(m_panel.size());
    setWindowIcon(m_icon);
    (void)m_panel.ShowFreshStart();

    if (!m_model.Open()) {
        ShowMessage(this, IdsSoundDeviceError);
        return false;
    }
    m_pads->StartMidi(m_profile);
    if (!LoadSettings()) return false;
    // The client area is the panel; the window manager adds its frame.
    m_panel.LayoutControls();
    setFixedSize(m_panel.size());
    setWindowTitle(QString::fromLatin1(MainWindowTitle));
    m_initialised = true;
    return true;
}

void MainWindow::ConnectControls() {
    for (int i = 0; i < SkinSlotCount; ++i) {
        connect(m_panel.LoadButton(i), &QAbstractButton::clicked, this,
                [this, i] { LoadSlotFile(i, nullptr, true); });
        connect(m_panel.ClearButton(i), &QAbstractButton::clicked, this,
                [this, i] { ClearSlotRow(i); });
        connect(m_panel.PlayButton(i), &QAbstractButton::clicked, this,
                [this, i] { PlaySlotRow(i); });
        // A file may be dropped on the row's load button or its label.
        ConnectFileDrops(m_panel.LoadButton(i));
        ConnectFileDrops(m_panel.Label(i));
        connect(m_panel.Label(i), &SlotLabel::DoubleClicked, this, &MainWindow::EditRow);
    }
    connect(m_panel.SaveButton(), &QAbstractButton::clicked, this, &MainWindow::OnSaveButton);
    connect(m_panel.CloseButton(), &QAbstractButton::clicked, this, &MainWindow::OnCloseButton);
    ConnectFill();
    m_openShortcut = std::make_unique<QShortcut>(QKeySequence::Open, this);
    connect(m_openShortcut.get(), &QShortcut::activated, this, &MainWindow::OnOpenBank);
    SetUpUndo();
    ConnectBrowser();
}

template <typename DropControl>
void MainWindow::ConnectFileDrops(DropControl* control) {
    connect(control, &DropControl::FileDragEntered, this, &MainWindow::OnFileDragEntered);
    connect(control, &DropControl::FileDragLeft, this, &MainWindow::OnFileDragLeft);
    connect(control, &DropControl::FileDropped, this, &MainWindow::OnFileDropped);
}

bool MainWindow::SetRowState(int slot, bool loaded) {
    const bool ok = m_panel.SetRowState(slot, loaded, loaded && m_model.IsSlotPlaying(slot));
    UpdateSaveButton();
    return ok;
}

bool MainWindow::SetPlayButtonState(int slot, bool playing) {
    return m_panel.SetPlayButtonState(slot, playing);
}

void MainWindow::UpdateSaveButton() { m_panel.SetSaveEnabled(m_model.CountLoadedSlots() > 0); }

void MainWindow::SlotChanged(int slot, SlotChange change) {
    if (QThread::currentThread() != thread()) {
        // Never block: the GUI thread may be waiting for this very thread.
        QMetaObject::invokeMethod(
            this, [this, slot, change] { SlotChanged(slot, change); }, Qt::QueuedConnection);
        return;
    }
    if (!SlotPanel::IsValidSlot(slot)) return;
    switch (change) {
    case SlotChange::Cleared:
    case SlotChange::Loaded:
        // Every label: the slices of a file are numbered across the rows.
        for (int i = 0; i < SlotCount; ++i) SetSlotLabel(i);
        (void)SetRowState(slot, change == SlotChange::Loaded);
        break;
    case SlotChange::Started: (void)SetPlayButtonState(slot, true); break;
    case SlotChange::Stopped:
        // A report from before a new start must not undo its look.
        if (!m_model.IsSlotPlaying(slot)) (void)SetPlayButtonState(slot, false);
        break;
    }
}

bool MainWindow::LoadSlotFile(int slot, const QString* path, bool showErrors,
                              const VoiceOptions& options) {
    if (!SlotPanel::IsValidSlot(slot)) return false;
    QString text;
    if (path == nullptr) {
        QStringList chosen;
        if (!BrowseForSoundFiles(chosen)) return false;
        // Several files chosen fill rows from this one.
        if (chosen.size() > 1) return PutFilesOnRows(chosen, slot);
        text = chosen.front();
    } else {
        text = *path;
    }
    if (text.isEmpty()) return true;  // a drop of several files
    QueueRowLoad(slot, text, showErrors, options, RowStepFor(tr("load row %1").arg(slot + 1)));
    return true;
}

bool MainWindow::IsRowBusy(int slot) const {
    return SlotPanel::IsValidSlot(slot) &&
           (m_restoring[static_cast<size_t>(slot)] || m_jobs.IsBusy(JobLane::ForRow(slot)));
}

bool MainWindow::IsBusy() const { return m_jobs.IsBusy() || !AreRowsRestored(); }

bool MainWindow::AreRowsRestored() const {
    return std::none_of(m_restoring.begin(), m_restoring.end(), [](bool r) { return r; });
}

void MainWindow::QueueRowLoad(int slot, const QString& path, bool showErrors,
                              const VoiceOptions& options,
                              const std::shared_ptr<PendingRowStep>& step) {
    if (step) m_history->Expect(step);
    const std::string file = ToModelPath(path);
    const bool convert = m_model.ConvertFormats();
    m_jobs.Run<MadeRow>(
        JobLane::ForRow(slot), this,
        [file, options, convert](const std::atomic<bool>& cancelled) {
            return SlotModel::MakeRow(file, options, convert, cancelled);
        },
        [this, slot, path, showErrors, step](MadeRow row) {
            FinishRowLoad(slot, path, showErrors, std::move(row), step);
        });
    UpdateRowControls(slot);
}

void MainWindow::FinishRowLoad(int slot, const QString& path, bool showErrors, MadeRow row,
                               const std::shared_ptr<PendingRowStep>& step) {
    const bool looked = m_model.IsSlotLoaded(slot);
    const VoiceOptions options = row.options;
    LoadFailure failure;
    RowState before = step ? m_model.TakeRow(slot) : RowState{};
    const bool loaded = m_model.StoreRow(slot, std::move(row), &failure);
    if (step) m_history->Stored(*step, slot, std::move(before), m_model.TakeRow(slot));
    EndRestoring(slot);
    UpdateRowControls(slot);
    if (loaded) {
        // A load from the browser leaves the focus there, to browse on.
        const QWidget* focus = focusWidget();
        if (focus == nullptr || !IsBrowserOpen() || !m_browser->isAncestorOf(focus))
            m_panel.PlayButton(slot)->setFocus();
        emit RowLoadFinished(slot, true);
        return;
    }
    // The model cleared a row the engine emptied while reading.
    if (looked && !m_model.IsSlotLoaded(slot)) m_panel.LoadButton(slot)->setFocus();
    if (showErrors) {
        if (ShowLoadError(failure)) {
            SetConvertFormats(true);
            QueueRowLoad(slot, path, showErrors, options, step);
            return;
        }
        SkinButton* load = m_panel.LoadButton(slot);
        load->setFocus();
        load->ShowHoverMark();
    }
    m_lastLoadFailure = std::move(failure);
    emit RowLoadFinished(slot, false);
}

void MainWindow::CancelRowJobs() {
    for (int i = 0; i < SlotCount; ++i) {
        m_jobs.Cancel(JobLane::ForRow(i));
        EndRestoring(i);
        UpdateRowControls(i);
    }
}

void MainWindow::StartRestoring() {
    for (int i = 0; i < SlotCount; ++i)
        if (m_restoring[static_cast<size_t>(i)])
            QueueRowLoad(i, GetSlotPath(i), false, m_model.SlotOptions(i), nullptr);
}

void MainWindow::EndRestoring(int slot) {
    auto& restoring = m_restoring[static_cast<size_t>(slot)];
    if (!restoring) return;
    restoring = false;
    UpdateRowControls(slot);  // before anyone hears the rows are in
    if (AreRowsRestored()) emit RowsRestored();
}

void MainWindow::UpdateRowControls(int slot) {
    if (!SlotPanel::IsValidSlot(slot)) return;
    // A bank being opened replaces every row: none takes a click meanwhile.
    const bool busy = IsRowBusy(slot) || m_openingBank;
    if (busy) {
        for (QWidget* control :
             std::initializer_list<QWidget*>{m_panel.LoadButton(slot), m_panel.ClearButton(slot),
                                             m_panel.PlayButton(slot), m_panel.Label(slot)})
            control->setEnabled(false);
    } else {
        m_panel.LoadButton(slot)->setEnabled(true);
        m_panel.Label(slot)->setEnabled(true);
        // Clear and play as the row's state has them.
        (void)SetRowState(slot, m_model.IsSlotLoaded(slot));
    }
    SetSlotLabel(slot);
}

bool MainWindow::ShowLoadError(const LoadFailure& failure) {
    MessageRequest request;
    request.parent = this;
    request.stringId = IdsLoadError;
    request.informativeText =
        QString::fromUtf8(failure.reason.data(), static_cast<qsizetype>(failure.reason.size()));
    // The converter is offered only for a file it was shown to read.
    const bool offerConvert = failure.convertible && !m_model.ConvertFormats();
    if (offerConvert) {
        request.buttons = QMessageBox::Apply | QMessageBox::Ok;
        request.applyText = tr("&Convert");
        // Enter and Escape keep their meaning: OK, nothing converted.
        request.defaultButton = QMessageBox::Ok;
        request.escapeButton = QMessageBox::Ok;
        request.informativeText +=
            tr("\n\nConvert loads its first second, channels 1 and 2, at 44,100 Hz in 16 "
               "bits, and from then on converts such files without asking.");
    }
    return ShowMessage(std::move(request)) == QMessageBox::Apply && offerConvert;
}

void MainWindow::SetConvertFormats(bool on) {
    m_model.SetConvertFormats(on);
    OnConvertFormatsChangedForBrowser();
}

bool MainWindow::ConvertFormats() const { return m_model.ConvertFormats(); }

bool MainWindow::BrowseForSoundFile(QString& out) {
    QStringList chosen;
    if (!BrowseForSoundFiles(chosen)) return false;
    out = chosen.front();
    return true;
}

void MainWindow::SetSlotLabel(int slot) {
    const QString path = GetSlotPath(slot);
    QString tip;
    SlotFormat format;
    if (!path.isEmpty() && m_model.ReadSlotFormat(slot, &format)) {
        // One arg call: a marker such as %1 inside the path stays as it is.
        tip = tr("%1\n%2, %3 Hz, %4-bit\n%5 ms")
                  .arg(path, format.channels == 2 ? tr("Stereo") : tr("Mono"),
                       QString::number(format.sampleRate), QString::number(format.bitsPerSample),
                       QString::number(static_cast<qint64>(format.frames) * 1000 / 44100));
        if (format.fromBank) tip += QLatin1Char('\n') + BankOriginLine(format);
        const QString options = DescribeRowOptions(format.options, format.startFrame,
                                                   format.sampleRate, &format.loudness);
        if (!options.isEmpty()) tip += QLatin1Char('\n') + options;
    }
    QString name = BaseNameOf(path);
    if (const int number = SliceNumber(slot); number > 0)
        name = tr("%1 #%2").arg(name, QString::number(number));
    const std::string& missing = m_model.SlotMissingReason(slot);
    const bool dimmed = !missing.empty() || IsRowBusy(slot);
    if (IsRowBusy(slot)) {
        name = tr("%1 (loading...)").arg(name);
        tip = path;
    } else if (!missing.empty()) {
        tip = tr("%1\nMissing: %2").arg(path, QString::fromStdString(missing));
    }
    SlotLabel* label = m_panel.Label(slot);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, dimmed ? MissingText : QColor(Qt::black));
    label->setPalette(palette);
    (void)m_panel.SetSlotText(slot, name, tip);
}

int MainWindow::SliceNumber(int slot) const {
    SlotFormat format;
    if (!m_model.IsSlotLoaded(slot) || !m_model.ReadSlotFormat(slot, &format) ||
        format.options.lengthNanoseconds <= 0)
        return 0;
    const std::string& path = m_model.SlotPath(slot);
    int sharing = 0;
    int earlier = 0;
    for (int other = 0; other < SlotCount; ++other) {
        if (other == slot || !m_model.IsSlotLoaded(other) || m_model.SlotPath(other) != path)
            continue;
        ++sharing;
        SlotFormat theirs;
        if (m_model.ReadSlotFormat(other, &theirs) && theirs.options.lengthNanoseconds > 0 &&
            std::pair(theirs.startFrame, other) < std::pair(format.startFrame, slot))
            ++earlier;
    }
    return sharing == 0 ? 0 : earlier + 1;
}

bool MainWindow::ClearSlotRow(int slot) {
    // A load still on its way must not fill the row again.
    if (SlotPanel::IsValidSlot(slot)) {
        m_jobs.Cancel(JobLane::ForRow(slot));
        EndRestoring(slot);
        UpdateRowControls(slot);
    }
    RowState before = m_model.TakeRow(slot);
    if (!m_model.ClearSlot(slot)) return false;
    (void)m_history->Push(tr("clear row %1").arg(slot + 1),
                          {{slot, std::move(before), m_model.TakeRow(slot)}});
    m_panel.LoadButton(slot)->setFocus();
    return true;
}

bool MainWindow::PlaySlotRow(int slot) { return m_model.PlaySlot(slot); }

void MainWindow::OnFileDragEntered(int slot) {
    if (SlotPanel::IsValidSlot(slot)) m_panel.LoadButton(slot)->SetHover(true);
}

void MainWindow::OnFileDragLeft(int slot) {
    if (SlotPanel::IsValidSlot(slot)) m_panel.LoadButton(slot)->SetHover(false);
}

void MainWindow::OnFileDropped(int slot, const QString& path) {
    if (IsBankFile(path)) {
        OpenBankLater(path);
    } else if (!KeepDroppedRowFile(slot, path)) {
        const auto step = BeginRowStep(tr("drop on row %1").arg(slot + 1));
        LoadSlotFile(slot, &path, true);
    }
    OnFileDragLeft(slot);
}

QString MainWindow::MakeBankName(const QDateTime& time) {
    const QDate date = time.date();
    const QTime clock = time.time();
    const int hour = clock.hour();
    const char hourChar = static_cast<char>(hour < 10 ? '0' + hour : hour + 55);
    return QString::asprintf("%02d%02d%c%02d%02d-VOICE", date.month(), date.day(), hourChar,
                             clock.minute(), clock.second());
}

QString MainWindow::MakeDefaultBankName() { return MakeBankName(QDateTime::currentDateTime()); }

void MainWindow::OnSaveButton() { RunSaveDialog(QString(), QString()); }

void MainWindow::RunSaveDialog(const QString& name, const QString& volume) {
    if (IsSaving() || m_closing) return;
    std::unique_ptr<SaveBankDialog> dialog =
        m_volumes != nullptr ? std::make_unique<SaveBankDialog>(*m_volumes, this)
                             : std::make_unique<SaveBankDialog>(this);
    ProposeSaveTarget(*dialog);
    // Back after a failed save: the name and volume the musician chose.
    if (!name.isEmpty()) {
        dialog->SetFileName(name);
        dialog->SetVolume(volume);
    }
    if (dialog->exec() != QDialog::Accepted) return;
    std::shared_ptr<const VoiceBankImage> image = m_model.CopyBankImage();
    if (!image) {
        ShowMessage(this, IdsSaveError);
        return;
    }
    BankSaveRequest request;
    const QString path = dialog->GetFilePath();
    request.path = QFile::encodeName(path).toStdString();
    request.volume = dialog->GetVolumeIdentity();
    const QString data = UserDataFolder();
    if (!data.isEmpty()) request.backupsRoot = ToModelPath(data + QStringLiteral("/backups"));
    request.now = std::time(nullptr);
    const QString chosenVolume = dialog->GetVolume();
    const QString chosenName = QFileInfo(path).completeBaseName();
    dialog.reset();
    // Build, write, sync and backup run on a worker; the rows wait.
    SetSaving(true);
    m_jobs.Run<BankSaveOutcome>(
        JobLane{JobLane::Kind::Save}, this,
        [image, request](const std::atomic<bool>&) { return SaveBank(*image, request); },
        [this, path, chosenVolume, chosenName](BankSaveOutcome outcome) {
            SetSaving(false);
            if (!outcome.saved) {
                MessageRequest message;
                message.parent = this;
                message.stringId = IdsSaveError;
                message.informativeText =
                    QFile::decodeName(QByteArray::fromStdString(outcome.reason));
                (void)ShowMessage(std::move(message));
                // The name typed is not lost: the dialog comes back with it.
                // Posted: the save's job has ended before the next may start.
                QTimer::singleShot(0, this, [this, chosenName, chosenVolume] {
                    RunSaveDialog(chosenName, chosenVolume);
                });
                return;
            }
            m_lastVolume = chosenVolume;
            // The rows are now that bank: the next save proposes it, and its
            // earlier versions are listed.
            m_openedBankPath = path;
            m_savedBankPath = path;
        });
}

void MainWindow::SetSaving(bool saving) {
    m_saving = saving;
    m_panel.setEnabled(!saving);
    if (saving) {
        setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
    }
}

void MainWindow::OnCloseButton() {
    if (m_closing) return;
    m_closing = true;
    m_pads->StopMidi();
    m_jobs.CancelAll();
    m_model.Close();
    QDialog::accept();
}

void MainWindow::OnBlockedCloseRequest() {
    // Asked while another dialog or box is up: that one has its own way out.
    if (m_rowEditor == nullptr || QApplication::activeModalWidget() != m_rowEditor) return;
    m_closeAfterEditor = true;
    m_rowEditor->reject();
}

void MainWindow::reject() {
    if (m_closing) return;
    m_closing = true;
    m_pads->StopMidi();
    m_jobs.CancelAll();
    m_model.Close();
    QDialog::reject();
}

void MainWindow::done(int result) {
    // The window still has its position here.
    if (!m_settingsSaved) {
        m_settingsSaved = true;
        SaveSettings();
    }
    QDialog::done(result);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (isVisible() && !m_closing) OnCloseButton();
    event->accept();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    const QString text = LoadResString(IdsAboutMenu);
    if (text.isEmpty()) return;
    QMenu menu(this);
    const int row = RowAt(event->pos());
    QAction* edit = nullptr;
    QAction* slice = nullptr;
    if (row >= 0 && m_model.IsSlotLoaded(row) && !IsRowBusy(row) && !m_openingBank) {
        edit = menu.addAction(tr("&Edit row %1...").arg(row + 1));
        slice = menu.addAction(tr("&Slice across rows..."));
        menu.addSeparator();
    }
    AddUndoMenuItems(menu);
    QAction* about = menu.addAction(text);
    QAction* openBank = menu.addAction(tr("&Open bank..."));
    openBank->setShortcut(QKeySequence::Open);
    QAction* convert = menu.addAction(tr("Con&vert other formats"));
    convert->setCheckable(true);
    convert->setChecked(m_model.ConvertFormats());
    QAction* match = menu.addAction(tr("&Match levels..."));
    match->setEnabled(m_model.CountLoadedSlots() > 0);
    QAction* fill = menu.addAction(FillMenuText());
    fill->setEnabled(!m_openingBank && !m_saving);
    QAction* browse = menu.addAction(tr("&Browse sounds..."));
    browse->setCheckable(true);
    browse->setChecked(IsBrowserOpen());
    browse->setShortcut(m_browseShortcut->key());
    m_pads->AddMenuItems(menu);
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == match) MatchLevels();
    if (chosen == fill) FillRowsFromFolder();
    if (chosen != nullptr && chosen == edit) EditRow(row);
    if (chosen != nullptr && chosen == slice) SliceAcrossRows(row);
    if (chosen == about) ShowAbout();
    if (chosen == openBank) OnOpenBank();
    if (chosen == convert) SetConvertFormats(convert->isChecked());
    if (chosen == browse) SetBrowserOpen(browse->isChecked());
}

int MainWindow::RowAt(QPoint point) {
    const QPoint inPanel = m_panel.mapFrom(this, point);
    for (int i = 0; i < SkinSlotCount; ++i) {
        // The row's band: from its load button to its play button.
        const QRect row =
            m_panel.LoadButton(i)->geometry().united(m_panel.Label(i)->geometry().united(
                m_panel.ClearButton(i)->geometry().united(m_panel.PlayButton(i)->geometry())));
        if (row.contains(inPanel)) return i;
    }
    return -1;
}

bool MainWindow::EditRow(int slot) {
    // Rows a bank is replacing, or a row still loading, are not edited.
    if (!m_model.IsSlotLoaded(slot) || IsRowBusy(slot) || m_openingBank) return false;
    RowEditorDialog editor(m_model, slot, this);
    editor.KeepVisible(m_panel.Label(slot));
    m_rowEditor = &editor;
    const int result = editor.exec();
    m_rowEditor = nullptr;
    if (std::exchange(m_closeAfterEditor, false)) {
        // The window's close button was pressed meanwhile: the editor
        // closed as Cancel, and now the window closes.
        QTimer::singleShot(0, this, &MainWindow::OnCloseButton);
        return false;
    }
    if (result == RowEditorDialog::SliceAsked) return SliceAcrossRows(slot);
    if (result != QDialog::Accepted) return false;
    const VoiceOptions options = editor.Options();
    if (options == m_model.SlotOptions(slot)) return false;
    const QString path = GetSlotPath(slot);
    const auto step = BeginRowStep(tr("edit row %1").arg(slot + 1));
    return LoadSlotFile(slot, &path, true, options);
}

bool MainWindow::MatchLevels() {
    if (m_model.CountLoadedSlots() == 0) return false;
    MatchLevelsDialog dialog(m_model, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    const auto step = BeginRowStep(tr("match levels"));
    return ApplyRowOptions(dialog.Changes());
}

bool MainWindow::ApplyRowOptions(const std::vector<std::pair<int, VoiceOptions>>& changes) {
    bool changed = false;
    const auto step = BeginRowStep(tr("change the rows' options"));
    for (const auto& [slot, options] : changes) {
        const QString path = GetSlotPath(slot);
        changed = LoadSlotFile(slot, &path, true, options) || changed;
    }
    return changed;
}

void MainWindow::ShowAbout() {
    AboutDialog about(this);
    about.exec();
}

QPoint MainWindow::PositionToStore(const QString& platformName, QPoint current, QPoint read) {
    // Wayland neither moves top-level windows nor reports where they are.
    return platformName.startsWith(QLatin1String("wayland")) ? read : current;
}

QPoint MainWindow::PlaceOnScreen(QPoint saved) const {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return saved;
    // In 64 bits: a hand-edited position near the int limits must not wrap
    // around onto a screen.
    const qint64 left = saved.x(), top = saved.y();
    const qint64 right = left + SkinPanelSize, bottom = top + SkinPanelSize;
    for (const QScreen* screen : screens) {
        const QRect g = screen->geometry();
        if (left <= g.right() && right > g.left() && top <= g.bottom() && bottom > g.top())
            return saved;
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary != nullptr ? primary->geometry().topLeft() : QPoint(0, 0);
}

bool MainWindow::LoadSettings() {
    if (m_profile == nullptr) return false;
    const int x = m_profile->GetProfileInt(SectionWindow, QStringLiteral("PosX"), 0);
    const int y = m_profile->GetProfileInt(SectionWindow, QStringLiteral("PosY"), 0);
    m_savedPosition = QPoint(x, y);
    m_lastVolume = m_profile->GetProfileString(SectionVolume, QStringLiteral("Volume"), QString());
    // Before the rows: restored files convert as later loads do.
    const QString convert =
        m_profile->GetProfileString(SectionOptions, KeyConvertFormats, QString());
    m_convertKeyRead = !convert.isEmpty();
    m_model.SetConvertFormats(ParseProfileInt(convert, 0) == 1);
    for (int i = 0; i < SlotCount; ++i) {
        const QString path = m_profile->GetProfileString(SectionFiles, SlotKey(i), QString());
        // Kept even when the file cannot be loaded now: tried again next time.
        const VoiceOptions options = ReadRowOptions(*m_profile, i);
        m_model.RestoreSlot(i, ToModelPath(path), options);
        if (path.isEmpty()) continue;
        // The window shows at once; the rows fill in as their jobs end.
        m_restoring[static_cast<size_t>(i)] = true;
        UpdateRowControls(i);
    }
    LoadBrowserSettings();
    move(PlaceOnScreen(m_savedPosition));
    m_settingsLoaded = true;
    return true;
}

bool MainWindow::SaveSettings() {
    if (m_profile == nullptr) return false;
    // Initialisation stopped before the settings were read: what is stored
    // stays as it is.
    if (!m_settingsLoaded) return true;
    const QPoint position =
        PositionToStore(QGuiApplication::platformName(), pos(), m_savedPosition);
    m_profile->WriteProfileInt(SectionWindow, QStringLiteral("PosX"), position.x());
    m_profile->WriteProfileInt(SectionWindow, QStringLiteral("PosY"), position.y());
    m_profile->WriteProfileString(SectionVolume, QStringLiteral("Volume"), m_lastVolume);
    for (int i = 0; i < SlotCount; ++i) {
        m_profile->WriteProfileString(SectionFiles, SlotKey(i), GetSlotPath(i));
        WriteRowOptions(*m_profile, i, m_model.SlotOptions(i));
    }
    // A profile that never had the option stays as it was.
    if (m_model.ConvertFormats() || m_convertKeyRead)
        m_profile->WriteProfileInt(SectionOptions, KeyConvertFormats,
                                   m_model.ConvertFormats() ? 1 : 0);
    m_pads->SaveSettings(*m_profile);
    SaveBrowserSettings();
    m_profile->Flush();
    return true;
}
