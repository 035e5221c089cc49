#pragma once

#include <QDialog>

#include <utility>
#include <vector>

#include "convert/Loudness.h"
#include "core/SlotModel.h"
#include "jobs/JobRunner.h"

class QCheckBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QRadioButton;
class QTableWidget;

// "Match levels...": each loaded row's loudness and peak, measured on a
// worker from its file as the row is made without a level option; a target
// (the median of the rows, or a number); and whether rows cut from one file
// keep their relative levels. A row that would need a loudness no option
// names is shown so and Apply stays off. The dialog changes nothing: after
// Apply its caller loads the rows with Changes(), in one step.
class MatchLevelsDialog : public QDialog {
    Q_OBJECT
public:
    // model: the rows to measure; must outlive the dialog.
    explicit MatchLevelsDialog(const SlotModel& model, QWidget* parent = nullptr);

    // One measured row: its slot, the options it is measured with (its
    // own, without a level), and its level then. Not readable: level
    // stays empty and the row is left as it is.
    struct Row {
        int slot = 0;
        VoiceOptions options;
        bool readable = false;
        MatchRow match;
    };

    // Rows and the options each is to be loaded with; only rows whose
    // options change.
    [[nodiscard]] std::vector<std::pair<int, VoiceOptions>> Changes() const;
    [[nodiscard]] bool IsMeasured() const { return m_measured; }
    // The target the rows meet at now.
    [[nodiscard]] double Target() const;

    [[nodiscard]] QTableWidget* Table() const { return m_table; }
    [[nodiscard]] QRadioButton* MedianButton() const { return m_median; }
    [[nodiscard]] QRadioButton* NumberButton() const { return m_number; }
    [[nodiscard]] QDoubleSpinBox* TargetBox() const { return m_target; }
    [[nodiscard]] QCheckBox* KeepGroupsBox() const { return m_keepGroups; }
    [[nodiscard]] QDialogButtonBox* Buttons() const { return m_buttons; }

private:
    void BuildWidgets();
    void ConnectControls();
    void StartMeasuring();
    void TakeMeasures(std::vector<Row> rows);
    void ShowTargets();

    const SlotModel& m_model;
    JobRunner m_jobs;
    std::vector<Row> m_rows;
    std::vector<LoudnessMatch> m_matches;  // per row of m_rows
    std::optional<double> m_medianLevel;
    bool m_measured = false;

    QTableWidget* m_table = nullptr;
    QRadioButton* m_median = nullptr;
    QRadioButton* m_number = nullptr;
    QDoubleSpinBox* m_target = nullptr;
    QCheckBox* m_keepGroups = nullptr;
    QLabel* m_status = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};
