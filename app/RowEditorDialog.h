#pragma once

#include <QDialog>

#include <QString>

#include <cstdint>
#include <memory>
#include <string>

#include "convert/PeakOverview.h"
#include "convert/VoiceLoad.h"
#include "core/SlotModel.h"

#include "jobs/JobRunner.h"
class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QVBoxLayout;
class RowShapeBox;
class RowWaveformPane;

// Chooses the part of a loaded row's file that goes into the row, its
// shape and its level: the file's waveform with the row marked as a window
// the user drags, a detail that zooms to single samples with markers for
// the start, the end and the fades, the start, length and end typed as
// m:ss.mmm, "Start at first sound", "End after last sound", snap, reverse,
// pitch and fades, "Normalize to" or "Loudness", the row as it will sound
// drawn below, and Play and Stop of it. The dialog changes nothing of the
// row: its caller loads the row with Options() after OK.
//
// The file is read off the GUI thread, by the dialog's own runner: its probe
// and the first sound are jobs of its Probe lane, the audition of its
// Audition lane, and the waveform a job of its Waveform lane shown as it
// arrives. While a probe or an audition runs, the controls it would race
// wait; closing the dialog cancels its jobs. The window's rows are never
// marked busy by the dialog.
class RowEditorDialog : public QDialog {
    Q_OBJECT
public:
    // model: holds the row (slot) and plays auditions; it must outlive the
    // dialog. The dialog's reads run on a job runner of its own.
    RowEditorDialog(SlotModel& model, int slot, QWidget* parent = nullptr);
    // What exec() returns when "Slice across rows..." was pressed.
    static constexpr int SliceAsked = 2;
    ~RowEditorDialog() override;

    // Places the dialog beside row (a widget of the window) rather than
    // over it, on the side with more room.
    void KeepVisible(const QWidget* row);

    // The options the choice makes: default when the row starts at the
    // file's first frame and is not normalised.
    [[nodiscard]] VoiceOptions Options() const;

    // The start chosen, in source frames; moves it as the user would
    // (clamped to the file; a start at the first sound is then dropped).
    [[nodiscard]] int64_t StartFrame() const { return m_start; }
    void MoveStart(int64_t frame);
    // "Start at first sound": looked for by a job; the start moves when
    // it ends.
    void StartAtFirstSound();
    // True once the whole waveform is shown.
    [[nodiscard]] bool IsWaveformReady() const;
    // A job the controls wait for runs (probe, first sound, audition).
    [[nodiscard]] bool IsBusy() const;
    // Why the waveform could not be shown; empty while it is fine.
    [[nodiscard]] const QString& WaveformFailure() const;

    [[nodiscard]] QPushButton* FirstSoundButton() const { return m_firstSoundButton; }
    [[nodiscard]] QCheckBox* NormalizeBox() const { return m_normalize; }
    [[nodiscard]] QCheckBox* LoudnessBox() const { return m_loudness; }
    [[nodiscard]] QDoubleSpinBox* LoudnessLevelBox() const { return m_loudnessLevel; }
    [[nodiscard]] RowShapeBox* ShapeBox() const { return m_shape; }

    void done(int result) override;

private:
    void BuildWidgets();
    void BuildControls(QVBoxLayout* layout);
    void ConnectWidgets();
    void Probe();
    void Probed(bool readable, const SourceInfo& info, const QString& why);
    void Step(int direction, bool large);
    void ShowStart();
    void Play();
    // Enables what a running job would race and shows the busy mark.
    void UpdateBusy();

    SlotModel& m_model;
    const int m_slot;
    const std::string m_path;
    const bool m_convert;
    SourceInfo m_info;
    bool m_probed = false;
    bool m_readable = false;
    int64_t m_start = 0;
    bool m_firstSound = false;  // the start is the first sound's, kept as such
    // The part's length in source frames; 0 up to the row's limit. Kept in
    // nanoseconds until the file's rate is known.
    int64_t m_length = 0;
    int64_t m_lengthNanoseconds = 0;

    RowWaveformPane* m_waveforms = nullptr;
    RowShapeBox* m_shape = nullptr;
    QLabel* m_startText = nullptr;
    QLabel* m_lengthText = nullptr;
    QLabel* m_busyText = nullptr;
    QPushButton* m_firstSoundButton = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_ok = nullptr;
    QCheckBox* m_normalize = nullptr;
    QDoubleSpinBox* m_level = nullptr;
    QCheckBox* m_loudness = nullptr;  // exclusive with m_normalize
    QDoubleSpinBox* m_loudnessLevel = nullptr;
    // Last: its jobs end before anything they report to goes.
    JobRunner m_jobs;
};
