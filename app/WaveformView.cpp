#include "app/WaveformView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace {

// The dark plate and yellow lettering of the panel's name display.
const QColor Background(38, 40, 38);
const QColor Wave(255, 255, 0);
const QColor WaveOutside(120, 122, 60);
const QColor WindowFill(255, 255, 255, 40);
const QColor WindowEdge(255, 255, 255);
const QColor Axis(80, 82, 80);

}  // namespace

WaveformView::WaveformView(DragMoves drag, QWidget* parent) : QWidget(parent), m_drag(drag) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumHeight(80);
    setCursor(drag == DragMoves::Window ? Qt::PointingHandCursor : Qt::OpenHandCursor);
}

void WaveformView::SetSource(int64_t totalFrames, int64_t framesPerBin, bool stereo,
                             std::shared_ptr<const std::vector<PeakBin>> bins) {
    m_stereo = stereo;
    m_total = std::max<int64_t>(totalFrames, 0);
    m_framesPerBin = std::max<int64_t>(framesPerBin, 1);
    m_bins = std::move(bins);
    update();
}

void WaveformView::SetVisibleRange(int64_t first, int64_t count) {
    m_first = first;
    m_count = std::max<int64_t>(count, 1);
    update();
}

void WaveformView::SetSelection(int64_t start, int64_t length) {
    m_start = start;
    m_length = length;
    update();
}

int64_t WaveformView::FrameAt(double x) const {
    const double w = std::max(width(), 1);
    return m_first + static_cast<int64_t>(x * static_cast<double>(m_count) / w);
}

double WaveformView::XOf(int64_t frame) const {
    return static_cast<double>(frame - m_first) * width() / static_cast<double>(m_count);
}

void WaveformView::DrawLane(QPainter& painter, const QRect& lane, bool second) const {
    const double mid = lane.center().y();
    const double half = lane.height() / 2.0 - 1;
    painter.setPen(Axis);
    painter.drawLine(QPointF(0, mid), QPointF(width(), mid));
    if (m_bins == nullptr || m_bins->empty()) return;
    const auto binCount = static_cast<int64_t>(m_bins->size());
    for (int x = 0; x < width(); ++x) {
        const int64_t f0 = FrameAt(x);
        const int64_t f1 = std::max(FrameAt(x + 1), f0 + 1);
        if (f1 <= 0 || f0 >= m_total) continue;
        const int64_t b0 = std::max<int64_t>(f0, 0) / m_framesPerBin;
        const int64_t b1 = std::min((f1 + m_framesPerBin - 1) / m_framesPerBin, binCount);
        if (b0 >= b1) continue;
        int lo = 32767, hi = -32768;
        for (int64_t b = b0; b < b1; ++b) {
            const PeakBin& bin = (*m_bins)[static_cast<size_t>(b)];
            lo = std::min<int>(lo, second ? bin.min2 : bin.min1);
            hi = std::max<int>(hi, second ? bin.max2 : bin.max1);
        }
        const bool inside = f1 > m_start && f0 < m_start + m_length;
        painter.setPen(inside ? Wave : WaveOutside);
        painter.drawLine(QPointF(x + 0.5, mid - hi / 32768.0 * half),
                         QPointF(x + 0.5, mid - lo / 32768.0 * half));
    }
}

void WaveformView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Background);
    const int h = height();
    if (m_stereo) {
        DrawLane(painter, QRect(0, 0, width(), h / 2), false);
        DrawLane(painter, QRect(0, h / 2, width(), h - h / 2), true);
    } else {
        DrawLane(painter, rect(), false);
    }
    // The row's part.
    const double left = XOf(m_start);
    // Never thinner than 3 px: a short row in a long file stays visible.
    const double right = std::max(XOf(m_start + m_length), left + 3);
    painter.fillRect(QRectF(left, 0, right - left, h), WindowFill);
    painter.setPen(QPen(WindowEdge, 1));
    painter.drawLine(QPointF(left, 0), QPointF(left, h));
    painter.drawLine(QPointF(right, 0), QPointF(right, h));
    if (hasFocus()) {
        painter.setPen(QPen(Axis, 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void WaveformView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const double x = event->position().x();
    m_pressStart = m_start;
    if (m_drag == DragMoves::Window) {
        const int64_t frame = FrameAt(x);
        // A press outside the window centres it there first.
        if (frame < m_start || frame >= m_start + m_length) {
            emit StartDragged(frame - m_length / 2);
            m_pressStart = m_start;  // as the receiver placed it
        }
    } else {
        setCursor(Qt::ClosedHandCursor);
    }
    m_pressX = x;
    m_dragging = true;
    event->accept();
}

void WaveformView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) return;
    const double dx = event->position().x() - m_pressX;
    const auto frames =
        static_cast<int64_t>(dx * static_cast<double>(m_count) / std::max(width(), 1));
    // Both views move the start the way the mouse goes.
    emit StartDragged(m_pressStart + frames);
    event->accept();
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    if (m_drag == DragMoves::Waveform) setCursor(Qt::OpenHandCursor);
    event->accept();
}

void WaveformView::keyPressEvent(QKeyEvent* event) {
    const bool large = (event->modifiers() & Qt::ShiftModifier) != 0;
    if (event->key() == Qt::Key_Left) {
        emit StepAsked(-1, large);
    } else if (event->key() == Qt::Key_Right) {
        emit StepAsked(1, large);
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}
