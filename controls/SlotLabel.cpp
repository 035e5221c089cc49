#include "controls/SlotLabel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

SlotLabel::SlotLabel(QWidget* parent) : QLabel(parent) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, m_background);
    setPalette(pal);
    setAutoFillBackground(true);
    // File names are shown as they are, never read as markup.
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SetReports({[this] { emit FileDragEntered(m_index); },
                [this] { emit FileDragLeft(m_index); },
                [this](const QString& path) { emit FileDropped(m_index, path); },
                [this](const QStringList& paths) { emit FilesDropped(m_index, paths); },
                {}});
}

void SlotLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit DoubleClicked(GetIndex());
        event->accept();
        return;
    }
    QLabel::mouseDoubleClickEvent(event);
}

void SlotLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressPosition = event->position().toPoint();
        m_dragAsked = false;
        emit Pressed(GetIndex());
    }
    QLabel::mousePressEvent(event);
}

void SlotLabel::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragAsked && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - m_pressPosition).manhattanLength() >=
            QApplication::startDragDistance()) {
        m_dragAsked = true;
        emit DragOutAsked(GetIndex());
    }
    QLabel::mouseMoveEvent(event);
}

void SlotLabel::SetTargetMark(bool on) {
    if (m_target == on) return;
    m_target = on;
    update();
}

void SlotLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!m_target) return;
    QPainter painter(this);
    constexpr int Thickness = 2;
    painter.fillRect(QRect(0, height() - Thickness, width(), Thickness), QColor(64, 96, 140));
}
