#include "app/RowEditorDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "app/AuditionFile.h"
#include "app/MakeLevelBox.h"
#include "app/RowShapeBox.h"
#include "app/RowWaveformPane.h"
#include "audio/AudioData.h"
#include "jobs/JobRunner.h"

namespace {

constexpr int RowRate = 44100;
constexpr double DefaultLevel = -1.0;
const JobLane ProbeLane{JobLane::Kind::Probe};
const JobLane AuditionLane{JobLane::Kind::Audition};

// The longest row, in the source's frames: MaxVoiceFrames at 44,100 Hz.
int64_t WindowFrames(const SourceInfo& info) {
    return (int64_t{MaxVoiceFrames} * info.sampleRate + RowRate - 1) / RowRate;
}

// The latest start that leaves sound: at least 1 ms of the file stays in
// the row (all of a shorter file).
int64_t LastStart(const SourceInfo& info) {
    const int64_t least = std::max<int64_t>(1, info.sampleRate / 1000);
    return std::max<int64_t>(0, info.frames - least);
}

// A row kept from a bank lives in a copy of the program's own: name the
// bank and row rather than that copy.
QString SourceName(const SlotModel& model, int slot) {
    SlotFormat format;
    if (model.ReadSlotFormat(slot, &format) && format.fromBank && format.origin.row > 0)
        return RowEditorDialog::tr("Row %1 of %2")
            .arg(QString::number(format.origin.row),
                 QString::fromStdString(format.origin.bankName));
    return QString::fromStdString(model.SlotPath(slot));
}

// How much faster the row plays its part: 2 an octave up.
double Speed(const VoiceOptions& options) { return std::pow(2.0, options.pitchCents / 1200.0); }

// Source frames of a fade of ms in the row, at the row's speed.
int64_t FadeSourceFrames(int ms, int rate, double speed) {
    return static_cast<int64_t>(std::llround(ms * static_cast<double>(rate) / 1000 * speed));
}

QString Seconds(int64_t frames, int rate) {
    return QString::number(rate > 0 ? static_cast<double>(frames) / rate : 0.0, 'f', 3);
}

// The panel's look: its light grey face, black lettering and the yellow of
// its buttons for what is chosen.
QPalette PanelPalette(QPalette palette) {
    const QColor face(228, 230, 228), field(252, 254, 252), text(0, 0, 0);
    palette.setColor(QPalette::Window, face);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, field);
    palette.setColor(QPalette::AlternateBase, face);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(236, 238, 236));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Highlight, QColor(255, 255, 0));
    palette.setColor(QPalette::HighlightedText, text);
    palette.setColor(QPalette::ToolTipBase, QColor(255, 255, 220));
    palette.setColor(QPalette::ToolTipText, text);
    for (const QPalette::ColorRole role :
         {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        palette.setColor(QPalette::Disabled, role, QColor(130, 132, 130));
    return palette;
}

}  // namespace

RowEditorDialog::RowEditorDialog(SlotModel& model, int slot, QWidget* parent)
    : QDialog(parent),
      m_model(model),
      m_slot(slot),
      m_path(model.SlotPath(slot)),
      m_convert(model.ConvertFormats()) {
    setWindowTitle(tr("Edit row %1").arg(slot + 1));
    setPalette(PanelPalette(palette()));
    setAutoFillBackground(true);
    BuildWidgets();

    const VoiceOptions& options = model.SlotOptions(slot);
    SlotFormat format;
    if (options.start != VoiceOptions::Start::Beginning && model.ReadSlotFormat(slot, &format))
        m_start = format.startFrame;
    m_firstSound = options.start == VoiceOptions::Start::FirstSound;
    m_lengthNanoseconds = options.lengthNanoseconds;
    m_shape->SetShape(options);
    m_normalize->setChecked(options.normalize);
    m_level->setValue(options.normalize ? options.normalizeDbfs : DefaultLevel);
    m_loudness->setChecked(options.loudness && !options.normalize);
    m_loudnessLevel->setValue(options.loudness ? options.loudnessLufs : -16.0);
    Probe();
    m_waveforms->setFocus();
}

RowEditorDialog::~RowEditorDialog() {
    // The runner, going last, cancels what is left and waits for it.
    m_model.StopAudition();
}

void RowEditorDialog::BuildWidgets() {
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(SourceName(m_model, m_slot), this);
    name->setTextFormat(Qt::PlainText);
    layout->addWidget(name);
    m_waveforms = new RowWaveformPane(m_jobs, this);
    layout->addWidget(m_waveforms, 1);
    BuildControls(layout);
    ConnectWidgets();
}

void RowEditorDialog::BuildControls(QVBoxLayout* layout) {
    auto* times = new QHBoxLayout;
    m_startText = new QLabel(this);
    m_lengthText = new QLabel(this);
    m_busyText = new QLabel(this);
    m_firstSoundButton = new QPushButton(tr("Start at first sound"), this);
    times->addWidget(m_startText);
    times->addSpacing(16);
    times->addWidget(m_lengthText);
    times->addStretch();
    times->addWidget(m_busyText);
    times->addWidget(m_firstSoundButton);
    layout->addLayout(times);
    m_shape = new RowShapeBox(this);
    layout->addWidget(m_shape);

    auto* level = new QHBoxLayout;
    m_normalize = new QCheckBox(tr("Normalize to"), this);
    m_level = MakeLevelBox(NormalizeMinDbfs, NormalizeMaxDbfs, tr("dBFS"), tr("Level"), this);
    m_play = new QPushButton(tr("Play"), this);
    auto* stop = new QPushButton(tr("Stop"), this);
    level->addWidget(m_normalize);
    level->addWidget(m_level);
    // A row has a peak level or a loudness: ticking one clears the other.
    m_loudness = new QCheckBox(tr("Loudness"), this);
    m_loudnessLevel =
        MakeLevelBox(LoudnessMinLufs, LoudnessMaxLufs, tr("LUFS"), tr("Loudness"), this);
    m_loudnessLevel->setToolTip(tr("The loudest 400 ms of the row; its true peak stays at or "
                                   "below %1 dBTP")
                                    .arg(LoudnessCeilingDbtp, 0, 'f', 1));
    connect(m_loudness, &QCheckBox::toggled, m_loudnessLevel, &QWidget::setEnabled);
    connect(m_loudness, &QCheckBox::toggled, this, [this](bool on) {
        if (on) m_normalize->setChecked(false);
    });
    connect(m_normalize, &QCheckBox::toggled, this, [this](bool on) {
        if (on) m_loudness->setChecked(false);
    });
    level->addWidget(m_loudness);
    level->addWidget(m_loudnessLevel);
    level->addStretch();
    level->addWidget(m_play);
    level->addWidget(stop);
    layout->addLayout(level);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    auto* slice = buttons->addButton(tr("Slice across rows..."), QDialogButtonBox::ActionRole);
    connect(slice, &QPushButton::clicked, this, [this] { done(SliceAsked); });
    layout->addWidget(buttons);
    // Enter on a spin box or a button of the row must not close the dialog
    // by surprise: only OK does.
    for (QPushButton* button : {m_firstSoundButton, m_play, stop}) button->setAutoDefault(false);
    connect(stop, &QPushButton::clicked, this, [this] { m_model.StopAudition(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void RowEditorDialog::ConnectWidgets() {
    connect(m_waveforms, &RowWaveformPane::StartDragged, this, &RowEditorDialog::MoveStart);
    connect(m_waveforms, &RowWaveformPane::StepAsked, this, &RowEditorDialog::Step);
    connect(m_firstSoundButton, &QPushButton::clicked, this, &RowEditorDialog::StartAtFirstSound);
    connect(m_normalize, &QCheckBox::toggled, m_level, &QWidget::setEnabled);
    connect(m_play, &QPushButton::clicked, this, &RowEditorDialog::Play);
    connect(&m_jobs, &JobRunner::busyChanged, this, &RowEditorDialog::UpdateBusy);

    // Typed times and dragged markers set the start, the length and the
    // fades; every change redraws the row as it will sound.
    const auto frameOf = [this](int64_t nanoseconds) {
        return StartFrameAt(nanoseconds, m_info.sampleRate);
    };
    const auto setLength = [this](int64_t frames) {
        if (!m_readable) return;
        m_length = std::clamp<int64_t>(frames, 1, WindowFrames(m_info));
        ShowStart();
    };
    connect(m_shape, &RowShapeBox::StartTyped, this,
            [this, frameOf](int64_t ns) { MoveStart(frameOf(ns)); });
    connect(m_shape, &RowShapeBox::LengthTyped, this,
            [frameOf, setLength](int64_t ns) { setLength(frameOf(ns)); });
    connect(m_shape, &RowShapeBox::EndTyped, this,
            [this, frameOf, setLength](int64_t ns) { setLength(frameOf(ns) - m_start); });
    connect(m_shape, &RowShapeBox::ShapeChanged, this, &RowEditorDialog::ShowStart);
    connect(m_waveforms, &RowWaveformPane::MarkerDragged, this,
            [this, setLength](int marker, int64_t frame) {
                if (!m_readable) return;
                const VoiceOptions options = Options();
                const int64_t end =
                    m_start + std::min(WindowFrames(m_info), m_info.frames - m_start);
                const int64_t partEnd = m_length > 0 ? std::min(end, m_start + m_length) : end;
                const double perMs = m_info.sampleRate / 1000.0 * Speed(options);
                const auto ms = [perMs](int64_t frames) {
                    return static_cast<int>(std::lround(static_cast<double>(frames) / perMs));
                };
                if (marker == 1) setLength(frame - m_start);
                // A reversed row's fade-in lies at its part's end.
                const bool atStart = (marker == 2) != options.reverse;
                if (marker >= 2)
                    m_shape->SetFade(marker == 2, ms(atStart ? frame - m_start : partEnd - frame));
            });
    for (QCheckBox* box : {m_normalize, m_loudness})
        connect(box, &QCheckBox::toggled, this, &RowEditorDialog::ShowStart);
    for (QDoubleSpinBox* box : {m_level, m_loudnessLevel})
        connect(box, &QDoubleSpinBox::valueChanged, this, &RowEditorDialog::ShowStart);
}

void RowEditorDialog::KeepVisible(const QWidget* row) {
    const QWidget* window = row != nullptr ? row->window() : nullptr;
    const QScreen* screen = window != nullptr ? window->screen() : nullptr;
    if (screen == nullptr) return;
    adjustSize();
    const QRect room = screen->availableGeometry();
    const QRect band(row->mapToGlobal(QPoint(0, 0)), row->size());
    // Before it is shown the dialog has no frame yet: allow for a title bar.
    int frame = frameGeometry().height() - height();
    if (frame <= 0) frame = style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8;
    const int tall = height() + frame;
    const int below = room.bottom() - band.bottom() - 4;
    const int above = band.top() - room.top() - 4;
    // Below the row when it fits there, else above; else where more shows.
    const bool under = below >= tall || (above < tall && below >= above);
    const QRect area = window->frameGeometry();
    QPoint place(area.left() + (area.width() - width()) / 2,
                 under ? band.bottom() + 4 : band.top() - 4 - tall);
    // Still on the screen, even when that covers the row after all.
    place.setX(std::clamp(place.x(), room.left(), std::max(room.left(), room.right() - width())));
    place.setY(std::clamp(place.y(), room.top(), std::max(room.top(), room.bottom() - tall)));
    move(place);
}

void RowEditorDialog::Probe() {
    m_startText->setText(tr("Reading the file..."));
    const std::string path = m_path;
    const bool convert = m_convert;
    struct ProbeResult {
        bool readable = false;
        SourceInfo info;
        std::string why;
    };
    m_jobs.Run<ProbeResult>(
        ProbeLane, this,
        [path, convert](const std::atomic<bool>&) {
            ProbeResult result;
            result.readable = ProbeSoundFile(path.c_str(), convert, &result.info, &result.why) &&
                              result.info.frames > 0 && result.info.sampleRate > 0;
            return result;
        },
        [this](ProbeResult result) {
            Probed(result.readable, result.info, QString::fromStdString(result.why));
        });
    UpdateBusy();
}

void RowEditorDialog::Probed(bool readable, const SourceInfo& info, const QString& why) {
    m_probed = true;
    m_info = info;
    m_readable = readable;
    if (m_readable) {
        m_start = std::clamp<int64_t>(m_start, 0, LastStart(m_info));
        if (m_lengthNanoseconds > 0)
            m_length = std::max<int64_t>(1, StartFrameAt(m_lengthNanoseconds, info.sampleRate));
        m_waveforms->Read(m_path, m_convert, m_info);
    } else {
        m_startText->setText(why);
    }
    ShowStart();
    UpdateBusy();
    m_waveforms->setFocus();
}

bool RowEditorDialog::IsWaveformReady() const { return m_waveforms->IsReady(); }

const QString& RowEditorDialog::WaveformFailure() const { return m_waveforms->Failure(); }

void RowEditorDialog::MoveStart(int64_t frame) {
    if (!m_readable) return;
    m_start = std::clamp<int64_t>(frame, 0, LastStart(m_info));
    m_firstSound = false;
    ShowStart();
}

void RowEditorDialog::Step(int direction, bool large) {
    // 1 ms, or 100 ms with Shift.
    const int64_t step = std::max<int64_t>(1, m_info.sampleRate / (large ? 10 : 1000));
    MoveStart(m_start + direction * step);
}

void RowEditorDialog::StartAtFirstSound() {
    if (!m_readable || IsBusy()) return;
    const std::string path = m_path;
    const bool convert = m_convert;
    struct Found {
        bool found = false;
        int64_t frame = 0;
    };
    m_jobs.Run<Found>(
        ProbeLane, this,
        [path, convert](const std::atomic<bool>& cancelled) {
            Found result;
            int rate = 0;
            result.found = FindFirstSound(path.c_str(), convert, &result.frame, &rate, cancelled);
            return result;
        },
        [this](Found result) {
            if (result.found) {
                MoveStart(result.frame);
                m_firstSound = true;
            }
            UpdateBusy();
        });
    m_busyText->setText(tr("Looking for the first sound..."));
    UpdateBusy();
}

bool RowEditorDialog::IsBusy() const {
    // The waveform's lane is not waited for: it is shown as it comes.
    return m_jobs.IsBusy(ProbeLane) || m_jobs.IsBusy(AuditionLane);
}

void RowEditorDialog::UpdateBusy() {
    const bool busy = IsBusy();
    // A start, an audition or OK made while the file is read could use a
    // start that is about to change.
    m_firstSoundButton->setEnabled(!busy && m_readable);
    m_play->setEnabled(!busy);
    m_ok->setEnabled(!busy && m_probed);
    // A drag would be undone by the first sound when it arrives.
    m_waveforms->SetMovable(!busy);
    if (!busy) m_busyText->clear();
    if (busy) {
        setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
    }
}

void RowEditorDialog::ShowStart() {
    if (!m_readable) return;
    const int rate = m_info.sampleRate;
    const int64_t window = WindowFrames(m_info);
    const VoiceOptions options = Options();
    const double speed = Speed(options);
    // The part chosen, and of it what fills the row: a lower pitch takes
    // less of the file into the row's frames.
    int64_t part = std::min(window, m_info.frames - m_start);
    if (m_length > 0) part = std::min(part, m_length);
    const auto filled = static_cast<int64_t>(std::ceil(static_cast<double>(window) * speed));
    const int64_t length = std::max<int64_t>(std::min(part, filled), 0);
    m_waveforms->ShowRow(m_start, length, window);
    const int64_t fadeIn = FadeSourceFrames(options.fadeInMs, rate, speed);
    const int64_t fadeOut = FadeSourceFrames(options.fadeOutMs, rate, speed);
    const int64_t end = m_start + length;
    m_waveforms->ShowFades(options.reverse ? end - fadeIn : m_start + fadeIn,
                           options.reverse ? m_start + fadeOut : end - fadeOut);
    m_shape->ShowTimes(m_start, part, rate);
    m_startText->setText(tr("Start: %1 s").arg(Seconds(m_start, rate)));
    // The row plays its part at its speed.
    const auto played = std::min<int64_t>(
        window, static_cast<int64_t>(std::llround(static_cast<double>(part) / speed)));
    m_lengthText->setText(tr("Row length: %1 s").arg(Seconds(std::max<int64_t>(played, 0), rate)));
    m_waveforms->MakeRow(options);
}

VoiceOptions RowEditorDialog::Options() const {
    VoiceOptions options;
    if (m_firstSound) {
        options.start = VoiceOptions::Start::FirstSound;
    } else if (m_start > 0 && m_info.sampleRate > 0) {
        options.start = VoiceOptions::Start::At;
        options.startNanoseconds = NanosecondsOfFrame(m_start, m_info.sampleRate);
    }
    // A length the user did not move stays as it was given.
    options.lengthNanoseconds = m_lengthNanoseconds;
    if (m_info.sampleRate > 0 && m_length != StartFrameAt(m_lengthNanoseconds, m_info.sampleRate))
        options.lengthNanoseconds = NanosecondsOfFrame(m_length, m_info.sampleRate);
    m_shape->ApplyShape(&options);
    options.normalize = m_normalize->isChecked();
    if (options.normalize) options.normalizeDbfs = m_level->value();
    options.loudness = m_loudness->isChecked();
    if (options.loudness) options.loudnessLufs = m_loudnessLevel->value();
    return options;
}

void RowEditorDialog::Play() {
    if (IsBusy()) return;
    AuditionFile(m_jobs, AuditionLane, this, m_model, m_path, Options(), m_convert,
                 [this] { UpdateBusy(); });
    m_busyText->setText(tr("Making the row..."));
    UpdateBusy();
}

void RowEditorDialog::done(int result) {
    // Closing drops what the dialog still waits for.
    m_jobs.Cancel(ProbeLane);
    m_jobs.Cancel(AuditionLane);
    m_waveforms->Stop();
    m_model.StopAudition();
    QDialog::done(result);
}
