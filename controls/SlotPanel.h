#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <array>
#include <map>

#include "controls/SkinButton.h"
#include "controls/SlotLabel.h"
#include "res/SkinLayout.h"

// The main panel: the skin's background with 16 slot rows (load button,
// file-name label, clear button, play button), a Save button and a Close
// button. Slot 0 is the bottom row. It shows what its owner tells it; what
// the controls do is up to the owner, who connects their signals.
//
// The buttons' images live in the panel. The looks are set on the GUI
// thread only.
class SlotPanel : public QWidget {
    Q_OBJECT
public:
    explicit SlotPanel(QWidget* parent = nullptr);

    // Loads every skin bitmap for the panel's pixel ratio and shows a fresh
    // start: every row empty, Save disabled, Close enabled. Returns false
    // when a bitmap is missing.
    bool ShowFreshStart();

    // Places the controls where the window's dialog template puts them (in
    // dialog units of the dialog font), sized to the template: the layout
    // of a window whose start stopped early (no sound device).
    void PlaceAtTemplatePositions();
    // Places the controls at the skin's pixel positions, 640 x 640.
    void LayoutControls();

    // Row looks. Both return false for a slot outside 0 ... 15.
    bool SetRowState(int slot, bool loaded, bool playing);
    bool SetPlayButtonState(int slot, bool playing);
    // Save button: enabled with image 137, else disabled with image 170.
    void SetSaveEnabled(bool enabled);
    // The file name shown in the row and its tooltip.
    bool SetSlotText(int slot, const QString& text, const QString& toolTip);
    // Marks the target row's label (and says so in its accessible
    // description), unmarking the one before.
    void SetTargetRow(int slot);

    [[nodiscard]] SkinButton* LoadButton(int slot) { return &m_loadButtons.at(Index(slot)); }
    [[nodiscard]] SkinButton* ClearButton(int slot) { return &m_clearButtons.at(Index(slot)); }
    [[nodiscard]] SkinButton* PlayButton(int slot) { return &m_playButtons.at(Index(slot)); }
    [[nodiscard]] SlotLabel* Label(int slot) { return &m_labels.at(Index(slot)); }
    [[nodiscard]] SkinButton* SaveButton() { return &m_saveButton; }
    [[nodiscard]] SkinButton* CloseButton() { return &m_closeButton; }

    // A single skin bitmap by id, or null when it was not loaded.
    [[nodiscard]] const QPixmap* Bitmap(int id) const;

    [[nodiscard]] static bool IsValidSlot(int slot) { return slot >= 0 && slot < SkinSlotCount; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    [[nodiscard]] static size_t Index(int slot) { return static_cast<size_t>(slot); }
    bool LoadBitmaps();
    void NameControls();
    void DescribeLabel(int slot);

    // Children of the panel; members so they go before it.
    std::array<SlotLabel, SkinSlotCount> m_labels;
    std::array<SkinButton, SkinSlotCount> m_loadButtons;
    std::array<SkinButton, SkinSlotCount> m_playButtons;
    std::array<SkinButton, SkinSlotCount> m_clearButtons;
    SkinButton m_saveButton;
    SkinButton m_closeButton;

    // The single bitmaps by id, and the load buttons' art by slot.
    std::map<int, QPixmap> m_bitmaps;
    std::array<QPixmap, SkinSlotCount> m_loadEmpty;
    std::array<QPixmap, SkinSlotCount> m_loadLoaded;
    std::array<QPixmap, SkinSlotCount> m_loadPressed;
    std::array<QPixmap, SkinSlotCount> m_loadHover;
};
