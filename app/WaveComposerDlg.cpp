#include "app/WaveComposerDlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <memory>

#include "app/PathUtils.h"
#include "app/ProfileStore.h"
#include "app/SlotFormat.h"
#include "audio/AudioData.h"
#include "controls/DrawCentered.h"
#include "controls/MessageBox.h"
#include "controls/SlotMessages.h"
#include "res/AboutDlg.h"
#include "res/DialogTemplates.h"
#include "res/SkinLayout.h"
#include "res/SkinResources.h"
#include "res/StringTable.h"
#include "savedlg/FileSaveDlg.h"

namespace {

const QString SectionWindow = QStringLiteral("WindowInfo");
const QString SectionVolume = QStringLiteral("LoadVolumeInfo");
const QString SectionFiles = QStringLiteral("FilePathInfo");

constexpr QRgb FrameColor = 0xFFFFFF;

// The 17 single bitmaps the window loads.
constexpr std::array<int, 17> SingleBitmapIds{149, 132, 138, 130, 137, 139, 140, 170, 134,
                                              146, 142, 143, 135, 147, 144, 163, 148};

// Where the window's own template puts the controls, in dialog units. These
// hold only when initialisation stops before the pixel layout (no sound
// device); the template is 367 x 341.
constexpr QSize MainTemplateSize{367, 341};
constexpr std::array<int, MainSlotCount> TemplateButtonTop{270, 255, 241, 226, 212, 198, 183, 169,
                                                           154, 140, 126, 111, 97, 83, 68, 54};
constexpr std::array<int, MainSlotCount> TemplateLabelTop{272, 258, 243, 229, 215, 200, 186, 171,
                                                          157, 143, 129, 114, 99, 85, 70, 56};
constexpr int TemplateLoadX = 63;
constexpr int TemplateClearX = 276;
constexpr int TemplatePlayX = 291;
constexpr QSize TemplateRowButton{14, 13};
constexpr QRect TemplateLabel(int top) { return {84, top, 185, 9}; }
constexpr QRect TemplateClose{167, 24, 34, 14};
constexpr QRect TemplateSave{251, 295, 57, 22};

QString SlotKey(int slot) {
    return QString::asprintf("File%02d", slot + 1);
}

// The file name of a path without its directory and its last extension.
QString BaseNameOf(const QString& path) {
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    return name;
}

// A path as the engine wants it, or empty when the platform could not open
// it (too long, or an embedded NUL).
QByteArray NativePath(const QString& path) {
    QByteArray encoded = QFile::encodeName(path);
    if (encoded.contains('\0') || !FitsPathMax(encoded.toStdString())) return {};
    return encoded;
}

}  // namespace

CWaveComposerDlg::CWaveComposerDlg(ProfileStore* profile, const VolumeSource* volumes, QWidget* parent)
    : QDialog(parent), m_profile(profile), m_volumes(volumes) {
    m_hIcon = LoadAppIcon();
    for (int i = 0; i < MainSlotCount; ++i) {
        const auto s = static_cast<size_t>(i);
        for (QWidget* control : std::initializer_list<QWidget*>{&m_labelControls[s], &m_loadControls[s],
                                                                &m_playControls[s], &m_clearControls[s]}) {
            control->setParent(this);
        }
    }
    m_saveButton.setParent(this);
    m_closeButton.setParent(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
}

CWaveComposerDlg::~CWaveComposerDlg() {
    // Watchers call back into the buttons: end them first.
    m_engine.Close();
}

QWidget* CWaveComposerDlg::GetDlgItem(int id) const {
    auto* self = const_cast<CWaveComposerDlg*>(this);
    if (id == MainIdClose) return &self->m_closeButton;
    if (id == MainIdSave) return &self->m_saveButton;
    for (int i = 0; i < MainSlotCount; ++i) {
        const auto s = static_cast<size_t>(i);
        if (id == MainLoadButtonId(i)) return &self->m_loadControls[s];
        if (id == MainClearButtonId(i)) return &self->m_clearControls[s];
        if (id == MainPlayButtonId(i)) return &self->m_playControls[s];
        if (id == MainLabelId(i)) return &self->m_labelControls[s];
    }
    return nullptr;
}

const QPixmap* CWaveComposerDlg::GetBitmap(int id) const {
    const auto found = m_bitmaps.find(id);
    return found == m_bitmaps.end() ? nullptr : &found->second;
}

void CWaveComposerDlg::setVisible(bool visible) {
    if (visible && !m_initStarted) {
        m_initStarted = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void CWaveComposerDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        emit Shown();
    }
}

bool CWaveComposerDlg::OnInitDialog() {
    BindControls();
    setWindowIcon(m_hIcon);
    const bool haveArt = LoadBitmaps();
    for (int i = 0; i < MainSlotCount; ++i) {
        const auto s = static_cast<size_t>(i);
        m_loadButtons[s] = &m_loadControls[s];
        m_clearButtons[s] = &m_clearControls[s];
        m_playButtons[s] = &m_playControls[s];
        m_labels[s] = &m_labelControls[s];
    }
    if (haveArt) {
        (void)m_closeButton.SetBitmaps(Bmp(BmpCloseNormal), Bmp(BmpClosePressed), Bmp(BmpCloseHover));
        (void)m_saveButton.SetBitmaps(Bmp(BmpSaveDisabled), Bmp(BmpSavePressed), Bmp(BmpSaveHover));
    }
    m_saveButton.SetFrameColor(QColor::fromRgb(FrameColor));
    m_closeButton.SetFrameColor(QColor::fromRgb(FrameColor));
    for (int i = 0; i < MainSlotCount; ++i) {
        const auto s = static_cast<size_t>(i);
        SetRowState(i, false);
        for (CSkinButton* button : {m_loadButtons[s], m_clearButtons[s], m_playButtons[s]}) {
            button->SetFrameColor(QColor::fromRgb(FrameColor));
            button->SetIndex(i);
        }
        m_labels[s]->SetIndex(i);
        // Only the label and the load button take dropped files.
        (void)m_labels[s]->Register(m_labels[s]);
        (void)m_loadButtons[s]->Register(m_loadButtons[s]);
    }

    if (m_engine.Open(this, MainSlotCount, HostLittleEndian) != 1) {
        ShowMessage(this, IdsSoundDeviceError);
        return false;
    }
    if (!LoadSettings()) return false;
    LayoutControls();
    setWindowTitle(QString::fromLatin1(MainWindowTitle));
    m_initialised = true;
    return true;
}

void CWaveComposerDlg::BindControls() {
    for (int i = 0; i < MainSlotCount; ++i) {
        const auto s = static_cast<size_t>(i);
        m_loadControls[s].setObjectName(QString::number(MainLoadButtonId(i)));
        m_clearControls[s].setObjectName(QString::number(MainClearButtonId(i)));
        m_playControls[s].setObjectName(QString::number(MainPlayButtonId(i)));
        m_labelControls[s].setObjectName(QString::number(MainLabelId(i)));
        connect(&m_loadControls[s], &QAbstractButton::clicked, this, [this, i] { LoadSlotFile(i, nullptr, true); });
        connect(&m_clearControls[s], &QAbstractButton::clicked, this, [this, i] { OnClearButton(i); });
        connect(&m_playControls[s], &QAbstractButton::clicked, this, [this, i] { PlaySlotRow(i); });
        // The art carries no text: say for screen readers what each does.
        // Rows count from 1 at the bottom, as the badges and the settings do.
        const QString row = QString::number(i + 1);
        m_loadControls[s].setAccessibleName(tr("Load row %1").arg(row));
        m_loadControls[s].setAccessibleDescription(
            tr("Chooses a sound file for row %1; a file can also be dropped on the row.").arg(row));
        m_clearControls[s].setAccessibleName(tr("Clear row %1").arg(row));
        m_clearControls[s].setAccessibleDescription(tr("Empties row %1.").arg(row));
        m_playControls[s].setAccessibleName(tr("Play row %1").arg(row));
        m_playControls[s].setAccessibleDescription(
            tr("Plays the sound loaded in row %1 from its start, stopping any other row.").arg(row));
        m_labelControls[s].setAccessibleDescription(tr("Sound file of row %1").arg(row));
    }
    m_saveButton.setAccessibleName(tr("Make user voice"));
    m_saveButton.setAccessibleDescription(
        tr("Saves the loaded rows as one voice bank onto the memory card."));
    m_closeButton.setAccessibleName(tr("Exit"));
    m_closeButton.setAccessibleDescription(tr("Closes the program; the rows are kept for next time."));
    m_saveButton.setObjectName(QString::number(MainIdSave));
    m_closeButton.setObjectName(QString::number(MainIdClose));
    connect(&m_saveButton, &QAbstractButton::clicked, this, &CWaveComposerDlg::OnSaveButton);
    connect(&m_closeButton, &QAbstractButton::clicked, this, &CWaveComposerDlg::OnCloseButton);
    PlaceAtTemplatePositions();
}

void CWaveComposerDlg::PlaceAtTemplatePositions() {
    setFont(DialogFont());
    const DialogBaseUnits units = DialogBaseUnitsOf(DialogFont());
    setFixedSize(DluToPixels(MainTemplateSize, units));
    for (int i = 0; i < MainSlotCount; ++i) {
        const auto s = static_cast<size_t>(i);
        const int top = TemplateButtonTop[s];
        m_loadControls[s].setGeometry(DluToPixels(QRect(QPoint(TemplateLoadX, top), TemplateRowButton), units));
        m_clearControls[s].setGeometry(DluToPixels(QRect(QPoint(TemplateClearX, top), TemplateRowButton), units));
        m_playControls[s].setGeometry(DluToPixels(QRect(QPoint(TemplatePlayX, top), TemplateRowButton), units));
        m_labelControls[s].setGeometry(DluToPixels(TemplateLabel(TemplateLabelTop[s]), units));
    }
    m_closeButton.setGeometry(DluToPixels(TemplateClose, units));
    m_saveButton.setGeometry(DluToPixels(TemplateSave, units));
}

bool CWaveComposerDlg::LoadBitmaps() {
    const qreal ratio = devicePixelRatioF();
    bool complete = true;
    auto load = [&](int id) {
        QPixmap pixmap = LoadSkinBitmap(id, ratio);
        complete = complete && !pixmap.isNull();
        return pixmap;
    };
    for (int id : SingleBitmapIds) {
        m_bitmaps[id] = load(id);
    }
    for (int i = 0; i < MainSlotCount; ++i) {
        const auto s = static_cast<size_t>(i);
        m_loadEmpty[s] = load(BmpLoadNormalFirst + i);
        m_loadLoaded[s] = load(BmpLoadNormalFirst + i);
        m_loadPressed[s] = load(BmpLoadPressedFirst + i);
        m_loadHover[s] = load(BmpLoadHoverFirst + i);
    }
    return complete;
}

void CWaveComposerDlg::LayoutControls() {
    // The client area is the panel; the window manager adds its frame.
    setFixedSize(SkinPanelSize, SkinPanelSize);
    for (int i = 0; i < MainSlotCount; ++i) {
        const auto s = static_cast<size_t>(i);
        m_loadButtons[s]->setGeometry(SkinLoadButtonRect(i));
        m_loadButtons[s]->UpdateRegions();
        m_clearButtons[s]->setGeometry(SkinClearButtonRect(i));
        m_clearButtons[s]->UpdateRegions();
        m_playButtons[s]->setGeometry(SkinPlayButtonRect(i));
        m_playButtons[s]->UpdateRegions();
        m_labels[s]->setGeometry(SkinLabelRect(i));
    }
    m_closeButton.setGeometry(SkinCloseButtonRect());
    m_closeButton.UpdateRegions();
    m_saveButton.setGeometry(SkinSaveButtonRect());
    m_saveButton.UpdateRegions();
}

void CWaveComposerDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    (void)DrawCentered(&painter, 0, 0, SkinPanelSize, SkinPanelSize, Bmp(BmpBackground));
}

bool CWaveComposerDlg::SetRowState(int slot, bool loaded) {
    if (!IsValidSlot(slot)) return false;
    const auto s = static_cast<size_t>(slot);
    CSkinButton* load = m_loadButtons[s];
    CSkinButton* clear = m_clearButtons[s];
    CSkinButton* play = m_playButtons[s];
    if (load == nullptr || clear == nullptr || play == nullptr) return false;
    bool ok = true;
    if (loaded) {
        ok = load->SetBitmaps(&m_loadLoaded[s], &m_loadPressed[s], &m_loadHover[s]) && ok;
        ok = clear->SetBitmaps(Bmp(BmpClearNormal), Bmp(BmpClearPressed), Bmp(BmpClearHover)) && ok;
        if (m_engine.IsSlotPlaying(slot) == 1) {
            ok = play->SetBitmaps(Bmp(BmpPlayPlaying), Bmp(BmpPlayPlaying), Bmp(BmpPlayPlaying)) && ok;
        } else {
            ok = play->SetBitmaps(Bmp(BmpPlayNormal), Bmp(BmpPlayPressed), Bmp(BmpPlayHover)) && ok;
        }
    } else {
        ok = load->SetBitmaps(&m_loadEmpty[s], &m_loadPressed[s], &m_loadHover[s]) && ok;
        ok = clear->SetBitmaps(Bmp(BmpClearDisabled), Bmp(BmpClearDisabled), Bmp(BmpClearDisabled)) && ok;
        ok = play->SetBitmaps(Bmp(BmpPlayDisabled), Bmp(BmpPlayDisabled), Bmp(BmpPlayDisabled)) && ok;
    }
    clear->setEnabled(loaded);
    play->setEnabled(loaded);
    load->Refresh();
    clear->Refresh();
    play->Refresh();
    UpdateSaveButton();
    return ok;
}

bool CWaveComposerDlg::SetPlayButtonState(int slot, bool playing) {
    if (!IsValidSlot(slot)) return false;
    CSkinButton* play = m_playButtons[static_cast<size_t>(slot)];
    if (play == nullptr) return false;
    const bool ok = playing ? play->SetBitmaps(Bmp(BmpPlayPlaying), Bmp(BmpPlayPlaying), Bmp(BmpPlayPlaying))
                            : play->SetBitmaps(Bmp(BmpPlayNormal), Bmp(BmpPlayPressed), Bmp(BmpPlayHover));
    play->Refresh();
    return ok;
}

void CWaveComposerDlg::UpdateSaveButton() {
    const bool any = m_engine.CountLoadedSlots() > 0;
    (void)m_saveButton.SetBitmaps(Bmp(any ? BmpSaveNormal : BmpSaveDisabled), Bmp(BmpSavePressed),
                                  Bmp(BmpSaveHover));
    m_saveButton.setEnabled(any);
    m_saveButton.Refresh();
}

bool CWaveComposerDlg::LoadSlotFile(int slot, const QString* path, bool showErrors) {
    if (!IsValidSlot(slot)) return false;
    const auto s = static_cast<size_t>(slot);
    QString text;
    if (path == nullptr) {
        if (!BrowseForSoundFile(text)) return false;
    } else {
        text = *path;
    }
    if (text.isEmpty()) return true;  // a drop of several files

    const QByteArray native = NativePath(text);
    if (native.isEmpty() || m_engine.LoadSlot(slot, native.constData()) != 1) {
        // A slot the engine emptied after reading the file must not keep
        // looking loaded.
        if (m_engine.IsSlotLoaded(slot) != 1 && m_clearButtons[s] != nullptr && m_clearButtons[s]->isEnabled()) {
            ClearSlotRow(slot);
        }
        if (showErrors) {
            ShowMessage(this, IdsLoadError);
            if (CSkinButton* load = m_loadButtons[s]) {
                load->setFocus();
                load->ShowHoverMark();
            }
        }
        return false;
    }

    bool result = SetSlotLabel(slot, text);
    if (!SetRowState(slot, result)) result = false;
    m_slotPaths[s] = text;
    if (m_playButtons[s] != nullptr) m_playButtons[s]->setFocus();
    if (!result) ClearSlotRow(slot);
    return result;
}

bool CWaveComposerDlg::BrowseForSoundFile(QString& out) {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(AudioFileFilter());
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return false;
    out = chosen.front();
    return true;
}

bool CWaveComposerDlg::SetSlotLabel(int slot, const QString& path) {
    if (!IsValidSlot(slot)) return false;
    CSkinStatic* label = m_labels[static_cast<size_t>(slot)];
    if (label == nullptr) return false;
    label->setText(BaseNameOf(path));

    QString tip;
    SlotFormat format;
    if (!path.isEmpty() && ReadSlotFormat(m_engine, slot, &format)) {
        // One arg call: a marker such as %1 inside the path stays as it is.
        tip = tr("%1\n%2, %3 Hz, %4-bit\n%5 ms")
                  .arg(path, format.channels == 2 ? tr("Stereo") : tr("Mono"),
                       QString::number(format.sampleRate), QString::number(format.bitsPerSample),
                       QString::number(static_cast<qint64>(format.frames) * 1000 / 44100));
    }
    label->setToolTip(tip);
    return true;
}

bool CWaveComposerDlg::ClearSlotRow(int slot) {
    if (!IsValidSlot(slot)) return false;
    if (m_engine.ClearSlot(slot) != 1) return false;
    if (!SetSlotLabel(slot, QString())) return false;
    if (!SetRowState(slot, false)) return false;
    const auto s = static_cast<size_t>(slot);
    if (m_loadButtons[s] != nullptr) m_loadButtons[s]->setFocus();
    m_slotPaths[s].clear();
    return true;
}

void CWaveComposerDlg::OnClearButton(int slot) {
    if (ClearSlotRow(slot)) SetRowState(slot, false);
}

bool CWaveComposerDlg::PlaySlotRow(int slot) {
    if (!IsValidSlot(slot)) return false;
    for (int k = 0; k < MainSlotCount; ++k) {
        if (m_engine.IsSlotPlaying(k) == 1 && m_engine.StopSlot(k) != 1) return false;
    }
    if (m_engine.PlaySlot(slot) != 1) return false;
    return SetPlayButtonState(slot, true);
}

const void* CWaveComposerDlg::GetPlayButtonImage(int slot) const {
    if (!IsValidSlot(slot)) return nullptr;
    const CSkinButton* play = m_playButtons[static_cast<size_t>(slot)];
    return play == nullptr ? nullptr : play->GetNormalBitmap();
}

const void* CWaveComposerDlg::GetStoppedPlayImage() const {
    return Bmp(BmpPlayNormal);
}

void CWaveComposerDlg::ShowSlotStopped(int slot) {
    (void)SetPlayButtonState(slot, false);
}

bool CWaveComposerDlg::event(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == WM_SLOT_DRAGENTER || type == WM_SLOT_DRAGLEAVE || type == WM_SLOT_DROP) {
        const auto* message = static_cast<const SlotMessageEvent*>(event);
        if (type == WM_SLOT_DRAGENTER) OnSlotDragEnter(message->IndexAddress());
        if (type == WM_SLOT_DRAGLEAVE) OnSlotDragLeave(message->IndexAddress());
        if (type == WM_SLOT_DROP) OnSlotDrop(message->IndexAddress(), message->PathAddress());
        return true;
    }
    return QDialog::event(event);
}

void CWaveComposerDlg::OnSlotDragEnter(const int* slot) {
    if (slot != nullptr && IsValidSlot(*slot) && m_loadButtons[static_cast<size_t>(*slot)] != nullptr) {
        m_loadButtons[static_cast<size_t>(*slot)]->SetHover(true);
    }
}

void CWaveComposerDlg::OnSlotDragLeave(const int* slot) {
    if (slot != nullptr && IsValidSlot(*slot) && m_loadButtons[static_cast<size_t>(*slot)] != nullptr) {
        m_loadButtons[static_cast<size_t>(*slot)]->SetHover(false);
    }
}

void CWaveComposerDlg::OnSlotDrop(const int* slot, const QString* path) {
    if (slot == nullptr) return;
    const int index = *slot;  // read before the load: the sender's storage
    if (path != nullptr) LoadSlotFile(index, path, true);
    OnSlotDragLeave(&index);
}

QString CWaveComposerDlg::MakeBankName(const QDateTime& time) {
    const QDate date = time.date();
    const QTime clock = time.time();
    const int hour = clock.hour();
    const char hourChar = static_cast<char>(hour < 10 ? '0' + hour : hour + 55);
    return QString::asprintf("%02d%02d%c%02d%02d-VOICE", date.month(), date.day(), hourChar,
                             clock.minute(), clock.second());
}

QString CWaveComposerDlg::MakeDefaultBankName() {
    return MakeBankName(QDateTime::currentDateTime());
}

void CWaveComposerDlg::OnSaveButton() {
    std::unique_ptr<CFileSaveDlg> dialog = m_volumes != nullptr
                                               ? std::make_unique<CFileSaveDlg>(*m_volumes, this)
                                               : std::make_unique<CFileSaveDlg>(this);
    dialog->SetFileName(MakeDefaultBankName());
    dialog->SetVolume(m_lastVolume);
    if (dialog->DoModal() != QDialog::Accepted) return;
    const QByteArray native = NativePath(dialog->GetFilePath());
    if (native.isEmpty() || m_engine.ExportVoiceBank(native.constData()) == 0) {
        ShowMessage(this, IdsSaveError);
        return;
    }
    m_lastVolume = dialog->GetVolume();
}

void CWaveComposerDlg::OnCloseButton() {
    if (m_closing) return;
    m_closing = true;
    m_engine.Close();
    QDialog::accept();
}

void CWaveComposerDlg::reject() {
    if (m_closing) return;
    m_closing = true;
    m_engine.Close();
    QDialog::reject();
}

void CWaveComposerDlg::done(int result) {
    // The window still has its position here.
    if (!m_settingsSaved) {
        m_settingsSaved = true;
        SaveSettings();
    }
    QDialog::done(result);
}

void CWaveComposerDlg::closeEvent(QCloseEvent* event) {
    if (isVisible() && !m_closing) OnSysCommand(SysCommandClose);
    event->accept();
}

void CWaveComposerDlg::contextMenuEvent(QContextMenuEvent* event) {
    const QString text = LoadResString(IdsAboutMenu);
    if (text.isEmpty()) return;
    QMenu menu(this);
    QAction* about = menu.addAction(text);
    if (menu.exec(event->globalPos()) == about) OnSysCommand(SysCommandAbout);
}

void CWaveComposerDlg::OnSysCommand(int id) {
    switch (id & ~0xF) {
    case SysCommandAbout: {
        CAboutDlg about(this);
        about.exec();
        break;
    }
    case SysCommandClose:
        OnCloseButton();
        break;
    default:
        break;
    }
}

QPoint CWaveComposerDlg::PositionToStore(const QString& platformName, QPoint current, QPoint read) {
    // Wayland neither moves top-level windows nor reports where they are.
    return platformName.startsWith(QLatin1String("wayland")) ? read : current;
}

QPoint CWaveComposerDlg::PlaceOnScreen(QPoint saved) const {
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

bool CWaveComposerDlg::LoadSettings() {
    if (m_profile == nullptr) return false;
    const int x = m_profile->GetProfileInt(SectionWindow, QStringLiteral("PosX"), 0);
    const int y = m_profile->GetProfileInt(SectionWindow, QStringLiteral("PosY"), 0);
    m_savedPosition = QPoint(x, y);
    m_lastVolume = m_profile->GetProfileString(SectionVolume, QStringLiteral("Volume"), QString());
    for (int i = 0; i < MainSlotCount; ++i) {
        const auto s = static_cast<size_t>(i);
        m_slotPaths[s] = m_profile->GetProfileString(SectionFiles, SlotKey(i), QString());
        if (!m_slotPaths[s].isEmpty()) {
            const QString path = m_slotPaths[s];
            LoadSlotFile(i, &path, false);
        }
    }
    move(PlaceOnScreen(m_savedPosition));
    m_settingsLoaded = true;
    return true;
}

bool CWaveComposerDlg::SaveSettings() {
    if (m_profile == nullptr) return false;
    // Initialisation stopped before the settings were read: what is stored
    // stays as it is.
    if (!m_settingsLoaded) return true;
    const QPoint position = PositionToStore(QGuiApplication::platformName(), pos(), m_savedPosition);
    m_profile->WriteProfileInt(SectionWindow, QStringLiteral("PosX"), position.x());
    m_profile->WriteProfileInt(SectionWindow, QStringLiteral("PosY"), position.y());
    m_profile->WriteProfileString(SectionVolume, QStringLiteral("Volume"), m_lastVolume);
    for (int i = 0; i < MainSlotCount; ++i) {
        m_profile->WriteProfileString(SectionFiles, SlotKey(i), m_slotPaths[static_cast<size_t>(i)]);
    }
    m_profile->Flush();
    return true;
}
