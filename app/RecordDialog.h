#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <thread>

#include "record/Recording.h"

class LevelMeter;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// What the record dialog was set to, kept for its next opening.
struct RecordChoices {
    QString input;  // empty: the default device; JackInput; else a device's name
    QString ports;  // for JACK: output ports to connect, separated by spaces
    int thresholdDb = -40;
    bool atOnce = false;  // start at once rather than at the threshold
    int preRollMs = 20;
};

// Records a take for a row: the input (default device, a listed capture
// device, JACK with its ports) metered live from the dialog's opening with
// the peak held; Record waits for the threshold (or starts at once) and
// the take stops after the row's length and a tail, or at Stop. The take is
// written to the user data folder's "takes" and the dialog closes with
// its path. The input is read and the take written on the recording's own
// thread; closing the dialog ends it at once.
class RecordDialog : public QDialog {
    Q_OBJECT
public:
    static inline const QString JackInput = QStringLiteral("jack");

    RecordDialog(int row, const RecordChoices& choices, QWidget* parent = nullptr);
    ~RecordDialog() override;

    // The kept take, once the dialog closed with a take.
    [[nodiscard]] const QString& TakePath() const { return m_takePath; }
    [[nodiscard]] RecordChoices Choices() const;

private:
    // Opens the chosen input and meters it (any recording before is ended).
    void StartInput();
    void Arm();
    // Events of the recording m_generation names; older ones are dropped.
    void OnOpened(int generation, int rate);
    void OnFinished(int generation, const record::RecordingResult& result, const QString& take,
                    const QString& writeError);
    void ShowState(const QString& text);

    const int m_row;
    QComboBox* m_input = nullptr;
    QLineEdit* m_ports = nullptr;
    QSpinBox* m_threshold = nullptr;
    QCheckBox* m_atOnce = nullptr;
    QSpinBox* m_preRoll = nullptr;
    LevelMeter* m_meter = nullptr;
    QLabel* m_state = nullptr;
    QPushButton* m_record = nullptr;
    QPushButton* m_stop = nullptr;
    int m_generation = 0;
    bool m_armed = false;
    QString m_takePath;
    std::thread m_lister;  // lists the capture devices once
    std::unique_ptr<record::Recording> m_recording;
};
