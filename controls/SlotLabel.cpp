#include "controls/SlotLabel.h"

#include <QMouseEvent>
#include <QPalette>

SlotLabel::SlotLabel(QWidget* parent) : QLabel(parent) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, m_background);
    setPalette(pal);
    setAutoFillBackground(true);
    // File names are shown as they are, never read as markup.
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void SlotLabel::dragEnterEvent(QDragEnterEvent* event) { HandleDragEnter(this, event); }
void SlotLabel::dragMoveEvent(QDragMoveEvent* event) { HandleDragMove(this, event); }
void SlotLabel::dragLeaveEvent(QDragLeaveEvent* event) { HandleDragLeave(this, event); }
void SlotLabel::dropEvent(QDropEvent* event) { HandleDrop(this, event); }

void SlotLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit DoubleClicked(GetIndex());
        event->accept();
        return;
    }
    QLabel::mouseDoubleClickEvent(event);
}
