#include "controls/SkinButton.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPainter>
#include <QThread>

#include "controls/DrawCentered.h"

CSkinButton::CSkinButton(QWidget* parent) : QAbstractButton(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    UpdateRegions();
}

bool CSkinButton::SetBitmaps(const QPixmap* normal, const QPixmap* pressed, const QPixmap* hover) {
    if (normal == nullptr || pressed == nullptr || hover == nullptr) {
        return false;
    }
    m_pBmpNormal.store(normal);
    m_pBmpPressed.store(pressed);
    m_pBmpHover.store(hover);
    return true;
}

void CSkinButton::SetFrameColor(const QColor& colour) {
    m_brFrame = colour;
}

void CSkinButton::UpdateRegions() {
    m_rcClient = rect();
    m_rcInner = m_rcClient.adjusted(1, 1, -1, -1);
}

void CSkinButton::SetHover(bool hover) {
    m_bHover.store(hover);
    Refresh();
}

void CSkinButton::ShowHoverMark() {
    SetHover(true);
    if (!m_hoverMark && QCoreApplication::instance() != nullptr) {
        m_hoverMark = true;
        QCoreApplication::instance()->installEventFilter(this);
    }
}

void CSkinButton::EndHoverMark() {
    if (!m_hoverMark) {
        return;
    }
    m_hoverMark = false;
    QCoreApplication::instance()->removeEventFilter(this);
    if (!m_bPointerInside) {
        SetHover(false);
    }
}

bool CSkinButton::eventFilter(QObject* watched, QEvent* event) {
    if (m_hoverMark && event->type() == QEvent::MouseMove && watched->isWidgetType()) {
        const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        if (!rect().contains(mapFromGlobal(global))) {
            m_bPointerInside = false;
            EndHoverMark();
        }
    }
    return QAbstractButton::eventFilter(watched, event);
}

void CSkinButton::focusOutEvent(QFocusEvent* event) {
    EndHoverMark();
    QAbstractButton::focusOutEvent(event);
}

void CSkinButton::Refresh() {
    if (QThread::currentThread() == thread()) {
        update();
    } else {
        // Never block: the GUI thread may be waiting for this very thread.
        QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
    }
}

QSize CSkinButton::sizeHint() const {
    if (const QPixmap* normal = m_pBmpNormal.load()) {
        return normal->deviceIndependentSize().toSize();
    }
    return {25, 25};
}

const QPixmap* CSkinButton::CurrentImage() const {
    if (isDown()) {
        return m_pBmpPressed.load();
    }
    // A disabled button hears no mouse, so only SetHover lights it.
    if (m_bHover.load() || (m_bPointerInside && isEnabled())) {
        return m_pBmpHover.load();
    }
    return m_pBmpNormal.load();
}

void CSkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect item = rect();
    painter.fillRect(item, palette().color(QPalette::Active, QPalette::Button));
    // The disabled state is not looked at: the owner gives a disabled
    // button its disabled images.
    if (const QPixmap* image = CurrentImage()) {
        (void)DrawCentered(&painter, item.left(), item.top(), item.left() + item.width(),
                           item.top() + item.height(), image);
    }
    m_bFocusFrame = hasFocus();
    if (m_bFocusFrame && m_rcInner.isValid()) {
        const QRect r = m_rcInner;
        painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), m_brFrame);
        painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), m_brFrame);
        painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), m_brFrame);
        painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), m_brFrame);
    }
}

void CSkinButton::PointerLeft() {
    m_bPointerInside = false;
    m_bHover.store(false);
    EndHoverMark();
    Refresh();
}

void CSkinButton::mouseMoveEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    if (inside && !m_bPointerInside) {
        m_bPointerInside = true;
        Refresh();
    } else if (!inside && (m_bPointerInside || m_bHover.load())) {
        PointerLeft();
    }
    QAbstractButton::mouseMoveEvent(event);
}

void CSkinButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_bMouseDown = true;
    }
    QAbstractButton::mousePressEvent(event);
}

void CSkinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_bMouseDown = false;
    }
    QAbstractButton::mouseReleaseEvent(event);
    if (!rect().contains(event->position().toPoint())) {
        PointerLeft();
    }
}

void CSkinButton::enterEvent(QEnterEvent* event) {
    m_bPointerInside = true;
    Refresh();
    QAbstractButton::enterEvent(event);
}

void CSkinButton::leaveEvent(QEvent* event) {
    // While the left button is held the pointer belongs to this button;
    // its moves decide the look then.
    if (!m_bMouseDown) {
        PointerLeft();
    }
    QAbstractButton::leaveEvent(event);
}

void CSkinButton::keyPressEvent(QKeyEvent* event) {
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

void CSkinButton::resizeEvent(QResizeEvent* event) {
    UpdateRegions();
    QAbstractButton::resizeEvent(event);
}

void CSkinButton::dragEnterEvent(QDragEnterEvent* event) { HandleDragEnter(this, event); }
void CSkinButton::dragMoveEvent(QDragMoveEvent* event) { HandleDragMove(this, event); }
void CSkinButton::dragLeaveEvent(QDragLeaveEvent* event) { HandleDragLeave(this, event); }
void CSkinButton::dropEvent(QDropEvent* event) { HandleDrop(this, event); }

void CSkinButton::AfterDrop(QPoint point) {
    if (m_rcClient.contains(point)) {
        SetHover(true);
    }
}
