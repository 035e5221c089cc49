#include "app/SliceView.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

#include "audio/AudioData.h"
#include "core/SlotModel.h"

namespace {

constexpr int RowRate = 44100;
constexpr double GrabPixels = 4.0;
const QColor Background(24, 28, 24);
const QColor Wave(255, 255, 0);
const QColor Marker(255, 96, 64);
const QColor CutOff(0, 0, 0, 150);
constexpr double TickPixels = 8.0;

}  // namespace

int64_t SliceView::RowLimitFrames(int rate) {
    return static_cast<int64_t>(MaxVoiceFrames) * rate / RowRate;
}

SliceView::SliceView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(600, 140);
    setMouseTracking(false);
}

void SliceView::SetSource(int64_t frames, int rate, std::vector<PeakBin> bins) {
    m_frames = frames;
    m_rate = rate;
    m_bins = std::move(bins);
    update();
}

void SliceView::SetMarkers(std::vector<int64_t> markers) {
    m_markers = std::move(markers);
    m_dragged = m_touched = -1;
    update();
}

void SliceView::SetFirstRow(int row) {
    m_firstRow = row;
    update();
}

double SliceView::XOf(int64_t frame) const {
    return m_frames > 0 ? static_cast<double>(frame) * width() / static_cast<double>(m_frames) : 0;
}

int64_t SliceView::FrameAt(double x) const {
    if (width() <= 0) return 0;
    const auto frame = static_cast<int64_t>(x * static_cast<double>(m_frames) / width());
    return std::clamp<int64_t>(frame, 0, std::max<int64_t>(0, m_frames - 1));
}

int SliceView::MarkerNear(double x) const {
    int best = -1;
    double distance = GrabPixels + 1;
    for (size_t i = 0; i < m_markers.size(); ++i) {
        const double d = std::abs(XOf(m_markers[i]) - x);
        if (d <= GrabPixels && d < distance) {
            best = static_cast<int>(i);
            distance = d;
        }
    }
    return best;
}

void SliceView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Background);
    const int h = height();
    const double middle = h / 2.0;
    painter.setPen(Wave);
    for (size_t i = 0; i < m_bins.size(); ++i) {
        const double x = static_cast<double>(i) * width() / static_cast<double>(m_bins.size());
        const double top = middle - m_bins[i].max1 * (middle - 14) / 32768.0;
        const double bottom = middle - m_bins[i].min1 * (middle - 14) / 32768.0;
        painter.drawLine(QPointF(x, top), QPointF(x, bottom));
    }
    const int64_t limit = RowLimitFrames(m_rate);
    // The markers up to the one that ends the last row's slice are drawn
    // whole; those after it, whose slices go to no row, only as ticks along
    // the bottom. A long file cut into thousands of slices was otherwise
    // solid marker colour, its sound and the rows' slices lost under it.
    const auto rowSlices = static_cast<size_t>(std::max(0, SlotCount - m_firstRow));
    const size_t rowMarkers = std::min(m_markers.size(), rowSlices + 1);
    for (size_t i = 0; i < m_markers.size(); ++i) {
        const int64_t start = m_markers[i];
        const double x = XOf(start);
        const bool touched = i == static_cast<size_t>(m_touched);
        painter.setPen(QPen(Marker, touched ? 3 : 1));
        if (i >= rowMarkers && !touched) {
            painter.drawLine(QPointF(x, h - TickPixels), QPointF(x, h));
            continue;
        }
        // Where the row's limit cuts a long slice: what is left out is shaded.
        const int64_t end = i + 1 < m_markers.size() ? m_markers[i + 1] : m_frames;
        if (i < rowSlices && end - start > limit)
            painter.fillRect(QRectF(XOf(start + limit), 0, XOf(end) - XOf(start + limit), h),
                             CutOff);
        painter.drawLine(QPointF(x, 0), QPointF(x, h));
    }
    // The numbers go over every marker, and one is left out where it would
    // run into the one before: on a busy loop the numbers of close slices
    // would overwrite each other, and the next markers cross them out.
    const QFontMetricsF metrics(painter.font());
    double labelsEnd = -1.0;
    painter.setPen(Qt::white);
    for (size_t i = 0; i < rowMarkers; ++i) {
        const double x = XOf(m_markers[i]);
        if (x + 3 < labelsEnd) continue;
        const int row = m_firstRow + static_cast<int>(i);
        const QString label = row < SlotCount ? QString::number(row + 1) : QStringLiteral("-");
        painter.drawText(QPointF(x + 3, 12), label);
        labelsEnd = x + 3 + metrics.horizontalAdvance(label) + 2;
    }
    if (hasFocus()) {
        painter.setPen(QPen(Qt::gray, 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void SliceView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const double x = event->position().x();
    m_dragged = MarkerNear(x);
    if (m_dragged >= 0) {
        m_pressedAt = m_markers[static_cast<size_t>(m_dragged)];
        m_touched = m_dragged;
        update();
        return;
    }
    // A press between markers picks that slice.
    const int64_t frame = FrameAt(x);
    const auto after = std::upper_bound(m_markers.begin(), m_markers.end(), frame);
    if (after != m_markers.begin())
        emit SliceClicked(static_cast<int>(after - m_markers.begin()) - 1);
}

std::pair<int64_t, int64_t> SliceView::Room(size_t i) const {
    // Between its neighbours: markers never meet or pass each other.
    return {i > 0 ? m_markers[i - 1] + 1 : 0,
            i + 1 < m_markers.size() ? m_markers[i + 1] - 1 : m_frames - 1};
}

void SliceView::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragged < 0) return;
    const auto i = static_cast<size_t>(m_dragged);
    const auto [low, high] = Room(i);
    if (low > high) return;
    m_markers[i] = std::clamp(FrameAt(event->position().x()), low, high);
    update();
}

void SliceView::mouseReleaseEvent(QMouseEvent*) {
    if (m_dragged < 0) return;
    const int64_t dropped = m_markers[static_cast<size_t>(m_dragged)];
    m_dragged = -1;
    emit MarkersEdited();
    // A marker only clicked (to be deleted) stays where it was.
    if (dropped != m_pressedAt) emit MarkerPut(dropped, PixelFrames(), false);
}

void SliceView::MoveMarker(int64_t from, int64_t to) {
    const auto at = std::lower_bound(m_markers.begin(), m_markers.end(), from);
    if (at == m_markers.end() || *at != from) return;
    const auto [low, high] = Room(static_cast<size_t>(at - m_markers.begin()));
    if (to < low || to > high) return;
    *at = to;
    update();
    emit MarkersEdited();
}

void SliceView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_frames <= 0) return;
    const double x = event->position().x();
    const int near = MarkerNear(x);
    int64_t added = -1;
    if (near >= 0) {
        m_markers.erase(m_markers.begin() + near);
    } else {
        const int64_t frame = FrameAt(x);
        const auto at = std::lower_bound(m_markers.begin(), m_markers.end(), frame);
        if (at == m_markers.end() || *at != frame) {
            m_markers.insert(at, frame);
            added = frame;
        }
    }
    m_dragged = m_touched = -1;
    update();
    emit MarkersEdited();
    if (added >= 0) emit MarkerPut(added, PixelFrames(), true);
}

int64_t SliceView::PixelFrames() const {
    return std::max<int64_t>(1, m_frames / std::max(1, width()));
}

void SliceView::keyPressEvent(QKeyEvent* event) {
    const int count = static_cast<int>(m_markers.size());
    const bool touched = m_touched >= 0 && m_touched < count;
    const int key = event->key();
    if ((key == Qt::Key_Delete || key == Qt::Key_Backspace) && touched) {
        m_markers.erase(m_markers.begin() + m_touched);
        m_touched = -1;
        update();
        emit MarkersEdited();
        return;
    }
    if ((key == Qt::Key_Left || key == Qt::Key_Right) && count > 0 &&
        event->modifiers() == Qt::NoModifier) {
        // The marker before or after the one touched (the first or last
        // when none is), and its slice plays as a click on it would.
        const int step = key == Qt::Key_Right ? 1 : -1;
        m_touched =
            touched ? std::clamp(m_touched + step, 0, count - 1) : (step > 0 ? 0 : count - 1);
        update();
        emit SliceClicked(m_touched);
        return;
    }
    if ((key == Qt::Key_Left || key == Qt::Key_Right) && touched &&
        event->modifiers() == Qt::ShiftModifier) {
        // A pixel's worth either way, never onto a neighbour; then onto a
        // zero crossing as a drag would be.
        const auto i = static_cast<size_t>(m_touched);
        const auto [low, high] = Room(i);
        if (low > high) return;
        const int64_t moved = std::clamp(
            m_markers[i] + (key == Qt::Key_Right ? PixelFrames() : -PixelFrames()), low, high);
        if (moved != m_markers[i]) {
            m_markers[i] = moved;
            update();
            emit MarkersEdited();
            emit MarkerPut(moved, PixelFrames(), false);
        }
        return;
    }
    QWidget::keyPressEvent(event);
}
