#pragma once

#include <QColor>
#include <QLabel>

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

signals:
    // A file drag entered or left the control, or a drop arrived (path
    // empty when it was not exactly one local file). slot: the index.
    void FileDragEntered(int slot);
    void FileDragLeft(int slot);
    void FileDropped(int slot, const QString& path);
    // The label was double-clicked with the left button.
    void DoubleClicked(int slot);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void ReportDragEntered() override { emit FileDragEntered(m_index); }
    void ReportDragLeft() override { emit FileDragLeft(m_index); }
    void ReportDropped(const QString& path) override { emit FileDropped(m_index, path); }
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QColor m_background{236, 238, 236};
};
