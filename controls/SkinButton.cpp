#include "controls/SkinButton.h"

#include <QKeyEvent>
#include <QPainter>

#include "controls/DrawCentered.h"

SkinButton::SkinButton(QWidget* parent) : QAbstractButton(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    UpdateRegions();
    SetReports({[this] { emit FileDragEntered(m_index); }, [this] { emit FileDragLeft(m_index); },
                [this](const QString& path) { emit FileDropped(m_index, path); },
                [this](const QStringList& paths) { emit FilesDropped(m_index, paths); },
                // A drop inside shows the hover look.
                [this](QPoint point) {
                    if (m_clientRect.contains(point)) {
                        SetHover(true);
                    }
                }});
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

void SkinButton::SetHover(bool hover) { m_look.Set(hover); }

void SkinButton::ShowHoverMark() { m_look.ShowMark(); }

void SkinButton::focusOutEvent(QFocusEvent* event) {
    m_look.FocusLost();
    QAbstractButton::focusOutEvent(event);
}

QSize SkinButton::sizeHint() const {
    if (const QPixmap* normal = m_normalImage) {
        return normal->deviceIndependentSize().toSize();
    }
    return {25, 25};
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect item = rect();
    painter.fillRect(item, palette().color(QPalette::Active, QPalette::Button));
    // The disabled state is not looked at: the owner gives a disabled
    // button its disabled images.
    // The image by state: pressed, hovered, else normal.
    const QPixmap* image = isDown()                    ? m_pressedImage
                           : m_look.IsLit(isEnabled()) ? m_hoverImage
                                                       : m_normalImage;
    if (image != nullptr) {
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

void SkinButton::mouseMoveEvent(QMouseEvent* event) {
    m_look.PointerMoved(rect().contains(event->position().toPoint()));
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
        m_look.PointerLeft();
    }
}

void SkinButton::enterEvent(QEnterEvent* event) {
    m_look.PointerEntered();
    QAbstractButton::enterEvent(event);
}

void SkinButton::leaveEvent(QEvent* event) {
    // While the left button is held the pointer belongs to this button;
    // its moves decide the look then.
    if (!m_mouseDown) {
        m_look.PointerLeft();
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
