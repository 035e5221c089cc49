#pragma once

#include <QDialog>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/Onsets.h"
#include "convert/PeakOverview.h"
#include "convert/VoiceLoad.h"
#include "core/SlotModel.h"

#include "app/SliceView.h"

class JobRunner;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

// "Slice across rows...": finds the hits of a row's file and fills
// consecutive rows with one slice each, as start and length options of the
// same file. The file is read and analysed on a worker; the markers follow
// the sensitivity as it moves and can be edited by hand. The dialog changes
// no row: its caller loads Rows() after Apply.
class SliceDialog : public QDialog {
    Q_OBJECT
public:
    // model: holds the row (slot) and plays auditions; must outlive the
    // dialog.
    SliceDialog(SlotModel& model, int slot, QWidget* parent = nullptr);
    ~SliceDialog() override;

    // The rows to fill (0-based) and how, in order; only rows up to the
    // last.
    struct RowFill {
        int slot;
        VoiceOptions options;
    };
    [[nodiscard]] std::vector<RowFill> Rows() const;
    [[nodiscard]] const std::string& Path() const { return m_path; }
    // The slices that find no row.
    [[nodiscard]] int LeftOut() const;

    [[nodiscard]] bool IsAnalysed() const { return m_analysis != nullptr; }
    [[nodiscard]] SliceView* View() const { return m_view; }
    [[nodiscard]] QSlider* SensitivitySlider() const { return m_sensitivity; }
    // What the controls choose now.
    [[nodiscard]] SliceSettings Settings() const;
    // Chooses settings in the controls; the markers follow.
    void SetSettings(const SliceSettings& settings);
    [[nodiscard]] QPushButton* ApplyButton() const { return m_apply; }

    void done(int result) override;

private:
    QHBoxLayout* BuildSliceChoice();
    QHBoxLayout* BuildTempoChoice();
    QHBoxLayout* BuildRowChoice(int slot);
    void ConnectControls(QDialogButtonBox* buttons);
    void Analyse();
    void FindMarkers();
    // A marker put by hand at frame moves to the start of the hit a double
    // click put it by, else to the nearest zero crossing a pixel does not
    // show.
    void PlaceMarker(int64_t frame, int64_t pixelFrames, bool added);
    void ShowRows();
    // The options of a slice on row (0-based; outside the rows: none kept).
    [[nodiscard]] VoiceOptions SliceOptions(const Slice& slice, int rate, int row) const;
    void PlaySlice(int index);
    [[nodiscard]] std::vector<Slice> Slices() const;

    SlotModel& m_model;
    const int m_slot;
    const std::string m_path;
    const bool m_convert;
    std::shared_ptr<const OnsetAnalysis> m_analysis;
    std::unique_ptr<JobRunner> m_jobs;
    bool m_more = false;  // the setting found more than MaxSlices slices

    SliceView* m_view = nullptr;
    QComboBox* m_mode = nullptr;
    QSlider* m_sensitivity = nullptr;
    QSpinBox* m_count = nullptr;
    QDoubleSpinBox* m_tempo = nullptr;
    QComboBox* m_note = nullptr;
    QSpinBox* m_firstRow = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_rows = nullptr;
    QPushButton* m_apply = nullptr;
};
