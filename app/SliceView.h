#pragma once

#include <QWidget>

#include <cstdint>
#include <utility>
#include <vector>

#include "convert/PeakOverview.h"

// The file's waveform with the slice markers: a double-click adds a marker
// (which the dialog may move onto the hit it was put by) or removes the
// one under it, a marker can be dragged, Delete removes the one last
// touched, and a click between markers picks that slice. Left and Right
// touch the marker before or after and pick its slice, Shift with them
// moves the touched marker by a pixel. Each slice shows the row it will
// fill and where the row's 1 s limit cuts it; the markers of slices past
// the last row are only ticks along the bottom.
class SliceView : public QWidget {
    Q_OBJECT
public:
    explicit SliceView(QWidget* parent = nullptr);

    void SetSource(int64_t frames, int rate, std::vector<PeakBin> bins);
    void SetMarkers(std::vector<int64_t> markers);
    [[nodiscard]] const std::vector<int64_t>& Markers() const { return m_markers; }
    // Row (0-based) of the first slice; slices past the last row get none.
    void SetFirstRow(int row);
    // Moves the marker at from to `to`, unless it is gone or would meet or
    // pass a neighbour.
    void MoveMarker(int64_t from, int64_t to);

    [[nodiscard]] QSize sizeHint() const override { return {600, 160}; }
    // Source frames a row can hold at most, at rate.
    [[nodiscard]] static int64_t RowLimitFrames(int rate);

signals:
    void MarkersEdited();
    // A double click added (added) or a drag dropped a marker at frame,
    // where a pixel spans pixelFrames frames of the source.
    void MarkerPut(int64_t frame, int64_t pixelFrames, bool added);
    void SliceClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    [[nodiscard]] int64_t FrameAt(double x) const;
    [[nodiscard]] double XOf(int64_t frame) const;
    [[nodiscard]] int MarkerNear(double x) const;  // -1 when none
    [[nodiscard]] int64_t PixelFrames() const;     // source frames a pixel spans
    // The frames marker i may take: from just after the one before it to
    // just before the one after it.
    [[nodiscard]] std::pair<int64_t, int64_t> Room(size_t i) const;

    int64_t m_frames = 0;
    int m_rate = 0;
    std::vector<PeakBin> m_bins;
    std::vector<int64_t> m_markers;  // ascending
    int m_firstRow = 0;
    int m_dragged = -1;
    int64_t m_pressedAt = -1;  // where the dragged marker was when pressed
    int m_touched = -1;
};
