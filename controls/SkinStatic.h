#pragma once

#include <QColor>
#include <QLabel>

#include "controls/FileDropTarget.h"

// The file-name label of a slot row: plain text drawn over a flat light
// background that matches the fields painted into the panel, and a drop
// target for a file dragged onto the row.
class CSkinStatic : public QLabel, public CFileDropTarget {
    Q_OBJECT
public:
    explicit CSkinStatic(QWidget* parent = nullptr);

    // The background colour, RGB(236, 238, 236).
    [[nodiscard]] QColor BackgroundColor() const { return m_brush; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QColor m_brush{236, 238, 236};
};
