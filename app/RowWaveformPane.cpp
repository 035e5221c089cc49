#include "app/RowWaveformPane.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

#include "app/WaveformJob.h"
#include "app/WaveformView.h"

namespace {

// Enough bins for the detail view to show about 5 ms per bin even in a
// long file, few enough to stay small (8 bytes each).
constexpr int64_t WantedBins = 262144;
constexpr int64_t SmallestBin = 32;

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
    layout->addWidget(m_detail, 1);
    setFocusProxy(m_overview);

    for (WaveformView* view : {m_overview, m_detail}) {
        connect(view, &WaveformView::StartDragged, this, &RowWaveformPane::StartDragged);
        connect(view, &WaveformView::StepAsked, this, &RowWaveformPane::StepAsked);
    }
}

RowWaveformPane::~RowWaveformPane() = default;

void RowWaveformPane::Read(const std::string& path, bool convert, const SourceInfo& info) {
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

void RowWaveformPane::Stop() { m_waveform.reset(); }

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
    // The detail shows the window with a quarter of its length either side.
    m_detail->SetVisibleRange(start - window / 4, window + window / 2);
}

void RowWaveformPane::SetMovable(bool movable) {
    for (WaveformView* view : {m_overview, m_detail}) view->setEnabled(movable);
}
