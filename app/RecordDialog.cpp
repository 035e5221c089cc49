#include "app/RecordDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <ctime>
#include <utility>

#include "app/LevelMeter.h"
#include "app/WindowContext.h"
#include "audio/AudioData.h"
#include "controls/MessageBox.h"
#include "core/PathUtils.h"
#include "record/TakeFile.h"
#include "res/StringTable.h"

namespace {

// The take runs the row's length from the threshold, and a tail so that a
// start moved to the first sound still finds a whole row after it.
constexpr double TakeTailSeconds = 0.1;
constexpr double TakeSeconds = static_cast<double>(MaxVoiceFrames) / 44100.0 + TakeTailSeconds;

// Writes a finished take into the takes folder; the path, or empty with
// *error set.
QString KeepTake(const record::RecordingResult& result, int row, QString* error) {
    const std::string folder = record::TakesFolder();
    if (folder.empty() || !CreateDirectoryTree(folder.c_str())) {
        *error = QObject::tr("the folder for takes cannot be made: %1").arg(FromModel(folder));
        return {};
    }
    const std::string path = record::NewTakePath(folder, row, std::time(nullptr));
    std::string reason;
    if (!record::WriteTakeFile(path, result.take, result.sampleRate, &reason)) {
        *error = FromModel(path + ": " + reason);
        return {};
    }
    return FromModel(path);
}

}  // namespace

RecordDialog::RecordDialog(int row, const RecordChoices& choices, QWidget* parent)
    : QDialog(parent), m_row(row) {
    setWindowTitle(tr("Record into row %1").arg(row + 1));
    m_input = new QComboBox(this);
    m_input->setObjectName(QStringLiteral("recordInput"));
    m_input->addItem(tr("Default input"), QString());
    m_input->addItem(tr("JACK"), JackInput);
    if (!choices.input.isEmpty() && choices.input != JackInput)
        m_input->addItem(choices.input, choices.input);
    m_input->setCurrentIndex(std::max(0, m_input->findData(choices.input)));
    m_ports = new QLineEdit(choices.ports, this);
    m_ports->setObjectName(QStringLiteral("recordPorts"));
    m_ports->setPlaceholderText(tr("system:capture_1 system:capture_2"));
    m_threshold = new QSpinBox(this);
    m_threshold->setObjectName(QStringLiteral("recordThreshold"));
    m_threshold->setRange(-90, 0);
    m_threshold->setSuffix(tr(" dBFS"));
    m_threshold->setValue(choices.thresholdDb);
    m_atOnce = new QCheckBox(tr("Start at &once"), this);
    m_atOnce->setObjectName(QStringLiteral("recordAtOnce"));
    m_atOnce->setChecked(choices.atOnce);
    m_preRoll = new QSpinBox(this);
    m_preRoll->setObjectName(QStringLiteral("recordPreRoll"));
    m_preRoll->setRange(0, record::MaxPreRollMs);
    m_preRoll->setSuffix(tr(" ms"));
    m_preRoll->setValue(choices.preRollMs);
    m_meter = new LevelMeter(this);
    m_meter->setObjectName(QStringLiteral("recordMeter"));
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("recordState"));
    m_record = new QPushButton(tr("&Record"), this);
    m_record->setObjectName(QStringLiteral("recordButton"));
    m_stop = new QPushButton(tr("&Stop"), this);
    m_stop->setObjectName(QStringLiteral("recordStop"));
    m_stop->setEnabled(false);

    auto* form = new QFormLayout;
    form->addRow(tr("&Input:"), m_input);
    form->addRow(tr("&JACK ports:"), m_ports);
    auto* threshold = new QHBoxLayout;
    threshold->addWidget(m_threshold);
    threshold->addWidget(m_atOnce);
    // A row of a layout gets no buddy by itself.
    auto* thresholdLabel = new QLabel(tr("&Threshold:"), this);
    thresholdLabel->setBuddy(m_threshold);
    form->addRow(thresholdLabel, threshold);
    form->addRow(tr("&Pre-roll:"), m_preRoll);
    form->addRow(tr("Level:"), m_meter);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(m_record, QDialogButtonBox::ActionRole);
    buttons->addButton(m_stop, QDialogButtonBox::ActionRole);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_state);
    layout->addWidget(buttons);
    m_record->setDefault(true);

    const auto jackChosen = [this] { m_ports->setEnabled(m_input->currentData() == JackInput); };
    jackChosen();
    connect(m_input, &QComboBox::currentIndexChanged, this, [this, jackChosen] {
        jackChosen();
        StartInput();
    });
    connect(m_ports, &QLineEdit::editingFinished, this, [this] {
        if (m_input->currentData() == JackInput && !m_armed) StartInput();
    });
    connect(m_atOnce, &QCheckBox::toggled, m_threshold, &QWidget::setDisabled);
    m_threshold->setDisabled(choices.atOnce);
    connect(m_record, &QPushButton::clicked, this, &RecordDialog::Arm);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (m_recording) m_recording->Stop();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // The device list can take a moment (a sound server is asked): it
    // comes in from a thread of its own.
    m_lister = std::thread([this] {
        std::vector<std::string> names = record::ListCaptureDevices();
        QMetaObject::invokeMethod(
            this,
            [this, names = std::move(names)] {
                for (const std::string& name : names) {
                    const QString text = FromModel(name);
                    if (m_input->findData(text) < 0) m_input->addItem(text, text);
                }
            },
            Qt::QueuedConnection);
    });
    StartInput();
}

RecordDialog::~RecordDialog() {
    // Ended before the widgets its events reach go.
    m_recording.reset();
    if (m_lister.joinable()) m_lister.join();
}

RecordChoices RecordDialog::Choices() const {
    return {m_input->currentData().toString(), m_ports->text(), m_threshold->value(),
            m_atOnce->isChecked(), m_preRoll->value()};
}

void RecordDialog::ShowState(const QString& text) { m_state->setText(text); }

void RecordDialog::StartInput() {
    m_recording.reset();
    m_armed = false;
    m_meter->Reset();
    const int generation = ++m_generation;
    record::CaptureChoice choice;
    const QString input = m_input->currentData().toString();
    if (input == JackInput) {
        choice.kind = record::CaptureChoice::Kind::Jack;
        for (const QString& port : m_ports->text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
            choice.connect.push_back(ToModelPath(port));
    } else if (!input.isEmpty()) {
        choice.kind = record::CaptureChoice::Kind::Named;
        choice.name = ToModelPath(input);
    }
    record::RecordingEvents events;
    events.opened = [this, generation](int rate) {
        QMetaObject::invokeMethod(
            this, [this, generation, rate] { OnOpened(generation, rate); }, Qt::QueuedConnection);
    };
    events.level = [this, generation](float peak) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, peak] {
                if (generation == m_generation) m_meter->SetLevel(peak);
            },
            Qt::QueuedConnection);
    };
    events.started = [this, generation] {
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == m_generation) ShowState(tr("Recording..."));
            },
            Qt::QueuedConnection);
    };
    // On the recording's thread: the take is written there, never on the
    // window's.
    const int row = m_row;
    events.finished = [this, generation, row](record::RecordingResult result) {
        QString take;
        QString error;
        if (result.end == record::RecordingResult::End::Whole ||
            result.end == record::RecordingResult::End::Stopped)
            take = KeepTake(result, row, &error);
        result.take.clear();
        QMetaObject::invokeMethod(
            this,
            [this, generation, result = std::move(result), take, error] {
                OnFinished(generation, result, take, error);
            },
            Qt::QueuedConnection);
    };
    m_recording = std::make_unique<record::Recording>(record::OpenerFor(std::move(choice)),
                                                      std::move(events));
    ShowState(tr("Opening the input..."));
    m_record->setEnabled(true);
    m_stop->setEnabled(false);
    if (!m_recording->Start()) {
        m_recording.reset();
        ShowState(tr("The input could not be opened."));
    }
}

void RecordDialog::OnOpened(int generation, int rate) {
    if (generation != m_generation) return;
    if (!m_armed) ShowState(tr("Listening at %1 Hz. Press Record.").arg(rate));
}

void RecordDialog::Arm() {
    if (m_armed) return;
    if (!m_recording) StartInput();
    if (!m_recording) return;
    record::TakeSettings settings;
    settings.waitForThreshold = !m_atOnce->isChecked();
    settings.thresholdDbfs = m_threshold->value();
    settings.preRollMs = m_preRoll->value();
    settings.seconds = TakeSeconds;
    m_armed = true;
    m_recording->Arm(settings);
    m_record->setEnabled(false);
    m_stop->setEnabled(true);
    ShowState(settings.waitForThreshold
                  ? tr("Waiting for the input to reach %1 dBFS...").arg(settings.thresholdDbfs)
                  : tr("Recording..."));
}

void RecordDialog::OnFinished(int generation, const record::RecordingResult& result,
                              const QString& take, const QString& writeError) {
    if (generation != m_generation) return;
    m_recording.reset();
    const bool armed = std::exchange(m_armed, false);
    m_record->setEnabled(true);
    m_stop->setEnabled(false);
    using End = record::RecordingResult::End;
    if (!take.isEmpty()) {
        m_takePath = take;
        accept();
        return;
    }
    if (result.end == End::Cancelled) {
        StartInput();  // metered again, for the next try
        ShowState(tr("Stopped before the sound began: nothing was recorded."));
        return;
    }
    const QString reason = !writeError.isEmpty() ? writeError : FromModel(result.reason);
    ShowState(tr("Not recorded: %1.").arg(reason));
    // An input missing as the dialog opens or another is chosen is said on
    // the dialog; a box for what stopped a take asked for.
    if (result.end == End::NoInput && !armed) return;
    MessageRequest request;
    request.parent = this;
    request.stringId = IdsRecordError;
    request.informativeText = reason;
    (void)ShowMessage(std::move(request));
}
