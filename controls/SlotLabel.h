#pragma once

#include <QColor>
#include <QLabel>
#include <QPoint>

#include "controls/FileDropTarget.h"

// The file-name label of a slot row: plain text drawn over a flat light
// background that matches the fields painted into the panel, and a drop
// target for a file dragged onto the row.
class SlotLabel : public QLabel, public FileDropTarget {
    Q_OBJECT
public:
    explicit SlotLabel(QWidget* parent = nullptr);

    // The background colour, RGB(236, 238, 236).
    [[nodiscard]] QColor BackgroundColor() const { return m_background; }

    // The target row's mark: a thin line under the label, in the skin's
    // frame colour, so it reads without competing with the file name.
    void SetTargetMark(bool on);
    [[nodiscard]] bool HasTargetMark() const { return m_target; }

signals:
    // A file drag entered or left the control, or a drop arrived (path
    // empty when it was not exactly one local file). slot: the index.
    void FileDragEntered(int slot);
    void FileDragLeft(int slot);
    void FileDropped(int slot, const QString& path);
    // Files from the sound browser were dropped on the row.
    void FilesDropped(int slot, const QStringList& paths);
    // The label was double-clicked with the left button.
    void DoubleClicked(int slot);
    // The left button was pressed on the label.
    void Pressed(int slot);
    // After a press, the pointer moved beyond the start-drag distance with
    // the left button held: the row is to be dragged out (once per press).
    void DragOutAsked(int slot);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_background{236, 238, 236};
    bool m_target = false;
    QPoint m_pressPosition;
    bool m_dragAsked = true;  // until the next press
};
