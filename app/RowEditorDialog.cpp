#include "app/RowEditorDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <new>

#include "app/LevelBox.h"
#include "app/WaveformView.h"
#include "audio/AudioData.h"
#include "controls/MessageBox.h"
#include "res/StringTable.h"

namespace {

constexpr int RowRate = 44100;
// Enough bins for the detail view to show about 5 ms per bin even in a
// long file, few enough to stay small (8 bytes each).
constexpr int64_t WantedBins = 262144;
constexpr int64_t SmallestBin = 32;
constexpr double DefaultLevel = -1.0;

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
    std::string why;
    m_readable = ProbeSoundFile(m_path.c_str(), m_convert, &m_info, &why) && m_info.frames > 0 &&
                 m_info.sampleRate > 0;
    BuildWidgets();

    const VoiceOptions& options = model.SlotOptions(slot);
    SlotFormat format;
    if (options.start != VoiceOptions::Start::Beginning && model.ReadSlotFormat(slot, &format))
        m_start = format.startFrame;
    m_firstSound = options.start == VoiceOptions::Start::FirstSound;
    m_normalize->setChecked(options.normalize);
    m_level->setValue(options.normalize ? options.normalizeDbfs : DefaultLevel);
    m_loudness->setChecked(options.loudness && !options.normalize);
    m_loudnessLevel->setValue(options.loudness ? options.loudnessLufs : -16.0);

    if (m_readable) {
        StartOverview();
    } else {
        m_progress->hide();
        m_startText->setText(QString::fromStdString(why));
        m_firstSoundButton->setEnabled(false);
    }
    ShowStart();
    m_overview->setFocus();
}

RowEditorDialog::~RowEditorDialog() {
    StopOverview();
    m_model.StopAudition();
}

void RowEditorDialog::BuildWidgets() {
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QString::fromStdString(m_path), this);
    name->setTextFormat(Qt::PlainText);
    layout->addWidget(name);

    m_overview = new WaveformView(WaveformView::DragMoves::Window, this);
    m_overview->setToolTip(tr("Drag the window, or use the arrow keys (Shift: larger steps)"));
    m_overview->setMinimumSize(640, 110);
    m_overview->setAccessibleName(tr("Waveform of the file"));
    layout->addWidget(m_overview);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 1000);
    m_progress->setFormat(tr("Reading the waveform... %p%"));
    layout->addWidget(m_progress);

    auto* detailLabel = new QLabel(tr("Around the start:"), this);
    layout->addWidget(detailLabel);
    m_detail = new WaveformView(WaveformView::DragMoves::Waveform, this);
    m_detail->setToolTip(tr("Drag the waveform under the window, or use the arrow keys"));
    m_detail->setMinimumSize(640, 140);
    m_detail->setAccessibleName(tr("Waveform around the start"));
    layout->addWidget(m_detail);

    auto* times = new QHBoxLayout;
    m_startText = new QLabel(this);
    m_lengthText = new QLabel(this);
    m_firstSoundButton = new QPushButton(tr("Start at first sound"), this);
    times->addWidget(m_startText);
    times->addSpacing(16);
    times->addWidget(m_lengthText);
    times->addStretch();
    times->addWidget(m_firstSoundButton);
    layout->addLayout(times);

    auto* level = new QHBoxLayout;
    m_normalize = new QCheckBox(tr("Normalize to"), this);
    m_level = MakeLevelBox(NormalizeMinDbfs, NormalizeMaxDbfs, tr("dBFS"), tr("Level"), this);
    auto* play = new QPushButton(tr("Play"), this);
    auto* stop = new QPushButton(tr("Stop"), this);
    level->addWidget(m_normalize);
    level->addWidget(m_level);
    // A row has a peak level or a loudness: ticking one clears the other.
    m_loudness = new QCheckBox(tr("Loudness"), this);
    m_loudnessLevel =
        MakeLevelBox(LoudnessMinLufs, LoudnessMaxLufs, tr("LUFS"), tr("Loudness"), this);
    m_loudnessLevel->setToolTip(tr("The loudest 400 ms of the row; its peak stays at or below "
                                   "%1 dBFS")
                                    .arg(LoudnessCeilingDbfs, 0, 'f', 1));
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
    level->addWidget(play);
    level->addWidget(stop);
    layout->addLayout(level);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    // Enter on a spin box or a button of the row must not close the dialog
    // by surprise: only OK does.
    for (QPushButton* button : {m_firstSoundButton, play, stop}) button->setAutoDefault(false);

    for (WaveformView* view : {m_overview, m_detail}) {
        connect(view, &WaveformView::StartDragged, this, &RowEditorDialog::MoveStart);
        connect(view, &WaveformView::StepAsked, this, &RowEditorDialog::Step);
    }
    connect(m_firstSoundButton, &QPushButton::clicked, this, &RowEditorDialog::StartAtFirstSound);
    connect(m_normalize, &QCheckBox::toggled, m_level, &QWidget::setEnabled);
    connect(play, &QPushButton::clicked, this, &RowEditorDialog::Play);
    connect(stop, &QPushButton::clicked, this, [this] { m_model.StopAudition(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void RowEditorDialog::StartOverview() {
    m_framesPerBin = std::max(SmallestBin, (m_info.frames + WantedBins - 1) / WantedBins);
    try {
        m_bins.reserve(static_cast<size_t>((m_info.frames + m_framesPerBin - 1) / m_framesPerBin));
    } catch (const std::bad_alloc&) {
    }
    const bool stereo = m_info.channels > 1;
    m_overview->SetSource(m_info.frames, m_framesPerBin, stereo, &m_bins);
    m_detail->SetSource(m_info.frames, m_framesPerBin, stereo, &m_bins);
    m_overview->SetVisibleRange(0, m_info.frames);

    const std::string path = m_path;
    const bool convert = m_convert;
    const int64_t framesPerBin = m_framesPerBin;
    // The thread touches no widget: it hands each batch of bins to the
    // GUI thread. Batches still queued when the dialog goes are dropped
    // with it.
    m_worker = std::thread([this, path, convert, framesPerBin] {
        const PeakSink sink = [this](const std::vector<PeakBin>& bins, int64_t framesDone) {
            if (m_cancel.load()) return false;
            std::shared_ptr<std::vector<PeakBin>> batch;
            try {
                batch = std::make_shared<std::vector<PeakBin>>(bins);
            } catch (const std::bad_alloc&) {
                return false;  // the overview stops and says why
            }
            QMetaObject::invokeMethod(
                this, [this, batch, framesDone] { TakeBins(*batch, framesDone, false, {}); },
                Qt::QueuedConnection);
            return !m_cancel.load();
        };
        std::string why;
        const bool done = ComputePeakOverview(path.c_str(), convert, framesPerBin, sink, &why);
        if (m_cancel.load()) return;
        const QString failure = done ? QString() : QString::fromStdString(why);
        QMetaObject::invokeMethod(
            this, [this, failure] { TakeBins({}, m_info.frames, true, failure); },
            Qt::QueuedConnection);
    });
}

void RowEditorDialog::StopOverview() {
    m_cancel.store(true);
    if (m_worker.joinable()) m_worker.join();
}

void RowEditorDialog::TakeBins(const std::vector<PeakBin>& bins, int64_t framesDone, bool last,
                               const QString& failure) {
    try {
        m_bins.insert(m_bins.end(), bins.begin(), bins.end());
    } catch (const std::bad_alloc&) {
    }
    m_progress->setValue(static_cast<int>(framesDone * 1000 / std::max<int64_t>(m_info.frames, 1)));
    m_overview->update();
    m_detail->update();
    if (!last) return;
    m_ready = failure.isEmpty();
    if (m_ready) {
        m_progress->hide();
    } else {
        m_progress->setFormat(tr("The waveform cannot be read: %1").arg(failure));
    }
}

int64_t RowEditorDialog::WindowFrames() const {
    // MaxVoiceFrames at 44,100 Hz, in the source's frames.
    return (int64_t{MaxVoiceFrames} * m_info.sampleRate + RowRate - 1) / RowRate;
}

void RowEditorDialog::MoveStart(int64_t frame) {
    if (!m_readable) return;
    m_start = std::clamp<int64_t>(frame, 0, m_info.frames - 1);
    m_firstSound = false;
    ShowStart();
}

void RowEditorDialog::Step(int direction, bool large) {
    // 1 ms, or 100 ms with Shift.
    const int64_t step = std::max<int64_t>(1, m_info.sampleRate / (large ? 10 : 1000));
    MoveStart(m_start + direction * step);
}

void RowEditorDialog::StartAtFirstSound() {
    int64_t frame = 0;
    int rate = 0;
    if (!FindFirstSound(m_path.c_str(), m_convert, &frame, &rate)) return;
    MoveStart(frame);
    m_firstSound = true;
}

void RowEditorDialog::ShowStart() {
    const int rate = m_info.sampleRate;
    const int64_t window = WindowFrames();
    const int64_t length = std::min(window, m_info.frames - m_start);
    m_overview->SetSelection(m_start, length);
    m_detail->SetSelection(m_start, length);
    // The detail shows the window with a quarter of its length either side.
    m_detail->SetVisibleRange(m_start - window / 4, window + window / 2);
    if (!m_readable) return;
    m_startText->setText(tr("Start: %1 s").arg(Seconds(m_start, rate)));
    m_lengthText->setText(tr("Row length: %1 s").arg(Seconds(std::max<int64_t>(length, 0), rate)));
}

VoiceOptions RowEditorDialog::Options() const {
    VoiceOptions options;
    if (m_firstSound) {
        options.start = VoiceOptions::Start::FirstSound;
    } else if (m_start > 0) {
        options.start = VoiceOptions::Start::At;
        options.startNanoseconds = NanosecondsOfFrame(m_start, m_info.sampleRate);
    }
    options.normalize = m_normalize->isChecked();
    if (options.normalize) options.normalizeDbfs = m_level->value();
    options.loudness = m_loudness->isChecked();
    if (options.loudness) options.loudnessLufs = m_loudnessLevel->value();
    return options;
}

void RowEditorDialog::Play() {
    LoadFailure failure;
    if (m_model.Audition(m_path, Options(), &failure)) return;
    MessageRequest request;
    request.parent = this;
    request.stringId = IdsLoadError;
    request.informativeText = QString::fromStdString(failure.reason);
    (void)ShowMessage(std::move(request));
}

void RowEditorDialog::done(int result) {
    StopOverview();
    m_model.StopAudition();
    QDialog::done(result);
}
