#include "controls/HoverLook.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QWidget>

HoverLook::HoverLook(QWidget& button) : m_button(button) {}

void HoverLook::Set(bool hover) {
    m_hover = hover;
    m_button.update();
}

void HoverLook::ShowMark() {
    // The pointer may have left while a dialog was up, unseen by the button.
    m_pointerInside = PointerIsOver();
    Set(true);
    if (!m_mark && QCoreApplication::instance() != nullptr) {
        m_mark = true;
        QCoreApplication::instance()->installEventFilter(this);
    }
}

void HoverLook::EndMark() {
    if (!m_mark) {
        return;
    }
    m_mark = false;
    QCoreApplication::instance()->removeEventFilter(this);
    if (!m_pointerInside) {
        Set(false);
    }
}

bool HoverLook::PointerIsOver() const {
    return m_button.rect().contains(m_button.mapFromGlobal(QCursor::pos()));
}

bool HoverLook::eventFilter(QObject* watched, QEvent* event) {
    if (m_mark && event->type() == QEvent::MouseMove && watched->isWidgetType()) {
        const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        if (!m_button.rect().contains(m_button.mapFromGlobal(global))) {
            m_pointerInside = false;
            EndMark();
        }
    }
    return QObject::eventFilter(watched, event);
}

void HoverLook::FocusLost() {
    if (m_mark) {
        m_pointerInside = PointerIsOver();
        EndMark();
    }
}

void HoverLook::PointerEntered() {
    m_pointerInside = true;
    m_button.update();
}

void HoverLook::PointerMoved(bool inside) {
    if (inside && !m_pointerInside) {
        m_pointerInside = true;
        m_button.update();
    } else if (!inside && (m_pointerInside || m_hover)) {
        PointerLeft();
    }
}

void HoverLook::PointerLeft() {
    m_pointerInside = false;
    m_hover = false;
    EndMark();
    m_button.update();
}
