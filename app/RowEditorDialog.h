#pragma once

#include <QDialog>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "app/model/SlotModel.h"
#include "convert/PeakOverview.h"
#include "convert/VoiceLoad.h"

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class WaveformView;

// Chooses the part of a loaded row's file that goes into the row and its
// level: the file's waveform with the row marked as a window the user
// drags, a detail around the window, "Start at first sound", "Normalize
// to" or "Loudness", and Play and Stop of the row as it would sound. The dialog changes
// nothing of the row: its caller loads the row with Options() after OK.
//
// The waveform is computed once, on a thread of the dialog's own, and
// shown as it arrives; closing the dialog stops that thread and waits for
// it.
class RowEditorDialog : public QDialog {
    Q_OBJECT
public:
    // model: holds the row (slot) and plays auditions; must outlive the
    // dialog.
    RowEditorDialog(SlotModel& model, int slot, QWidget* parent = nullptr);
    ~RowEditorDialog() override;

    // The options the choice makes: default when the row starts at the
    // file's first frame and is not normalised.
    [[nodiscard]] VoiceOptions Options() const;

    // The start chosen, in source frames; moves it as the user would
    // (clamped to the file; a start at the first sound is then dropped).
    [[nodiscard]] int64_t StartFrame() const { return m_start; }
    void MoveStart(int64_t frame);
    // "Start at first sound".
    void StartAtFirstSound();
    // True once the whole waveform is shown.
    [[nodiscard]] bool IsWaveformReady() const { return m_ready; }

    [[nodiscard]] QPushButton* FirstSoundButton() const { return m_firstSoundButton; }
    [[nodiscard]] QCheckBox* NormalizeBox() const { return m_normalize; }
    [[nodiscard]] QDoubleSpinBox* LevelBox() const { return m_level; }
    [[nodiscard]] QCheckBox* LoudnessBox() const { return m_loudness; }
    [[nodiscard]] QDoubleSpinBox* LoudnessLevelBox() const { return m_loudnessLevel; }

    void done(int result) override;

private:
    void BuildWidgets();
    void StartOverview();
    void StopOverview();
    void TakeBins(const std::vector<PeakBin>& bins, int64_t framesDone, bool last,
                  const QString& failure);
    void Step(int direction, bool large);
    void ShowStart();
    void Play();
    [[nodiscard]] int64_t WindowFrames() const;  // the longest row, in source frames

    SlotModel& m_model;
    const int m_slot;
    const std::string m_path;
    const bool m_convert;
    SourceInfo m_info;
    bool m_readable = false;
    int64_t m_start = 0;
    bool m_firstSound = false;  // the start is the first sound's, kept as such
    bool m_ready = false;

    std::vector<PeakBin> m_bins;  // the GUI thread's
    int64_t m_framesPerBin = 1;
    std::atomic<bool> m_cancel{false};
    std::thread m_worker;

    WaveformView* m_overview = nullptr;
    WaveformView* m_detail = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_startText = nullptr;
    QLabel* m_lengthText = nullptr;
    QPushButton* m_firstSoundButton = nullptr;
    QCheckBox* m_normalize = nullptr;
    QDoubleSpinBox* m_level = nullptr;
    QCheckBox* m_loudness = nullptr;  // exclusive with m_normalize
    QDoubleSpinBox* m_loudnessLevel = nullptr;
};
