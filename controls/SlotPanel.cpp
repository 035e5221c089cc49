#include "controls/SlotPanel.h"

#include <QPainter>

#include "controls/DrawCentered.h"
#include "res/DialogTemplates.h"
#include "res/SkinResources.h"

namespace {

constexpr QRgb FrameColor = 0xFFFFFF;

// The 17 single bitmaps the panel loads.
constexpr std::array<int, 17> SingleBitmapIds{149, 132, 138, 130, 137, 139, 140, 170, 134,
                                              146, 142, 143, 135, 147, 144, 163, 148};

// Where the window's own template puts the controls, in dialog units. These
// hold only when the window's start stops before the pixel layout (no sound
// device); the template is 367 x 341.
constexpr QSize MainTemplateSize{367, 341};
constexpr std::array<int, SkinSlotCount> TemplateButtonTop{270, 255, 241, 226, 212, 198, 183, 169,
                                                           154, 140, 126, 111, 97,  83,  68,  54};
constexpr std::array<int, SkinSlotCount> TemplateLabelTop{272, 258, 243, 229, 215, 200, 186, 171,
                                                          157, 143, 129, 114, 99,  85,  70,  56};
constexpr int TemplateLoadX = 63;
constexpr int TemplateClearX = 276;
constexpr int TemplatePlayX = 291;
constexpr QSize TemplateRowButton{14, 13};
constexpr QRect TemplateLabel(int top) { return {84, top, 185, 9}; }
constexpr QRect TemplateClose{167, 24, 34, 14};
constexpr QRect TemplateSave{251, 295, 57, 22};

}  // namespace

SlotPanel::SlotPanel(QWidget* parent) : QWidget(parent) {
    // Children in the order of the window's template, which is also the
    // tab order.
    for (size_t s = 0; s < SkinSlotCount; ++s) {
        for (QWidget* control : std::initializer_list<QWidget*>{
                 &m_labels[s], &m_loadButtons[s], &m_playButtons[s], &m_clearButtons[s]}) {
            control->setParent(this);
        }
    }
    m_saveButton.setParent(this);
    m_closeButton.setParent(this);
    NameControls();
}

void SlotPanel::NameControls() {
    for (int i = 0; i < SkinSlotCount; ++i) {
        const size_t s = Index(i);
        m_loadButtons[s].SetIndex(i);
        m_clearButtons[s].SetIndex(i);
        m_playButtons[s].SetIndex(i);
        m_labels[s].SetIndex(i);
        // The art carries no text: say for screen readers what each does.
        // Rows count from 1 at the bottom, as the badges and the settings do.
        const QString row = QString::number(i + 1);
        m_loadButtons[s].setAccessibleName(tr("Load row %1").arg(row));
        m_loadButtons[s].setAccessibleDescription(
            tr("Chooses a sound file for row %1; a file can also be dropped on the row.").arg(row));
        m_clearButtons[s].setAccessibleName(tr("Clear row %1").arg(row));
        m_clearButtons[s].setAccessibleDescription(tr("Empties row %1.").arg(row));
        m_playButtons[s].setAccessibleName(tr("Play row %1").arg(row));
        m_playButtons[s].setAccessibleDescription(
            tr("Plays the sound loaded in row %1 from its start, stopping any other row.")
                .arg(row));
        m_labels[s].setAccessibleDescription(tr("Sound file of row %1").arg(row));
    }
    m_saveButton.setAccessibleName(tr("Make user voice"));
    m_saveButton.setAccessibleDescription(
        tr("Saves the loaded rows as one voice bank onto the memory card."));
    m_closeButton.setAccessibleName(tr("Exit"));
    m_closeButton.setAccessibleDescription(
        tr("Closes the program; the rows are kept for next time."));
}

const QPixmap* SlotPanel::Bitmap(int id) const {
    const auto found = m_bitmaps.find(id);
    return found == m_bitmaps.end() ? nullptr : &found->second;
}

bool SlotPanel::LoadBitmaps() {
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
    for (int i = 0; i < SkinSlotCount; ++i) {
        const size_t s = Index(i);
        m_loadEmpty[s] = load(BmpLoadNormalFirst + i);
        m_loadLoaded[s] = load(BmpLoadNormalFirst + i);
        m_loadPressed[s] = load(BmpLoadPressedFirst + i);
        m_loadHover[s] = load(BmpLoadHoverFirst + i);
    }
    return complete;
}

bool SlotPanel::ShowFreshStart() {
    const bool haveArt = LoadBitmaps();
    if (haveArt) {
        (void)m_closeButton.SetBitmaps(Bitmap(BmpCloseNormal), Bitmap(BmpClosePressed),
                                       Bitmap(BmpCloseHover));
        (void)m_saveButton.SetBitmaps(Bitmap(BmpSaveDisabled), Bitmap(BmpSavePressed),
                                      Bitmap(BmpSaveHover));
    }
    m_saveButton.SetFrameColor(QColor::fromRgb(FrameColor));
    m_closeButton.SetFrameColor(QColor::fromRgb(FrameColor));
    for (int i = 0; i < SkinSlotCount; ++i) {
        const size_t s = Index(i);
        SetRowState(i, false, false);
        for (SkinButton* button : {&m_loadButtons[s], &m_clearButtons[s], &m_playButtons[s]}) {
            button->SetFrameColor(QColor::fromRgb(FrameColor));
        }
        // Only the label and the load button take dropped files.
        (void)m_labels[s].Register(&m_labels[s]);
        (void)m_loadButtons[s].Register(&m_loadButtons[s]);
    }
    SetSaveEnabled(false);
    return haveArt;
}

void SlotPanel::PlaceAtTemplatePositions() {
    setFont(DialogFont());
    const DialogBaseUnits units = DialogBaseUnitsOf(DialogFont());
    setFixedSize(DluToPixels(MainTemplateSize, units));
    for (int i = 0; i < SkinSlotCount; ++i) {
        const size_t s = Index(i);
        const int top = TemplateButtonTop[s];
        m_loadButtons[s].setGeometry(
            DluToPixels(QRect(QPoint(TemplateLoadX, top), TemplateRowButton), units));
        m_clearButtons[s].setGeometry(
            DluToPixels(QRect(QPoint(TemplateClearX, top), TemplateRowButton), units));
        m_playButtons[s].setGeometry(
            DluToPixels(QRect(QPoint(TemplatePlayX, top), TemplateRowButton), units));
        m_labels[s].setGeometry(DluToPixels(TemplateLabel(TemplateLabelTop[s]), units));
    }
    m_closeButton.setGeometry(DluToPixels(TemplateClose, units));
    m_saveButton.setGeometry(DluToPixels(TemplateSave, units));
}

void SlotPanel::LayoutControls() {
    setFixedSize(SkinPanelSize, SkinPanelSize);
    for (int i = 0; i < SkinSlotCount; ++i) {
        const size_t s = Index(i);
        m_loadButtons[s].setGeometry(SkinLoadButtonRect(i));
        m_loadButtons[s].UpdateRegions();
        m_clearButtons[s].setGeometry(SkinClearButtonRect(i));
        m_clearButtons[s].UpdateRegions();
        m_playButtons[s].setGeometry(SkinPlayButtonRect(i));
        m_playButtons[s].UpdateRegions();
        m_labels[s].setGeometry(SkinLabelRect(i));
    }
    m_closeButton.setGeometry(SkinCloseButtonRect());
    m_closeButton.UpdateRegions();
    m_saveButton.setGeometry(SkinSaveButtonRect());
    m_saveButton.UpdateRegions();
}

void SlotPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    (void)DrawCentered(&painter, 0, 0, SkinPanelSize, SkinPanelSize, Bitmap(BmpBackground));
}

bool SlotPanel::SetRowState(int slot, bool loaded, bool playing) {
    if (!IsValidSlot(slot)) return false;
    const size_t s = Index(slot);
    SkinButton& load = m_loadButtons[s];
    SkinButton& clear = m_clearButtons[s];
    SkinButton& play = m_playButtons[s];
    bool ok = true;
    if (loaded) {
        ok = load.SetBitmaps(&m_loadLoaded[s], &m_loadPressed[s], &m_loadHover[s]) && ok;
        ok = clear.SetBitmaps(Bitmap(BmpClearNormal), Bitmap(BmpClearPressed),
                              Bitmap(BmpClearHover)) &&
             ok;
        if (playing) {
            ok = play.SetBitmaps(Bitmap(BmpPlayPlaying), Bitmap(BmpPlayPlaying),
                                 Bitmap(BmpPlayPlaying)) &&
                 ok;
        } else {
            ok = play.SetBitmaps(Bitmap(BmpPlayNormal), Bitmap(BmpPlayPressed),
                                 Bitmap(BmpPlayHover)) &&
                 ok;
        }
    } else {
        ok = load.SetBitmaps(&m_loadEmpty[s], &m_loadPressed[s], &m_loadHover[s]) && ok;
        ok = clear.SetBitmaps(Bitmap(BmpClearDisabled), Bitmap(BmpClearDisabled),
                              Bitmap(BmpClearDisabled)) &&
             ok;
        ok = play.SetBitmaps(Bitmap(BmpPlayDisabled), Bitmap(BmpPlayDisabled),
                             Bitmap(BmpPlayDisabled)) &&
             ok;
    }
    clear.setEnabled(loaded);
    play.setEnabled(loaded);
    load.update();
    clear.update();
    play.update();
    return ok;
}

bool SlotPanel::SetPlayButtonState(int slot, bool playing) {
    if (!IsValidSlot(slot)) return false;
    SkinButton& play = m_playButtons[Index(slot)];
    const bool ok = playing ? play.SetBitmaps(Bitmap(BmpPlayPlaying), Bitmap(BmpPlayPlaying),
                                              Bitmap(BmpPlayPlaying))
                            : play.SetBitmaps(Bitmap(BmpPlayNormal), Bitmap(BmpPlayPressed),
                                              Bitmap(BmpPlayHover));
    play.update();
    return ok;
}

void SlotPanel::SetSaveEnabled(bool enabled) {
    (void)m_saveButton.SetBitmaps(Bitmap(enabled ? BmpSaveNormal : BmpSaveDisabled),
                                  Bitmap(BmpSavePressed), Bitmap(BmpSaveHover));
    m_saveButton.setEnabled(enabled);
    m_saveButton.update();
}

bool SlotPanel::SetSlotText(int slot, const QString& text, const QString& toolTip) {
    if (!IsValidSlot(slot)) return false;
    SlotLabel& label = m_labels[Index(slot)];
    label.setText(text);
    label.setToolTip(toolTip);
    DescribeLabel(slot);
    return true;
}

void SlotPanel::DescribeLabel(int slot) {
    SlotLabel& label = m_labels[Index(slot)];
    // A screen reader reads the tooltip (path, format, length) as the
    // label's description; an empty row says which row it is.
    QString text = label.toolTip();
    if (text.isEmpty()) text = tr("Sound file of row %1").arg(slot + 1);
    if (label.HasTargetMark()) text += QLatin1Char('\n') + tr("Target row: sounds are put here.");
    label.setAccessibleDescription(text);
}

void SlotPanel::SetTargetRow(int slot) {
    if (!IsValidSlot(slot)) return;
    for (int i = 0; i < SkinSlotCount; ++i) {
        SlotLabel& label = m_labels[Index(i)];
        if (label.HasTargetMark() == (i == slot)) continue;
        label.SetTargetMark(i == slot);
        DescribeLabel(i);
    }
}
