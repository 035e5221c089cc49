#include "controls/SkinButton.h"

#include <QCoreApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QPainter>

#include "controls/DrawCentered.h"

SkinButton::SkinButton(QWidget* parent) : QAbstractButton(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    UpdateRegions();
}

bool SkinButton::SetBitmaps(const QPixmap* normal, const QPixmap* pressed, const QPixmap* hover) {
    if (normal == nullptr || pressed == nullptr || hover == nullptr) {
        return false;
    }
    m_normalImage = normal;
    m_pressedImage = pressed;
    m_hoverImage = hover;
    return true;
}

void SkinButton::SetFrameColor(const QColor& colour) { m_frameColor = colour; }

void SkinButton::UpdateRegions() {
    m_clientRect = rect();
    m_innerRect = m_clientRect.adjusted(1, 1, -1, -1);
}

void SkinButton::SetHover(bool hover) {
    m_hover = hover;
    Refresh();
}

void SkinButton::ShowHoverMark() {
    // The pointer may have left while a dialog was up, unseen by the button.
    m_pointerInside = PointerIsOver();
    SetHover(true);
    if (!m_hoverMark && QCoreApplication::instance() != nullptr) {
        m_hoverMark = true;
        QCoreApplication::instance()->installEventFilter(this);
    }
}

void SkinButton::EndHoverMark() {
    if (!m_hoverMark) {
        return;
    }
    m_hoverMark = false;
    QCoreApplication::instance()->removeEventFilter(this);
    if (!m_pointerInside) {
        SetHover(false);
    }
}

bool SkinButton::PointerIsOver() const { return rect().contains(mapFromGlobal(QCursor::pos())); }

bool SkinButton::eventFilter(QObject* watched, QEvent* event) {
    if (m_hoverMark && event->type() == QEvent::MouseMove && watched->isWidgetType()) {
        const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        if (!rect().contains(mapFromGlobal(global))) {
            m_pointerInside = false;
            EndHoverMark();
        }
    }
    return QAbstractButton::eventFilter(watched, event);
}

void SkinButton::focusOutEvent(QFocusEvent* event) {
    if (m_hoverMark) {
        m_pointerInside = PointerIsOver();
        EndHoverMark();
    }
    QAbstractButton::focusOutEvent(event);
}

void SkinButton::Refresh() { update(); }

QSize SkinButton::sizeHint() const {
    if (const QPixmap* normal = m_normalImage) {
        return normal->deviceIndependentSize().toSize();
    }
    return {25, 25};
}

const QPixmap* SkinButton::CurrentImage() const {
    if (isDown()) {
        return m_pressedImage;
    }
    // A disabled button hears no mouse, so only SetHover lights it.
    if (m_hover || (m_pointerInside && isEnabled())) {
        return m_hoverImage;
    }
    return m_normalImage;
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect item = rect();
    painter.fillRect(item, palette().color(QPalette::Active, QPalette::Button));
    // The disabled state is not looked at: the owner gives a disabled
    // button its disabled images.
    if (const QPixmap* image = CurrentImage()) {
        (void)DrawCentered(&painter, item.left(), item.top(), item.left() + item.width(),
                           item.top() + item.height(), image);
    }
    m_focusFrame = hasFocus();
    if (m_focusFrame && m_innerRect.isValid()) {
        const QRect r = m_innerRect;
        painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), m_frameColor);
        painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), m_frameColor);
        painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), m_frameColor);
        painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), m_frameColor);
    }
}

void SkinButton::PointerLeft() {
    m_pointerInside = false;
    m_hover = false;
    EndHoverMark();
    Refresh();
}

void SkinButton::mouseMoveEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    if (inside && !m_pointerInside) {
        m_pointerInside = true;
        Refresh();
    } else if (!inside && (m_pointerInside || m_hover)) {
        PointerLeft();
    }
    QAbstractButton::mouseMoveEvent(event);
}

void SkinButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_mouseDown = true;
    }
    QAbstractButton::mousePressEvent(event);
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_mouseDown = false;
    }
    QAbstractButton::mouseReleaseEvent(event);
    if (!rect().contains(event->position().toPoint())) {
        PointerLeft();
    }
}

void SkinButton::enterEvent(QEnterEvent* event) {
    m_pointerInside = true;
    Refresh();
    QAbstractButton::enterEvent(event);
}

void SkinButton::leaveEvent(QEvent* event) {
    // While the left button is held the pointer belongs to this button;
    // its moves decide the look then.
    if (!m_mouseDown) {
        PointerLeft();
    }
    QAbstractButton::leaveEvent(event);
}

void SkinButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Only a fresh press clicks: a held key would otherwise click again
        // with every repeat (and a repeat that began in a dialog that has
        // just closed would click this button).
        if (!event->isAutoRepeat()) click();
        // Not swallowed: the key goes on to the dialog.
        event->ignore();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void SkinButton::resizeEvent(QResizeEvent* event) {
    UpdateRegions();
    QAbstractButton::resizeEvent(event);
}

void SkinButton::dragEnterEvent(QDragEnterEvent* event) { HandleDragEnter(this, event); }
void SkinButton::dragMoveEvent(QDragMoveEvent* event) { HandleDragMove(this, event); }
void SkinButton::dragLeaveEvent(QDragLeaveEvent* event) { HandleDragLeave(this, event); }
void SkinButton::dropEvent(QDropEvent* event) { HandleDrop(this, event); }

void SkinButton::AfterDrop(QPoint point) {
    if (m_clientRect.contains(point)) {
        SetHover(true);
    }
}
