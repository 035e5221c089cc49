#include "app/WaveformView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

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
const QColor FadeMark(0, 220, 255);

// The closest zoom: 16 frames across the view, each sample tens of pixels
// wide.
constexpr int64_t FewestFrames = 16;
// How near a press must come to a marker to take it, in pixels.
constexpr double MarkerReach = 5;

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
    if (m_drag == DragMoves::Waveform) {
        ShowFrames(first, count);
        return;
    }
    m_first = first;
    m_count = std::max<int64_t>(count, 1);
    update();
}

void WaveformView::ShowFrames(int64_t first, int64_t count) {
    m_count = std::clamp<int64_t>(count, FewestFrames, std::max(m_total, FewestFrames));
    // Half a view of room either side of the file, no more.
    m_first = std::clamp<int64_t>(first, -m_count / 2, std::max<int64_t>(m_total - m_count / 2, 0));
    update();
    const bool finerThanBins = m_count < int64_t{std::max(width(), 1)} * m_framesPerBin;
    const bool covered =
        m_samplesFirst <= m_first && m_first + m_count <= m_samplesFirst + m_samplesCount;
    if (finerThanBins && !covered) emit SamplesWanted(m_first, m_count);
}

void WaveformView::ZoomAt(double x, double factor) {
    const int64_t anchor = FrameAt(x);
    const auto count = static_cast<int64_t>(std::llround(static_cast<double>(m_count) * factor));
    const int64_t wanted =
        std::clamp<int64_t>(count, FewestFrames, std::max(m_total, FewestFrames));
    const double share = x / std::max(width(), 1);
    ShowFrames(anchor - static_cast<int64_t>(share * static_cast<double>(wanted)), wanted);
}

void WaveformView::SetFadeMarks(int64_t fadeInEnd, int64_t fadeOutStart) {
    m_fadeInEnd = fadeInEnd;
    m_fadeOutStart = fadeOutStart;
    update();
}

void WaveformView::SetSamples(int64_t first, int64_t count, std::vector<int16_t> interleaved) {
    if (interleaved.size() < static_cast<size_t>(std::max<int64_t>(count, 0)) * 2) return;
    m_samplesFirst = first;
    m_samplesCount = count;
    m_samples = std::move(interleaved);
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

bool WaveformView::DrawSamples(QPainter& painter, const QRect& lane, bool second) const {
    const bool finerThanBins = m_count < int64_t{std::max(width(), 1)} * m_framesPerBin;
    const int64_t first = std::max<int64_t>(m_first, 0);
    const int64_t last = std::min(m_first + m_count, m_total);  // past the last drawn
    if (!finerThanBins || first < m_samplesFirst || last > m_samplesFirst + m_samplesCount)
        return false;
    const double mid = lane.center().y();
    const double half = lane.height() / 2.0 - 1;
    const double wide = static_cast<double>(width()) / static_cast<double>(m_count);
    QPainterPath path;
    for (int64_t f = first; f < last; ++f) {
        const auto i = static_cast<size_t>(f - m_samplesFirst) * 2 + (second ? 1 : 0);
        const QPointF point(XOf(f) + wide / 2, mid - m_samples[i] / 32768.0 * half);
        if (f == first) {
            path.moveTo(point);
        } else {
            path.lineTo(point);
        }
        // Each sample shows as a dot once there is room for one.
        if (wide >= 6) painter.fillRect(QRectF(point.x() - 1.5, point.y() - 1.5, 3, 3), Wave);
    }
    painter.setPen(QPen(Wave, 1));
    painter.drawPath(path);
    return true;
}

void WaveformView::DrawLane(QPainter& painter, const QRect& lane, bool second) const {
    const double mid = lane.center().y();
    const double half = lane.height() / 2.0 - 1;
    painter.setPen(Axis);
    painter.drawLine(QPointF(0, mid), QPointF(width(), mid));
    if (DrawSamples(painter, lane, second)) return;
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
    DrawMarkers(painter);
    if (hasFocus()) {
        painter.setPen(QPen(Axis, 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void WaveformView::DrawMarkers(QPainter& painter) const {
    const int h = height();
    painter.setPen(QPen(FadeMark, 1));
    // Each fade as its ramp of gain, from silence at the part's nearer edge
    // (a reversed row fades in at its part's end) to full at its marker.
    const int64_t end = m_start + m_length;
    for (const int64_t mark : {m_fadeInEnd, m_fadeOutStart}) {
        if (mark < 0) continue;
        const int64_t edge = std::abs(mark - m_start) <= std::abs(end - mark) ? m_start : end;
        painter.drawLine(QPointF(XOf(edge), h), QPointF(XOf(mark), 0));
        painter.drawLine(QPointF(XOf(mark), 0), QPointF(XOf(mark), h));
    }
}

int WaveformView::MarkerAt(double x) const {
    // The start and end first: a fade of 0 lies on top of them (its box
    // sets it then).
    const int64_t frames[] = {m_start, m_start + m_length, m_fadeInEnd, m_fadeOutStart};
    for (const int marker : {0, 1, 2, 3}) {
        const int64_t frame = frames[marker];
        if (frame >= 0 && std::abs(XOf(frame) - x) <= MarkerReach) return marker;
    }
    return -1;
}

void WaveformView::wheelEvent(QWheelEvent* event) {
    if (m_drag != DragMoves::Waveform) {
        QWidget::wheelEvent(event);
        return;
    }
    const QPoint delta = event->angleDelta();
    const bool scroll = delta.x() != 0 || (event->modifiers() & Qt::ShiftModifier) != 0;
    const int notches = (delta.x() != 0 ? delta.x() : delta.y()) / 120;
    if (notches == 0) return;
    if (scroll) {
        ShowFrames(m_first - notches * std::max<int64_t>(m_count / 8, 1), m_count);
    } else {
        ZoomAt(event->position().x(), notches > 0 ? 0.5 : 2.0);
    }
    event->accept();
}

void WaveformView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const double x = event->position().x();
    m_pressStart = m_start;
    m_pressFirst = m_first;
    m_marker = m_drag == DragMoves::Waveform ? MarkerAt(x) : -1;
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
    if (m_marker == 0) {
        emit StartDragged(FrameAt(event->position().x()));
    } else if (m_marker > 0) {
        emit MarkerDragged(m_marker, FrameAt(event->position().x()));
    } else if (m_drag == DragMoves::Waveform) {
        // Panning: the waveform follows the mouse.
        ShowFrames(m_pressFirst - frames, m_count);
    } else {
        emit StartDragged(m_pressStart + frames);
    }
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
    } else if (m_drag == DragMoves::Waveform &&
               (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Equal)) {
        ZoomAt(width() / 2.0, 0.5);
    } else if (m_drag == DragMoves::Waveform && event->key() == Qt::Key_Minus) {
        ZoomAt(width() / 2.0, 2.0);
    } else if (m_drag == DragMoves::Waveform && event->key() == Qt::Key_0) {
        ShowFrames(0, m_total);
    } else if (m_drag == DragMoves::Waveform &&
               (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown)) {
        const int64_t half = std::max<int64_t>(m_count / 2, 1);
        ShowFrames(m_first + (event->key() == Qt::Key_PageUp ? -half : half), m_count);
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}
