#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QRect>

#include "controls/FileDropTarget.h"
#include "controls/HoverLook.h"

// The skinned push button: shows one of three images (normal, pressed,
// hover) centred on itself, a one-pixel focus frame when it has the focus,
// swaps in the hover image while the pointer is over it (HoverLook), clicks
// itself on Enter, and reports file drags to its parent (FileDropTarget).
//
// The images belong to the caller and must outlive their use here. GUI
// thread only.
class SkinButton : public QAbstractButton, public FileDropTarget {
    Q_OBJECT
public:
    explicit SkinButton(QWidget* parent = nullptr);

    // Stores the three images. Returns false and keeps the former images
    // when any of them is null. Does not repaint: call update().
    [[nodiscard]] bool SetBitmaps(const QPixmap* normal, const QPixmap* pressed,
                                  const QPixmap* hover);

    // The current normal image (null before the first SetBitmaps).
    [[nodiscard]] const QPixmap* GetNormalBitmap() const { return m_normalImage; }
    [[nodiscard]] const QPixmap* GetPressedBitmap() const { return m_pressedImage; }
    [[nodiscard]] const QPixmap* GetHoverBitmap() const { return m_hoverImage; }

    // Colour of the focus frame (black until set).
    void SetFrameColor(const QColor& colour);
    [[nodiscard]] QColor GetFrameColor() const { return m_frameColor; }

    // Re-reads the button's rectangle after a move or resize; the focus
    // frame and the drop's hover test use it.
    void UpdateRegions();

    // With true, every repaint shows the hover image until the pointer
    // leaves the button or SetHover(false); then repaints.
    void SetHover(bool hover);
    [[nodiscard]] bool IsHoverSet() const { return m_look.IsSet(); }

    // Shows the hover look as a mark that points at this button (after a
    // failed load) without the pointer being there. It goes at the next
    // pointer move anywhere in the program that is not over the button, or
    // when the button loses the focus.
    void ShowHoverMark();

    [[nodiscard]] QSize sizeHint() const override;

signals:
    // A file drag entered or left the control, or a drop arrived (path
    // empty when it was not exactly one local file). slot: the index.
    void FileDragEntered(int slot);
    void FileDragLeft(int slot);
    void FileDropped(int slot, const QString& path);
    // Files from the sound browser were dropped on the row.
    void FilesDropped(int slot, const QStringList& paths);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    const QPixmap* m_normalImage = nullptr;
    const QPixmap* m_pressedImage = nullptr;
    const QPixmap* m_hoverImage = nullptr;
    QRect m_clientRect;
    QRect m_innerRect;
    QColor m_frameColor{0, 0, 0};
    bool m_mouseDown = false;
    bool m_focusFrame = false;
    HoverLook m_look{*this};
};
