#include "app/RowWaveformPane.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

#include "app/WaveformJob.h"
#include "app/WaveformView.h"
#include "audio/AudioData.h"
#include "convert/PeakOverview.h"
#include "jobs/JobRunner.h"

namespace {

// Enough bins for the detail view to show about 5 ms per bin even in a
// long file, few enough to stay small (8 bytes each).
constexpr int64_t WantedBins = 262144;
constexpr int64_t SmallestBin = 32;
// The detail's samples, and the row as it will sound.
const JobLane SamplesLane{JobLane::Kind::Waveform, 1};
const JobLane MadeRowLane{JobLane::Kind::Waveform, 2};
// The made row's bins: 16 frames each.
constexpr int64_t MadeBin = 16;
// Frames read for the detail at most: beyond them it draws its bins.
constexpr int64_t MostSamples = 1 << 20;

struct Samples {
    int64_t first = 0;
    int64_t count = 0;
    std::vector<int16_t> interleaved;  // channels 1 and 2
};

// The bins of a made row.
struct MadeRow {
    bool made = false;
    int32_t frames = 0;
    bool stereo = false;
    std::vector<PeakBin> bins;
};

MadeRow MakeRowBins(const std::string& path, bool convert, const VoiceOptions& options,
                    const std::atomic<bool>& cancelled) {
    MadeRow out;
    auto record = std::make_unique<AudioData>();
    VoiceLoadOutcome outcome;
    if (!LoadVoice(path.c_str(), options, convert, record.get(), &outcome, cancelled)) return out;
    out.made = true;
    out.frames = record->frames;
    out.stereo = record->channels == 2;
    for (int32_t at = 0; at < record->frames; at += MadeBin) {
        PeakBin bin{32767, -32768, 32767, -32768};
        for (int32_t i = at; i < std::min<int32_t>(at + MadeBin, record->frames); ++i) {
            const auto k = static_cast<size_t>(i);
            const int16_t second = out.stereo ? record->right[k] : record->left[k];
            bin.min1 = std::min(bin.min1, record->left[k]);
            bin.max1 = std::max(bin.max1, record->left[k]);
            bin.min2 = std::min(bin.min2, second);
            bin.max2 = std::max(bin.max2, second);
        }
        out.bins.push_back(bin);
    }
    return out;
}

}  // namespace

RowWaveformPane::RowWaveformPane(JobRunner& jobs, QWidget* parent) : QWidget(parent), m_jobs(jobs) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Extra height goes to the waveforms (stretch), none to the gaps.
    m_overview = new WaveformView(WaveformView::DragMoves::Window, this);
    m_overview->setToolTip(tr("Drag the window, or use the arrow keys (Shift: larger steps)"));
    m_overview->setMinimumSize(640, 110);
    m_overview->setAccessibleName(tr("Waveform of the file"));
    layout->addWidget(m_overview, 1);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 1000);
    m_progress->setFormat(tr("Reading the waveform... %p%"));
    // Its place stays when it hides: nothing below jumps.
    QSizePolicy keep = m_progress->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_progress->setSizePolicy(keep);
    m_progress->hide();
    layout->addWidget(m_progress);

    layout->addWidget(new QLabel(tr("Around the start:"), this));
    m_detail = new WaveformView(WaveformView::DragMoves::Waveform, this);
    m_detail->setToolTip(tr("Drag to move the start, or use the arrow keys"));
    m_detail->setMinimumSize(640, 140);
    m_detail->setAccessibleName(tr("Waveform around the start"));
    m_detail->setToolTip(
        tr("Wheel or + and -: zoom (0: the whole file); drag or Shift+wheel: "
           "scroll; drag a marker to move the start, the end or a fade"));
    layout->addWidget(m_detail, 1);
    layout->addWidget(new QLabel(tr("The row as it will sound:"), this));
    m_made = new WaveformView(WaveformView::DragMoves::Window, this);
    m_made->setMinimumSize(640, 70);
    m_made->setAccessibleName(tr("Waveform of the row as it will sound"));
    m_made->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_made->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_made, 1);
    setFocusProxy(m_overview);
    connect(m_detail, &WaveformView::MarkerDragged, this, &RowWaveformPane::MarkerDragged);
    connect(m_detail, &WaveformView::SamplesWanted, this, &RowWaveformPane::ReadSamples);

    for (WaveformView* view : {m_overview, m_detail}) {
        connect(view, &WaveformView::StartDragged, this, &RowWaveformPane::StartDragged);
        connect(view, &WaveformView::StepAsked, this, &RowWaveformPane::StepAsked);
    }
}

RowWaveformPane::~RowWaveformPane() = default;

void RowWaveformPane::Read(const std::string& path, bool convert, const SourceInfo& info) {
    m_path = path;
    m_convert = convert;
    m_progress->show();
    m_frames = info.frames;
    const int64_t framesPerBin = std::max(SmallestBin, (info.frames + WantedBins - 1) / WantedBins);
    m_waveform = std::make_unique<WaveformJob>(m_jobs);
    const bool stereo = info.channels > 1;
    m_overview->SetSource(info.frames, framesPerBin, stereo, m_waveform->Bins());
    m_detail->SetSource(info.frames, framesPerBin, stereo, m_waveform->Bins());
    m_overview->SetVisibleRange(0, info.frames);
    connect(m_waveform.get(), &WaveformJob::Progress, this, [this](int64_t framesDone) {
        m_progress->setValue(static_cast<int>(framesDone * 1000 / std::max<int64_t>(m_frames, 1)));
        m_overview->update();
        m_detail->update();
    });
    connect(m_waveform.get(), &WaveformJob::Finished, this, &RowWaveformPane::Ended);
    QString why;
    if (!m_waveform->Start(path, convert, info.frames, framesPerBin, &why)) Ended(why);
}

void RowWaveformPane::Stop() {
    m_jobs.Cancel(SamplesLane);
    m_jobs.Cancel(MadeRowLane);
    m_waveform.reset();
}

void RowWaveformPane::ReadSamples(int64_t first, int64_t count) {
    if (m_path.empty() || count > MostSamples) return;
    // A little either side, so a small scroll needs no new read.
    const int64_t margin = count / 2;
    m_jobs.Cancel(SamplesLane);
    m_jobs.Run<Samples>(
        SamplesLane, this,
        [path = m_path, convert = m_convert, first = first - margin,
         count = count + 2 * margin](const std::atomic<bool>&) {
            Samples samples;
            if (ReadStereoFrames(path.c_str(), convert, first, count, &samples.interleaved)) {
                samples.first = first;
                samples.count = count;
            }
            return samples;
        },
        [this](Samples samples) {
            if (samples.count > 0)
                m_detail->SetSamples(samples.first, samples.count, std::move(samples.interleaved));
        });
}

void RowWaveformPane::MakeRow(const VoiceOptions& options) {
    if (m_path.empty()) return;
    m_jobs.Cancel(MadeRowLane);
    m_jobs.Run<MadeRow>(
        MadeRowLane, this,
        [path = m_path, convert = m_convert, options](const std::atomic<bool>& cancelled) {
            return MakeRowBins(path, convert, options, cancelled);
        },
        [this](MadeRow row) {
            const int32_t frames = row.made ? row.frames : 0;
            auto bins = std::make_shared<const std::vector<PeakBin>>(std::move(row.bins));
            m_made->SetSource(frames, MadeBin, row.stereo, std::move(bins));
            m_made->SetVisibleRange(0, MaxVoiceFrames);
            m_made->SetSelection(0, frames);
        });
}

void RowWaveformPane::ShowFades(int64_t fadeInEnd, int64_t fadeOutStart) {
    m_detail->SetFadeMarks(fadeInEnd, fadeOutStart);
}

void RowWaveformPane::Ended(const QString& failure) {
    m_overview->update();
    m_detail->update();
    m_ready = failure.isEmpty();
    m_failure = failure;
    if (m_ready) {
        m_progress->hide();
    } else {
        m_progress->setFormat(tr("The waveform cannot be read: %1").arg(failure));
    }
}

void RowWaveformPane::ShowRow(int64_t start, int64_t length, int64_t window) {
    m_overview->SetSelection(start, length);
    m_detail->SetSelection(start, length);
    // At first the detail shows the window with a quarter of its length
    // either side; then it keeps its zoom and follows a start that leaves it.
    if (!m_detailPlaced) {
        m_detailPlaced = true;
        m_detail->SetVisibleRange(start - window / 4, window + window / 2);
    } else if (start < m_detail->VisibleFirst() ||
               start >= m_detail->VisibleFirst() + m_detail->VisibleCount()) {
        const int64_t count = m_detail->VisibleCount();
        m_detail->SetVisibleRange(start - count / 4, count);
    }
}

void RowWaveformPane::SetMovable(bool movable) {
    for (WaveformView* view : {m_overview, m_detail}) view->setEnabled(movable);
}
