#pragma once

#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

#include "convert/PeakOverview.h"

// Draws a sound file's waveform from its peak overview (both channels of a
// stereo file, one above the other) over a range of its frames, with the
// row's part marked as a window. The whole-file view lets the user drag
// that window. The detail view zooms (wheel, + and -, 0 for the whole
// file) from the whole file down to single samples, drawn from samples its
// owner reads for it (SamplesWanted); a drag pans it (Shift+wheel and Page
// Up/Down scroll), and the markers of the start, the end and the fades can
// be dragged at any zoom. In both a drag to the right moves the start
// later. Arrow keys ask for steps. Frames are the source's.
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
    // Where the fade-in ends and the fade-out begins (-1: no marker).
    void SetFadeMarks(int64_t fadeInEnd, int64_t fadeOutStart);
    // The samples of frames first ... first + count - 1, channels 1 and 2
    // interleaved, for drawing single samples; ignored unless they cover
    // the visible range.
    void SetSamples(int64_t first, int64_t count, std::vector<int16_t> interleaved);
    [[nodiscard]] int64_t VisibleFirst() const { return m_first; }
    [[nodiscard]] int64_t VisibleCount() const { return m_count; }
    // The detail view: zooms by factor (below 1: in) around x.
    void ZoomAt(double x, double factor);

    [[nodiscard]] QSize sizeHint() const override { return {640, 120}; }

signals:
    // The user moved the start to frame (not yet clamped).
    void StartDragged(int64_t frame);
    // An arrow key: direction -1 or 1; large with Shift.
    void StepAsked(int direction, bool large);
    // A marker was dragged to frame: the end (1), the fade-in's end (2) or
    // the fade-out's start (3); the start's marker gives StartDragged.
    void MarkerDragged(int marker, int64_t frame);
    // The detail view shows other frames and draws them finer than its
    // bins: their samples are wanted (SetSamples).
    void SamplesWanted(int64_t first, int64_t count);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    [[nodiscard]] int64_t FrameAt(double x) const;
    [[nodiscard]] double XOf(int64_t frame) const;
    void DrawLane(class QPainter& painter, const QRect& lane, bool second) const;
    // Draws the lane's single samples; false when they are not at hand.
    bool DrawSamples(class QPainter& painter, const QRect& lane, bool second) const;
    void DrawMarkers(class QPainter& painter) const;
    // The marker within a few pixels of x (0 start, 1 end, 2 fade-in,
    // 3 fade-out); -1 for none.
    [[nodiscard]] int MarkerAt(double x) const;
    // The detail view shows frames first ... first + count - 1 (kept
    // within the file and the zoom's limits) and asks for their samples.
    void ShowFrames(int64_t first, int64_t count);

    DragMoves m_drag;
    int64_t m_total = 0;
    int64_t m_framesPerBin = 1;
    bool m_stereo = true;
    std::shared_ptr<const std::vector<PeakBin>> m_bins;
    int64_t m_first = 0;
    int64_t m_count = 1;
    int64_t m_start = 0;
    int64_t m_length = 0;
    int64_t m_fadeInEnd = -1;
    int64_t m_fadeOutStart = -1;
    std::vector<int16_t> m_samples;  // channels 1 and 2 of m_samplesFirst on
    int64_t m_samplesFirst = 0;
    int64_t m_samplesCount = 0;
    // While dragging: the marker held (-1: the window or the view): where the press was and the
    // start then.
    bool m_dragging = false;
    int m_marker = -1;
    double m_pressX = 0;
    int64_t m_pressStart = 0;
    int64_t m_pressFirst = 0;
};
