#include "controls/SkinStatic.h"

#include <QPalette>

CSkinStatic::CSkinStatic(QWidget* parent) : QLabel(parent) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, m_brush);
    setPalette(pal);
    setAutoFillBackground(true);
    // File names are shown as they are, never read as markup.
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void CSkinStatic::dragEnterEvent(QDragEnterEvent* event) { HandleDragEnter(this, event); }
void CSkinStatic::dragMoveEvent(QDragMoveEvent* event) { HandleDragMove(this, event); }
void CSkinStatic::dragLeaveEvent(QDragLeaveEvent* event) { HandleDragLeave(this, event); }
void CSkinStatic::dropEvent(QDropEvent* event) { HandleDrop(this, event); }
