#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

#include "convert/VoiceLoad.h"

class JobRunner;
class QProgressBar;
class WaveformJob;
class WaveformView;

// The row editor's waveforms: the whole file with the row marked as a
// window the user drags, the progress of its reading, the detail that
// zooms down to single samples with the row's markers, and the row as it
// will sound. The file's overview is read by a WaveformJob on the owner's
// runner and drawn as it arrives; the detail's samples and the made row are
// jobs of the same runner (Waveform lanes 1 and 2), so the GUI thread never
// reads the file.
class RowWaveformPane : public QWidget {
    Q_OBJECT
public:
    // jobs reads the overview; it must outlive the pane's reads (a runner
    // waits for its jobs when it goes).
    explicit RowWaveformPane(JobRunner& jobs, QWidget* parent = nullptr);
    ~RowWaveformPane() override;

    // Reads the overview of the file at path, whose header gave info.
    void Read(const std::string& path, bool convert, const SourceInfo& info);
    // Stops the read; nothing more is drawn.
    void Stop();
    // Marks the row's frames start ... start + length and shows the detail
    // around them (window: the longest row, in the file's frames).
    void ShowRow(int64_t start, int64_t length, int64_t window);
    // Marks where the fade-in ends and the fade-out begins, in the file's
    // frames (-1: none).
    void ShowFades(int64_t fadeInEnd, int64_t fadeOutStart);
    // Makes the row with options, as it will be saved, off the GUI thread
    // and shows it; a newer call replaces one still running.
    void MakeRow(const VoiceOptions& options);
    // Whether a drag or a key may move the start.
    void SetMovable(bool movable);
    [[nodiscard]] WaveformView* Detail() const { return m_detail; }

    // True once the whole waveform is shown.
    [[nodiscard]] bool IsReady() const { return m_ready; }
    // Why the waveform could not be shown; empty while it is fine.
    [[nodiscard]] const QString& Failure() const { return m_failure; }

signals:
    // The user moved the start to frame (not yet clamped).
    void StartDragged(int64_t frame);
    // An arrow key: direction -1 or 1; large with Shift.
    void StepAsked(int direction, bool large);
    // A marker of the detail was dragged (WaveformView::MarkerDragged).
    void MarkerDragged(int marker, int64_t frame);

private:
    void Ended(const QString& failure);
    // Reads the samples of frames first ... first + count - 1 for the detail.
    void ReadSamples(int64_t first, int64_t count);

    JobRunner& m_jobs;
    WaveformView* m_overview = nullptr;
    WaveformView* m_detail = nullptr;
    WaveformView* m_made = nullptr;
    QProgressBar* m_progress = nullptr;
    std::string m_path;
    bool m_convert = false;
    bool m_detailPlaced = false;
    std::unique_ptr<WaveformJob> m_waveform;
    int64_t m_frames = 0;
    bool m_ready = false;
    QString m_failure;
};
