#include "app/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QTimer>

#include "app/BankController.h"
#include "app/BrowseController.h"
#include "app/CardController.h"
#include "app/EditController.h"
#include "app/FillController.h"
#include "app/HistoryController.h"
#include "app/KitController.h"
#include "app/LevelsController.h"
#include "app/LoadController.h"
#include "app/PadInput.h"
#include "app/RecordController.h"
#include "app/RowsView.h"
#include "app/SaveController.h"
#include "app/SettingsController.h"
#include "app/SliceController.h"
#include "app/WindowContext.h"
#include "controls/FileDropTarget.h"
#include "controls/MessageBox.h"
#include "res/AboutDialog.h"
#include "res/DialogTemplates.h"
#include "res/SkinResources.h"
#include "res/StringTable.h"

namespace {

// The row under a point of the window, or -1.
int RowAt(SlotPanel& panel, const QWidget& window, QPoint point) {
    const QPoint inPanel = panel.mapFrom(&window, point);
    for (int i = 0; i < SkinSlotCount; ++i) {
        // The row's band: from its load button to its play button.
        const QRect row = panel.LoadButton(i)->geometry().united(panel.Label(i)->geometry().united(
            panel.ClearButton(i)->geometry().united(panel.PlayButton(i)->geometry())));
        if (row.contains(inPanel)) return i;
    }
    return -1;
}

// The panel's buttons and labels, each to the controller of its feature.
void ConnectControls(MainWindow& window, SlotPanel& panel) {
    for (int i = 0; i < SkinSlotCount; ++i) {
        QObject::connect(panel.ClearButton(i), &QAbstractButton::clicked, &window.Loads(),
                         [&window, i] { window.Loads().ClearSlotRow(i); });
        QObject::connect(panel.PlayButton(i), &QAbstractButton::clicked, &window.Loads(),
                         [&window, i] { window.Loads().PlaySlotRow(i); });
        QObject::connect(panel.Label(i), &SlotLabel::DoubleClicked, &window.Edits(),
                         &EditController::EditRow);
    }
    QObject::connect(panel.SaveButton(), &QAbstractButton::clicked, &window.Saves(),
                     &SaveController::OnSaveButton);
    QObject::connect(panel.CloseButton(), &QAbstractButton::clicked, &window,
                     &MainWindow::OnCloseButton);
    window.Fill().ConnectRows();
}

// Ends the window's work before it closes; false when it already ended.
bool EndWork(WindowContext& context, PadInput& pads, JobRunner& jobs) {
    if (context.closing) return false;
    context.closing = true;
    pads.StopMidi();
    jobs.CancelAll();
    context.model.Close();
    return true;
}

}  // namespace

MainWindow::MainWindow(SlotModel& model, ProfileStore* profile, const VolumeSource* volumes,
                       QWidget* parent)
    : QDialog(parent), m_model(model) {
    m_panel.setParent(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    m_context = std::make_unique<WindowContext>(model, m_panel, *this, m_jobs, profile, volumes);
    WindowContext& context = *m_context;
    m_rows = std::make_unique<RowsView>(context);
    context.rows = m_rows.get();
    m_history = std::make_unique<HistoryController>(context);
    context.history = m_history.get();
    m_loads = std::make_unique<LoadController>(context);
    context.loads = m_loads.get();
    m_banks = std::make_unique<BankController>(context);
    m_saves = std::make_unique<SaveController>(context);
    m_fill = std::make_unique<FillController>(context);
    m_slices = std::make_unique<SliceController>(context);
    m_levels = std::make_unique<LevelsController>(context);
    m_browse = std::make_unique<BrowseController>(context);
    m_card = std::make_unique<CardController>(context);
    m_record = std::make_unique<RecordController>(context, *m_fill);
    m_kits = std::make_unique<KitController>(context);
    m_pads = std::make_unique<PadInput>(model);
    m_settings = std::make_unique<SettingsController>(context, *m_browse, *m_pads);
    m_model.SetListener(m_rows.get());
    setAcceptDrops(true);
    connect(&m_jobs, &JobRunner::busyChanged, this, [this](bool busy) {
        if (busy) {
            setCursor(Qt::BusyCursor);
        } else {
            unsetCursor();
            // A cancelled job never reports: every row gets its controls back.
            m_rows->UpdateAllRows();
        }
    });
    installEventFilter(m_pads.get());
    m_edits = std::make_unique<EditController>(context, *m_slices);

    // How the features reach each other.
    connect(m_edits.get(), &EditController::CloseAsked, this, &MainWindow::OnCloseButton);
    connect(m_fill.get(), &FillController::BankDropped, this, [this](const QString& path) {
        if (KitController::IsKitFile(path))
            m_kits->ImportKitLater(path);
        else
            m_banks->OpenBankLater(path);
    });
    connect(m_pads.get(), &PadInput::Struck, m_fill.get(), &FillController::SetTargetRow);
    // Enter in the browser: the files go on the rows from the target row.
    connect(m_browse.get(), &BrowseController::FilesChosen, m_fill.get(),
            [this](const QStringList& files) { (void)m_fill->PutFilesOnRows(files); });
    connect(m_card.get(), &CardController::OpenBankAsked, m_banks.get(),
            &BankController::OpenBankLater);
    connect(m_card.get(), &CardController::OpenCopyAsked, m_banks.get(),
            [this](const QString& copy, const QString& bank) {
                (void)m_banks->OpenBankCopy(copy, bank);
            });
    connect(m_loads.get(), &LoadController::ConvertFormatsChanged, m_browse.get(),
            &BrowseController::Refresh);
    m_history->SetOpenCopy([this](const QString& path, const QString& bank) {
        return m_banks->OpenBankCopy(path, bank);
    });
    m_openShortcut = std::make_unique<QShortcut>(QKeySequence::Open, this);
    connect(m_openShortcut.get(), &QShortcut::activated, m_banks.get(),
            &BankController::OnOpenBank);
}

MainWindow::~MainWindow() {
    m_edits.reset();
    m_pads.reset();  // no MIDI note after this
    m_jobs.CancelAll();
    // Watchers report to the rows' view: end them first.
    m_model.Close();
    m_model.SetListener(nullptr);
}

void MainWindow::setVisible(bool visible) {
    if (visible && !m_initStarted) {
        m_initStarted = true;
        ConnectControls(*this, m_panel);
        m_panel.PlaceAtTemplatePositions();
        setFont(DialogFont());
        setFixedSize(m_panel.size());
        setWindowIcon(LoadAppIcon());
        (void)m_panel.ShowFreshStart();
        if (!m_model.Open()) {
            ShowMessage(this, IdsSoundDeviceError);
        } else {
            m_pads->StartMidi(m_context->profile);
            if (m_settings->LoadSettings()) {
                // The client area is the panel; the window manager adds its
                // frame.
                m_panel.LayoutControls();
                setFixedSize(m_panel.size());
                setWindowTitle(QString::fromLatin1(MainWindowTitle));
                m_context->initialised = true;
            }
        }
    }
    QDialog::setVisible(visible);
}

void MainWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_shownOnce) return;
    m_shownOnce = true;
    // Once the window is up: reading the files must not slow its start.
    QTimer::singleShot(0, m_loads.get(), &LoadController::StartRestoring);
    QTimer::singleShot(0, m_fill.get(), &FillController::RemoveStaleRowFiles);
    m_banks->OnShown();
    m_browse->OnShown();
    emit Shown();
}

void MainWindow::OnCloseButton() {
    if (EndWork(*m_context, *m_pads, m_jobs)) QDialog::accept();
}

void MainWindow::reject() {
    if (EndWork(*m_context, *m_pads, m_jobs)) QDialog::reject();
}

void MainWindow::done(int result) {
    if (!m_settingsSaved) {
        m_settingsSaved = true;
        m_settings->SaveSettings();
    }
    QDialog::done(result);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (isVisible() && !m_context->closing) OnCloseButton();
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier && m_fill->MoveTargetByKey(event->key())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    const QString text = LoadResString(IdsAboutMenu);
    if (text.isEmpty()) return;
    const WindowContext& context = *m_context;
    QMenu menu(this);
    const int row = RowAt(m_panel, *this, event->pos());
    QAction* edit = nullptr;
    QAction* slice = nullptr;
    if (row >= 0 && m_model.IsSlotLoaded(row) && !context.IsRowBusy(row) && !context.openingBank) {
        edit = menu.addAction(tr("&Edit row %1...").arg(row + 1));
        slice = menu.addAction(tr("&Slice across rows..."));
        menu.addSeparator();
    }
    m_history->AddUndoMenuItems(menu);
    QAction* about = menu.addAction(text);
    QAction* openBank = menu.addAction(tr("&Open bank..."));
    openBank->setShortcut(QKeySequence::Open);
    QAction* convert = menu.addAction(tr("Con&vert other formats"));
    convert->setCheckable(true);
    convert->setChecked(m_model.ConvertFormats());
    QAction* match = menu.addAction(tr("&Match levels..."));
    match->setEnabled(m_model.CountLoadedSlots() > 0);
    QAction* fill = menu.addAction(m_fill->FillMenuText());
    fill->setEnabled(!context.openingBank && !context.saving);
    QAction* browse = menu.addAction(tr("&Browse sounds..."));
    browse->setCheckable(true);
    browse->setChecked(m_browse->IsBrowserOpen());
    browse->setShortcut(m_browse->ShortcutKey());
    m_card->AddMenuItems(menu);
    m_record->AddMenuItems(menu);
    m_kits->AddMenuItems(menu);
    m_pads->AddMenuItems(menu);
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == match) m_levels->MatchLevels();
    if (chosen == fill) m_fill->FillRowsFromFolder();
    if (chosen != nullptr && chosen == edit) m_edits->EditRow(row);
    if (chosen != nullptr && chosen == slice) m_slices->SliceAcrossRows(row);
    if (chosen == about) {
        AboutDialog dialog(this);
        dialog.exec();
    }
    if (chosen == openBank) m_banks->OnOpenBank();
    if (chosen == convert) m_loads->SetConvertFormats(convert->isChecked());
    if (chosen == browse) m_browse->SetBrowserOpen(browse->isChecked());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // The rows take their own drops; the rest of the window takes a bank.
    const QString dragged = FileDropTarget::SingleLocalFile(event->mimeData());
    if (IsBankFile(dragged) || KitController::IsKitFile(dragged)) {
        event->setDropAction(
            FileDropTarget::ChooseDropAction(event->possibleActions(), event->proposedAction()));
        event->accept();
        return;
    }
    event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = FileDropTarget::SingleLocalFile(event->mimeData());
    if (!IsBankFile(path) && !KitController::IsKitFile(path)) {
        event->ignore();
        return;
    }
    event->setDropAction(
        FileDropTarget::ChooseDropAction(event->possibleActions(), event->proposedAction()));
    event->accept();
    if (KitController::IsKitFile(path))
        m_kits->ImportKitLater(path);
    else
        m_banks->OpenBankLater(path);
}
