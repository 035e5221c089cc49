#pragma once

#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

#include "convert/PeakOverview.h"

// Draws a sound file's waveform from its peak overview (both channels of a
// stereo file, one above the other) over a range of its frames, with the
// row's part marked as a window. The whole-file view lets the user drag
// that window; the detail view keeps the window still and the waveform
// scrolls under it. In both a drag to the right moves the start later. Arrow keys ask for steps.
// Frames are the source's.
class WaveformView : public QWidget {
    Q_OBJECT
public:
    enum class DragMoves { Window, Waveform };

    explicit WaveformView(DragMoves drag, QWidget* parent = nullptr);

    // The file's length and the bins' size; bins is read at every paint
    // (its owner appends to it on this thread). stereo: two lanes, else one.
    void SetSource(int64_t totalFrames, int64_t framesPerBin, bool stereo,
                   std::shared_ptr<const std::vector<PeakBin>> bins);
    // The frames shown: first ... first + count - 1 (may reach outside
    // the file, drawn empty).
    void SetVisibleRange(int64_t first, int64_t count);
    void SetSelection(int64_t start, int64_t length);

    [[nodiscard]] QSize sizeHint() const override { return {640, 120}; }

signals:
    // The user moved the start to frame (not yet clamped).
    void StartDragged(int64_t frame);
    // An arrow key: direction -1 or 1; large with Shift.
    void StepAsked(int direction, bool large);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    [[nodiscard]] int64_t FrameAt(double x) const;
    [[nodiscard]] double XOf(int64_t frame) const;
    void DrawLane(class QPainter& painter, const QRect& lane, bool second) const;

    DragMoves m_drag;
    int64_t m_total = 0;
    int64_t m_framesPerBin = 1;
    bool m_stereo = true;
    std::shared_ptr<const std::vector<PeakBin>> m_bins;
    int64_t m_first = 0;
    int64_t m_count = 1;
    int64_t m_start = 0;
    int64_t m_length = 0;
    // While dragging: where the press was and the start then.
    bool m_dragging = false;
    double m_pressX = 0;
    int64_t m_pressStart = 0;
};
